// printf-style formatting into strings, for the fixed-format outputs of `orient`: the same
// values always give the same bytes.
#pragma once

#include <string>

namespace orient {

// The printf-formatted text.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// `value` with `decimals` digits after the point in a field of `width` characters
// (right-aligned), or "n/a" in that field when the value is not finite.
std::string Fixed(double value, int decimals, int width = 0);

}  // namespace orient
