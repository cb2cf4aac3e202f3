// The JUnit XML report that CI systems read: one testsuite, one testcase per test run.
#pragma once

#include <chrono>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "test_run.hpp"

namespace vorn::run {

struct JUnitSuite {
    std::string name;                                 // the executable's file name
    std::string server_version;                       // the server's version string
    const std::vector<std::string>* names = nullptr;  // test names by table position
    const std::vector<TestRun>* runs = nullptr;       // in table order
    std::chrono::nanoseconds duration{};
};

void writeJUnit(std::ostream& out, const JUnitSuite& suite);

// Text made safe for XML 1.0 character data and attribute values: markup characters become
// entities, and bytes XML cannot carry (control characters, broken UTF-8) become visible
// "\xNN" escapes, so the document stays well-formed whatever a test printed.
// In attribute values line ends and tabs become character references too, which keeps them
// from being normalised to blanks.
std::string xmlEscape(std::string_view text, bool for_attribute = true);

}  // namespace vorn::run
