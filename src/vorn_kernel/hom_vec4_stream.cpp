// HomVec4 on a stream.
#include <ostream>

#include "vorn_kernel.hpp"

namespace vorn_kernel {

std::ostream& operator<<(std::ostream& out, HomVec4 v) {
    return out << '(' << v.x << ", " << v.y << ", " << v.z << ", " << v.w << ')';
}

}  // namespace vorn_kernel
