#include "command_line/validators.h"

#include <charconv>
#include <system_error>

#include "common/thread_pool.h"

namespace command_line {

std::string Quoted(const std::string& value, const std::string& what) {
    return "'" + value + "' " + what;
}

CLI::Validator NotEmptyFileName() {
    return CLI::Validator(
        [](std::string& text) {
            return text.empty() ? std::string("the file name is empty") : std::string();
        },
        "");
}

CLI::Validator WholeNumber(std::uint64_t min, std::uint64_t max) {
    const std::string refusal =
        "is not a whole number from " + std::to_string(min) + " to " + std::to_string(max);
    return CLI::Validator(
        [min, max, refusal](std::string& text) -> std::string {
            if (text.empty()) return kEmptyValue;
            std::uint64_t value = 0;
            const char* end = text.data() + text.size();
            const auto [stop, ec] = std::from_chars(text.data(), end, value);
            if (ec != std::errc() || stop != end || value < min || value > max) {
                return Quoted(text, refusal);
            }
            text = std::to_string(value);
            return {};
        },
        "");
}

CLI::Validator ThreadCount() { return WholeNumber(1, common::kMaxThreads); }

}  // namespace command_line
