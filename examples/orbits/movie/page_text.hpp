// The caption of a picture or a page, and text made safe for XML and HTML.
#pragma once

#include <string>

namespace orbits {

struct PictureCaption {
    std::string title;
    std::string subtitle;
};

// Text with the five XML special characters replaced by entities.
std::string xmlEscaped(const std::string& text);

}  // namespace orbits
