// A pair's JSON document, the one `orient --json` writes and `orient-block` stores for every
// pair: a function of the result and the run information alone, so that the same pair gives
// the same bytes from both programs and for every thread count. Angles are shown in degrees
// (the result holds radians); the base is (1, by, bz).
#pragma once

#include <string>

#include "pair_run/run_info.h"
#include "robust_orientation/result.h"

namespace pair_run {

// The JSON schema name.
inline constexpr char kJsonSchema[] = "relative-orientation/1";

// Every result as JSON, schema kJsonSchema (fields in orient's manual page); non-finite
// numbers are written as null.
std::string JsonReport(const ro::OrientationResult& result, const RunInfo& run);

}  // namespace pair_run
