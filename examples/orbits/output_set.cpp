#include "output_set.hpp"

#include <utility>

namespace orbits {

OpenedOutputs openOutputs(const std::vector<OutputRequest>& requests) {
    OpenedOutputs opened;
    std::vector<std::optional<OutputTarget>> targets(requests.size());
    for (std::size_t i = 0; i < requests.size(); ++i) {
        if (requests[i].path && !(targets[i] = locateOutput(*requests[i].path, opened.error))) return opened;
    }
    for (std::size_t i = 0; i < requests.size(); ++i) {
        for (std::size_t j = i + 1; j < requests.size(); ++j) {
            if (!targets[i] || !targets[j]) continue;
            if (auto conflict =
                    conflictBetween(*targets[i], requests[i].option, *targets[j], requests[j].option)) {
                opened.error = std::move(*conflict);
                opened.conflict = true;
                return opened;
            }
        }
    }
    opened.files.resize(requests.size());
    for (std::size_t i = 0; i < requests.size(); ++i) {
        if (!targets[i]) continue;
        opened.files[i] = std::make_unique<OutputFile>(std::move(*targets[i]));
        if (!opened.files[i]->open(opened.error)) {
            opened.files.clear();  // removes the temporary files already created
            return opened;
        }
    }
    return opened;
}

bool commitOutputs(const std::vector<std::unique_ptr<OutputFile>>& files, std::string& error) {
    for (const auto& file : files) {
        if (file && !file->complete(error)) return false;
    }
    for (const auto& file : files) {
        if (file && !file->publish(error)) return false;
    }
    return true;
}

}  // namespace orbits
