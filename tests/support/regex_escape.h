// Escapes text for the POSIX extended regular expressions of GoogleTest's death tests, so
// that a whole expected message can be matched byte for byte.
#pragma once

#include <string>

inline std::string RegexEscape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
        out += c;
    }
    return out;
}

// A regex that matches exactly `text`, nothing before or after.
inline std::string ExactlyRegex(const std::string& text) {
    std::string regex = "^";
    regex.append(RegexEscape(text)).append("$");
    return regex;
}
