// The whole run of `orient` for a command line.
#pragma once

namespace orient {

// Exit statuses.
inline constexpr int kOriented = 0;
inline constexpr int kInputError = 1;  // an input could not be read or parsed, an output written
inline constexpr int kUsageError = 2;
inline constexpr int kNotOriented = 3;  // no reliable orientation (the report says why)

// Parses the command line, reads the inputs, matches, estimates and writes the report to
// standard output (unless --quiet or an output goes there), the JSON and the CSV.
// Messages go to standard error, prefixed "orient: ". Returns the exit status.
int OrientMain(int argc, const char* const* argv);

}  // namespace orient
