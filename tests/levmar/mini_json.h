// A minimal JSON reader for the test data: objects, arrays, numbers, strings, true, false,
// null. Numbers are read with strtod, so decimal round-trip values come back exact.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lmtest {

struct JsonValue {
    enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
    Kind kind = Kind::kNull;
    bool boolean = false;
    double number = 0.0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue, std::less<>> members;

    bool IsNull() const { return kind == Kind::kNull; }
    // Member lookup; throws std::runtime_error when missing or not an object.
    const JsonValue& operator[](std::string_view key) const;
    bool Has(std::string_view key) const;
    // The numbers of an array of numbers.
    std::vector<double> Numbers() const;
};

// Parses a whole document; throws std::runtime_error with the offset on malformed input.
JsonValue ParseJson(std::string_view text);

}  // namespace lmtest
