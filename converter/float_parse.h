// Reading single-precision reals exactly as strtof reads them.
//
// Keypoint files are almost entirely short plain decimals ("123.45", "-0.5", "17"), so
// those take a fast path whose result is proven identical to strtof; every other token
// (exponents, hexadecimal, inf/nan, long digit runs, exact halfway cases) goes to strtof.
#pragma once

#include <cstddef>

// Reads a plain decimal number ([sign] digits [. digits]) at the start of [text, end).
// Returns the number of characters it consumed and stores the value, or returns 0 when
// the fast path cannot settle the token: no digits, a character that could extend the
// number ('e', 'E', 'x', 'X'), the data ending right after the digits, too many digits,
// or a value halfway between two floats. The caller then uses ParseFloatStrtof.
std::size_t ParseDecimalFast(const char* text, const char* end, float* value);

// strtof on `text`, which must be terminated (by a NUL or by a character that cannot
// belong to a number). Returns the number of characters consumed, 0 when `text` does not
// begin with a number (the value is then untouched).
std::size_t ParseFloatStrtof(const char* text, float* value);
