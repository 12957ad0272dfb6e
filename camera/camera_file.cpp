// The camera file parser.
#include "camera/camera_file.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "common/angles.h"

namespace ro {
namespace {

using common::kRadiansPerDegree;

std::string_view Trim(std::string_view s) {
    const auto is_space = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
    };
    while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
    return s;
}

// The pieces of a message joined (one append each: GCC 12 warns falsely about chains of
// string operator+).
std::string Join(std::initializer_list<std::string_view> pieces) {
    std::string text;
    for (const std::string_view piece : pieces) text.append(piece);
    return text;
}

// The whitespace-separated fields of a value.
std::vector<std::string_view> Fields(std::string_view s) {
    std::vector<std::string_view> fields;
    while (true) {
        s = Trim(s);
        if (s.empty()) return fields;
        std::size_t end = 0;
        while (end < s.size() && s[end] != ' ' && s[end] != '\t') ++end;
        fields.push_back(s.substr(0, end));
        s.remove_prefix(end);
    }
}

// A finite decimal number that fills the whole field (a leading '+' is allowed).
std::optional<double> ParseNumber(std::string_view field) {
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

// The value of a decimal field times 10^shift, rounded once: "13.2" millimetres becomes
// exactly the double nearest 0.0132 metres, as if the metres had been written.
std::optional<double> ParseScaled(std::string_view field, int shift) {
    if (!ParseNumber(field)) return std::nullopt;
    const std::size_t e = field.find_first_of("eE");
    int exponent = 0;
    if (e != std::string_view::npos) {
        std::string_view digits = field.substr(e + 1);
        if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
        const auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), exponent);
        if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    }
    const std::string scaled =
        Join({field.substr(0, e), "e", std::to_string(static_cast<long long>(exponent) + shift)});
    return ParseNumber(scaled);
}

enum Key { kFocal, kPixelSize, kPixelsPerMetre, kPrincipal, kAngle, kNumKeys };
constexpr std::array<std::string_view, kNumKeys> kKeyNames = {"focal_length_mm", "pixel_size_um",
                                                              "pixels_per_metre", "principal_point",
                                                              "in_plane_angle_deg"};

std::optional<Key> KeyOf(std::string_view name) {
    for (int k = 0; k < kNumKeys; ++k) {
        if (kKeyNames[k] == name) return static_cast<Key>(k);
    }
    return std::nullopt;
}

struct Entry {
    int line = 0;  // 0: not given
    std::array<double, 2> values{};
    double metres = 0.0;  // the focal length in metres, rounded once from the text
};

CameraFileError Error(int line, std::string reason) { return {line, std::move(reason)}; }

// The focal length in millimetres as the shortest decimal that the parser turns back into
// exactly `metres` (13.2, not the 13.200000000000001 that metres * 1000 prints).
std::string FocalLengthMillimetres(double metres) {
    char text[64];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, metres * 1000.0);
        if (ParseScaled(text, -3) == metres) return text;
    }
    // The metres' own 17 digits with the exponent moved by three places always read back.
    std::snprintf(text, sizeof text, "%.16e", metres);
    std::string mantissa(text);
    const std::size_t e = mantissa.find('e');
    if (e == std::string::npos) return mantissa;
    const int exponent = std::atoi(mantissa.c_str() + e + 1);
    return mantissa.substr(0, e) + "e" + std::to_string(exponent + 3);
}

// The range of every key's values (camera_model.h) and how a refusal states it.
struct Range {
    double low;
    double high;
    const char* unit;
};
constexpr std::array<Range, kNumKeys> kRanges = {{
    {kMinFocalLengthMm, kMaxFocalLengthMm, "mm"},
    {kMinPixelSizeUm, kMaxPixelSizeUm, "micrometres"},
    {1e6 / kMaxPixelSizeUm, 1e6 / kMinPixelSizeUm, "pixels per metre"},
    {0.0, kMaxPrincipalPointPx, "px for column and row"},
    {-kMaxInPlaneAngleDeg, kMaxInPlaneAngleDeg, "degrees"},
}};

// Why the (finite) values of a key lie outside its range, e.g. "'pixel_size_um' 1e-200 is
// out of range: 0.1 to 1000 micrometres"; nothing when they lie inside.
std::optional<std::string> RangeProblem(Key key, const std::vector<std::string_view>& fields) {
    const Range& range = kRanges[key];
    for (const std::string_view field : fields) {
        const double value = *ParseNumber(field);
        if (value >= range.low && value <= range.high) continue;
        char limits[96];
        std::snprintf(limits, sizeof limits, "%g to %g %s", range.low, range.high, range.unit);
        return Join({"'", kKeyNames[key], "' ", field, " is out of range: ", limits});
    }
    return std::nullopt;
}

// Reads one `key = value` line into `entries`; an error when it is not one.
std::optional<CameraFileError> ReadLine(std::string_view line, int number,
                                        std::array<Entry, kNumKeys>& entries) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return Error(number, "expected 'key = value'");
    }
    const std::string_view name = Trim(line.substr(0, equals));
    if (name.empty()) return Error(number, "missing key before '='");
    const std::optional<Key> key = KeyOf(name);
    if (!key) return Error(number, Join({"unknown key '", name, "'"}));
    Entry& entry = entries[*key];
    if (entry.line != 0) {
        return Error(number, Join({"repeated key '", name, "' (first given on line ",
                                   std::to_string(entry.line), ")"}));
    }
    const std::vector<std::string_view> fields = Fields(line.substr(equals + 1));
    const std::size_t wanted = *key == kPrincipal ? 2 : 1;
    if (fields.size() != wanted) {
        return Error(number, Join({"'", name, "' takes ",
                                   wanted == 2 ? "two numbers (column row)" : "one number",
                                   ", found ", std::to_string(fields.size()), " fields"}));
    }
    for (std::size_t f = 0; f < wanted; ++f) {
        const std::optional<double> value = ParseNumber(fields[f]);
        if (!value) {
            return Error(number, Join({"'", fields[f], "' is not a finite number"}));
        }
        entry.values[f] = *value;
    }
    const bool must_be_positive = *key == kFocal || *key == kPixelSize || *key == kPixelsPerMetre;
    if (must_be_positive && !(entry.values[0] > 0.0)) {
        return Error(number, Join({"'", name, "' must be greater than 0"}));
    }
    if (auto problem = RangeProblem(*key, fields)) return Error(number, *problem);
    if (*key == kFocal) {
        const std::optional<double> metres = ParseScaled(fields[0], -3);
        if (!metres || !(*metres > 0.0)) return Error(number, "'focal_length_mm' is out of range");
        entry.metres = *metres;
    }
    entry.line = number;
    return std::nullopt;
}

}  // namespace

CameraFileResult ParseCameraText(std::string_view text) {
    std::array<Entry, kNumKeys> entries{};
    int number = 0;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        ++number;
        if (line.find('\0') != std::string_view::npos) return Error(number, "NUL byte in text");
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        if (auto error = ReadLine(line, number, entries)) return *error;
    }
    for (const Key key : {kFocal, kPrincipal}) {
        if (entries[key].line == 0) {
            return Error(number, Join({"missing key '", kKeyNames[key], "'"}));
        }
    }
    const Entry& size = entries[kPixelSize];
    const Entry& scale = entries[kPixelsPerMetre];
    if (size.line != 0 && scale.line != 0) {
        return Error(std::max(size.line, scale.line),
                     "give either 'pixel_size_um' or 'pixels_per_metre', not both");
    }
    if (size.line == 0 && scale.line == 0) {
        return Error(number, "missing key 'pixel_size_um' or 'pixels_per_metre'");
    }
    Camera camera;
    camera.focal_length_m = entries[kFocal].metres;
    camera.pixels_per_metre = scale.line != 0 ? scale.values[0] : 1e6 / size.values[0];
    camera.principal_column_px = entries[kPrincipal].values[0];
    camera.principal_row_px = entries[kPrincipal].values[1];
    camera.in_plane_angle_rad = entries[kAngle].values[0] * kRadiansPerDegree;
    const double focal_px = camera.FocalLengthPx();
    if (!(focal_px >= kMinFocalLengthPx && focal_px <= kMaxFocalLengthPx)) {
        char message[160];
        std::snprintf(message, sizeof message,
                      "'focal_length_mm' and '%s' give a focal length of %g px; it must lie "
                      "between %g and %g px",
                      scale.line != 0 ? "pixels_per_metre" : "pixel_size_um", focal_px,
                      kMinFocalLengthPx, kMaxFocalLengthPx);
        return Error(std::max(entries[kFocal].line, std::max(size.line, scale.line)), message);
    }
    if (const std::string problem = CameraProblem(camera); !problem.empty()) {
        return Error(number, Join({"not a usable camera: ", problem}));
    }
    return camera;
}

std::string FormatCameraText(const Camera& camera) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "focal_length_mm = %s\npixels_per_metre = %.17g\n"
                  "principal_point = %.17g %.17g\nin_plane_angle_deg = %.17g\n",
                  FocalLengthMillimetres(camera.focal_length_m).c_str(), camera.pixels_per_metre,
                  camera.principal_column_px, camera.principal_row_px,
                  camera.in_plane_angle_rad / kRadiansPerDegree);
    return text;
}

}  // namespace ro
