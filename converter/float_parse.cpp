#include "converter/float_parse.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace featsheet {

namespace {

// The characters isspace accepts in the C locale.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

// from_chars and strtof both round the exact decimal value to the nearest float (ties to
// even); they differ only in what they accept, and every difference ends up at strtof.
std::size_t ParseFloatFast(const char* text, const char* end, float* value) {
    float v = 0.0f;
    const auto [stop, error] = std::from_chars(text, end, v);
    if (error != std::errc() || stop == end || !(IsSpace(*stop) || *stop == '\0') ||
        std::isnan(v)) {
        return 0;
    }
    *value = v;
    return static_cast<std::size_t>(stop - text);
}

std::size_t ParseFloatStrtof(const char* text, float* value) {
    char* stop = nullptr;
    const float v = std::strtof(text, &stop);
    if (stop == text) return 0;
    *value = v;
    return static_cast<std::size_t>(stop - text);
}

}  // namespace featsheet
