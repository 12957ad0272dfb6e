// Reading and writing the decimal numbers of camera files.
#include "camera/decimal_text.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ro {

std::string_view TrimBlanks(std::string_view s) {
    const auto is_space = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
    };
    while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
    return s;
}

std::optional<double> ParseDecimal(std::string_view field) {
    if (!field.empty() && field.front() == '+') field.remove_prefix(1);
    if (field.empty() || field.front() == '+') return std::nullopt;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value,
                                           std::chars_format::general);
    if (ec != std::errc() || end != field.data() + field.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> ParseScaledDecimal(std::string_view field, int shift) {
    if (!ParseDecimal(field)) return std::nullopt;
    const std::size_t e = field.find_first_of("eE");
    int exponent = 0;
    if (e != std::string_view::npos) {
        std::string_view digits = field.substr(e + 1);
        if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
        const auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), exponent);
        if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    }
    std::string scaled(field.substr(0, e));
    scaled += 'e';
    scaled += std::to_string(static_cast<long long>(exponent) + shift);
    return ParseDecimal(scaled);
}

namespace {

// `value` to `digits` significant digits, without an exponent where whole digits suffice
// ("1000", not the "1e+03" of %.1g).
std::string Printed(double value, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    const char* e = std::strchr(text, 'e');
    if (e == nullptr) return text;
    const int exponent = std::atoi(e + 1);
    if (exponent >= digits && exponent < 17) {
        std::snprintf(text, sizeof text, "%.*g", exponent + 1, value);
    }
    return text;
}

}  // namespace

std::string ShortestDecimal(double value) {
    std::string text;
    for (int digits = 1; digits <= 17; ++digits) {
        text = Printed(value, digits);
        if (ParseDecimal(text) == value) return text;
    }
    return text;  // 17 digits always read back
}

std::string ScaledDecimal(double value, int shift) {
    for (int digits = 1; digits <= 17; ++digits) {
        std::string text = Printed(value * std::pow(10.0, shift), digits);
        if (ParseScaledDecimal(text, -shift) == value) return text;
    }
    char text[64];
    // The value's own 17 digits with the exponent moved by `shift` places always read back.
    std::snprintf(text, sizeof text, "%.16e", value);
    std::string mantissa(text);
    const std::size_t e = mantissa.find('e');
    if (e == std::string::npos) return mantissa;
    const int exponent = std::atoi(mantissa.c_str() + e + 1);
    return mantissa.substr(0, e) + "e" + std::to_string(exponent + shift);
}

}  // namespace ro
