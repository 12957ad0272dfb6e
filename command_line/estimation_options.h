// The options of matching and of the robust estimation, offered alike by every program that
// orients pairs (`orient`, `orient-block`): the same names, defaults, help texts and checks.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "keypoints/matching.h"
#include "robust_orientation/estimate.h"

namespace command_line {

// A finite decimal number filling the whole text (no blanks, no hexadecimal, no inf or nan,
// nothing beyond the range of a double), used as a transform.
CLI::Validator FiniteDecimal();

// --ratio, --mutual and --seed.
void AddMatchingOptions(CLI::App& app, keypoints::DistanceRatio& ratio, bool& mutual,
                        ro::EstimationOptions& estimation);

// --sigma, --threshold and --confidence; returns --threshold, to be checked once parsing
// is done (CheckEstimationOptions).
CLI::Option* AddEstimationOptions(CLI::App& app, ro::EstimationOptions& estimation);

// Why the parsed settings cannot be used, empty when they can: a --threshold that is not a
// positive number of pixels, and what ro::CheckOptions refuses.
std::string CheckEstimationOptions(const CLI::Option* threshold,
                                   const ro::EstimationOptions& estimation);

}  // namespace command_line
