// Reading single-precision reals exactly as strtof reads them.
//
// Keypoint files are almost entirely short plain decimals ("123.45", "-0.5", "17"):
// std::from_chars reads those, correctly rounded like strtof and several times faster.
// What it refuses by definition (a leading '+', hexadecimal, values out of range, NaN
// payloads) and numbers not followed by whitespace go to strtof.
#pragma once

#include <cstddef>

namespace featsheet {

// Reads a real at the start of [text, end) with std::from_chars. Returns the number of
// characters it consumed and stores the value, or returns 0 when from_chars does not
// settle the token as strtof would: no number, a leading '+', hexadecimal (from_chars stops
// at the 'x'), a value out of range or NaN, or a number that is not followed, before `end`,
// by whitespace or a NUL byte (the token may go on). The caller then uses ParseFloatStrtof.
std::size_t ParseFloatFast(const char* text, const char* end, float* value);

// strtof on `text`, which must be terminated (by a NUL or by a character that cannot
// belong to a number). Returns the number of characters consumed, 0 when `text` does not
// begin with a number (the value is then untouched).
std::size_t ParseFloatStrtof(const char* text, float* value);

}  // namespace featsheet
