// A small well-formedness check for the XML that the orbits example writes: one root
// element, properly nested and matching tags, quoted and unique attributes, valid
// character and entity references, comments, processing instructions and CDATA.
// It does not read DTDs or validate against a schema.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orbits::testing {

struct XmlCheck {
    bool well_formed = false;
    std::string error;         // what is wrong and at which byte, when not well formed
    std::string root;          // the name of the root element
    std::size_t elements = 0;  // how many elements the document has
};

XmlCheck checkXml(std::string_view text);

}  // namespace orbits::testing
