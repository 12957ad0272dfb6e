#include "command_line/estimation_options.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

#include "command_line/validators.h"

namespace command_line {
namespace {

// The distance ratio as keypoints::ParseDistanceRatio reads it.
CLI::Validator RatioText() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (text.empty()) return kEmptyValue;
            if (!keypoints::ParseDistanceRatio(text)) {
                return Quoted(text, "is not a ratio in (0, 1] with at most 9 decimals");
            }
            return {};
        },
        "");
}

}  // namespace

// CLI11 converts with strtold, which rounds twice (to long double, then to double) and may
// then miss the nearest double by one unit; the validator hands on the exact hexadecimal
// form of the double read here, which strtold reads without rounding.
CLI::Validator FiniteDecimal() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (text.empty()) return kEmptyValue;
            double value = 0.0;
            const char* end = text.data() + text.size();
            const auto [stop, ec] = std::from_chars(text.data(), end, value);
            if (ec != std::errc() || stop != end || !std::isfinite(value)) {
                return Quoted(text, "is not a number");
            }
            char digits[32];
            const auto written = std::to_chars(digits, digits + sizeof digits, std::fabs(value),
                                               std::chars_format::hex);
            text =
                std::string(std::signbit(value) ? "-0x" : "0x") + std::string(digits, written.ptr);
            return {};
        },
        "");
}

void AddMatchingOptions(CLI::App& app, keypoints::DistanceRatio& ratio, bool& mutual,
                        ro::EstimationOptions& estimation) {
    app.add_option_function<std::string>(
           "--ratio",
           [&ratio](const std::string& text) { ratio = *keypoints::ParseDistanceRatio(text); },
           "Distance ratio of the matching test, in (0, 1] (default 0.6)")
        ->type_name("R")
        ->check(RatioText());
    app.add_flag("--mutual", mutual, "Keep only matches that are mutual nearest neighbours")
        ->disable_flag_override();
    app.add_option("--seed", estimation.ransac.seed,
                   "Seed of the robust loop's random samples (default 42)")
        ->type_name("N")
        ->transform(WholeNumber(0, std::numeric_limits<std::uint64_t>::max()));
}

CLI::Option* AddEstimationOptions(CLI::App& app, ro::EstimationOptions& estimation) {
    app.add_option("--sigma", estimation.sigma_px,
                   "A-priori precision of one image coordinate, pixels (default 0.5)")
        ->type_name("PX")
        ->transform(FiniteDecimal());
    CLI::Option* threshold =
        app.add_option("--threshold", estimation.ransac.threshold_px,
                       "Sampson-error threshold of the robust loop, pixels (default 4 sigma)")
            ->type_name("PX")
            ->transform(FiniteDecimal());
    app.add_option("--confidence", estimation.ransac.confidence,
                   "Confidence at which the robust loop stops (default 0.9999)")
        ->type_name("P")
        ->transform(FiniteDecimal());
    return threshold;
}

std::string CheckEstimationOptions(const CLI::Option* threshold,
                                   const ro::EstimationOptions& estimation) {
    // 0 means "4 sigma" inside the library; on the command line it is no threshold.
    if (threshold != nullptr && threshold->count() > 0 && !(estimation.ransac.threshold_px > 0.0)) {
        return "the threshold must be a positive number of pixels";
    }
    return ro::CheckOptions(estimation);
}

}  // namespace command_line
