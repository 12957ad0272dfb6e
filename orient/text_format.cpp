#include "orient/text_format.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace orient {

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (size > 0) {
        text.resize(static_cast<std::size_t>(size) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<std::size_t>(size));
    }
    va_end(again);
    return text;
}

std::string Fixed(double value, int decimals, int width) {
    if (!std::isfinite(value)) return Format("%*s", width, "n/a");
    return Format("%*.*f", width, decimals, value);
}

}  // namespace orient
