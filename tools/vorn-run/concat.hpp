// Joins pieces of text into one string. Messages are built with this rather than chains of
// operator+, whose inlined inserts g++ 12 at -O3 misreads as overlapping copies (-Wrestrict).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vorn::run {

inline std::string concat(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (const std::string_view part : parts) size += part.size();
    std::string text;
    text.reserve(size);
    for (const std::string_view part : parts) text.append(part);
    return text;
}

}  // namespace vorn::run
