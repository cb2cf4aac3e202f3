// The outputs of one run, opened together before any work is done: each path is located
// first, two that would touch the same file are refused, then every file is created. They
// are committed together too: every file is completed before any replaces an earlier one.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output_file.hpp"

namespace orbits {

struct OutputRequest {
    std::string option;  // the option that named it, for messages ("--csv")
    std::optional<std::string> path;
};

struct OpenedOutputs {
    std::vector<std::unique_ptr<OutputFile>> files;  // one per request; null where no path was given
    std::string error;                               // empty unless opening failed (then no files)
    bool conflict = false;                           // the failure was two names of one file
};

OpenedOutputs openOutputs(const std::vector<OutputRequest>& requests);

// Completes every file (null entries are skipped), then, only if all of them were written
// whole, renames each into place; false with `error` filled in at the first failure. Only
// a rename failing (rare: each is within its own directory) leaves some files replaced.
bool commitOutputs(const std::vector<std::unique_ptr<OutputFile>>& files, std::string& error);

}  // namespace orbits
