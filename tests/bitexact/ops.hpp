// Each module's operations over the battery, one output line per result.
#pragma once

#include <string>

#include "battery.hpp"

namespace vorn::bitexact {

void printKernelOps(const Battery& battery, std::string& out);
void printGeodesicOps(const Battery& battery, std::string& out);
void printPhysicsOps(const Battery& battery, std::string& out);
void printHugeInputOps(const Battery& battery, std::string& out);

}  // namespace vorn::bitexact
