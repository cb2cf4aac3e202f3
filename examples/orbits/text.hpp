// Building strings piece by piece. Chains of "literal" + std::string trip a false
// -Wrestrict warning of g++ 12 at -O3; appending to one string does not.
#pragma once

#include <string>
#include <string_view>

namespace orbits {

inline void appendPiece(std::string& text, std::string_view piece) { text.append(piece); }
inline void appendPiece(std::string& text, char piece) { text.push_back(piece); }

template <typename... Pieces>
std::string cat(const Pieces&... pieces) {
    std::string text;
    (appendPiece(text, pieces), ...);
    return text;
}

}  // namespace orbits
