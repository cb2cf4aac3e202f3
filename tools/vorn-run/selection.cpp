#include "selection.hpp"

#include <algorithm>

#include "concat.hpp"
#include "errors.hpp"

namespace vorn::run {

std::vector<std::size_t> selectTests(const std::vector<std::string>& names, const Options& options) {
    for (const std::string& exact : options.exact_names) {
        if (std::find(names.begin(), names.end(), exact) == names.end()) {
            throw UsageError(concat({"no test is named '", exact, "'"}));
        }
    }
    for (const std::uint32_t index : options.indices) {
        if (index >= names.size()) {
            throw UsageError(concat({"--index ", std::to_string(index), " is outside the table of ",
                                     std::to_string(names.size()), " tests"}));
        }
    }
    const bool select_all = options.filters.empty() && options.exact_names.empty() && options.indices.empty();
    std::vector<std::size_t> selected;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        const bool chosen =
            select_all ||
            std::any_of(options.filters.begin(), options.filters.end(),
                        [&](const std::string& text) { return name.find(text) != std::string::npos; }) ||
            std::find(options.exact_names.begin(), options.exact_names.end(), name) !=
                options.exact_names.end() ||
            std::find(options.indices.begin(), options.indices.end(), i) != options.indices.end();
        if (chosen) selected.push_back(i);
    }
    return selected;
}

}  // namespace vorn::run
