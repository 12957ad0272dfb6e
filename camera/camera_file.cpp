// The camera file parser.
#include "camera/camera_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "camera/decimal_text.h"
#include "common/angles.h"

namespace ro {
namespace {

using common::kRadiansPerDegree;

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
        s = TrimBlanks(s);
        if (s.empty()) return fields;
        std::size_t end = 0;
        while (end < s.size() && s[end] != ' ' && s[end] != '\t') ++end;
        fields.push_back(s.substr(0, end));
        s.remove_prefix(end);
    }
}

enum Key {
    kFocalMm,
    kPixelSize,
    kPixelsPerMetre,
    kPrincipal,
    kAngle,
    kFocalPx,
    kK1,
    kK2,
    kK3,
    kP1,
    kP2,
    kNumKeys
};

// Which way of giving the focal length a key belongs to; the two are never mixed.
enum class Form { either, metric, pixels };

// Every key: its name, how many numbers it takes, its range (camera_model.h) and how a
// refusal states the range, whether it must be positive and its form.
struct KeyRule {
    std::string_view name;
    std::size_t min_fields;
    std::size_t max_fields;
    double low;
    double high;
    const char* unit;
    bool positive;
    Form form;
};

// Distortion coefficients beyond this bend no real lens's image into the frame.
constexpr double kMaxDistortion = 1e4;

constexpr std::array<KeyRule, kNumKeys> kRules = {{
    {"focal_length_mm", 1, 1, kMinFocalLengthMm, kMaxFocalLengthMm, " mm", true, Form::metric},
    {"pixel_size_um", 1, 1, kMinPixelSizeUm, kMaxPixelSizeUm, " micrometres", true, Form::metric},
    {"pixels_per_metre", 1, 1, 1e6 / kMaxPixelSizeUm, 1e6 / kMinPixelSizeUm, " pixels per metre",
     true, Form::metric},
    {"principal_point", 2, 2, 0.0, kMaxPrincipalPointPx, " px for column and row", false,
     Form::either},
    {"in_plane_angle_deg", 1, 1, -kMaxInPlaneAngleDeg, kMaxInPlaneAngleDeg, " degrees", false,
     Form::either},
    {"focal_length_px", 1, 2, kMinFocalLengthPx, kMaxFocalLengthPx, " px", true, Form::pixels},
    {"k1", 1, 1, -kMaxDistortion, kMaxDistortion, "", false, Form::either},
    {"k2", 1, 1, -kMaxDistortion, kMaxDistortion, "", false, Form::either},
    {"k3", 1, 1, -kMaxDistortion, kMaxDistortion, "", false, Form::either},
    {"p1", 1, 1, -kMaxDistortion, kMaxDistortion, "", false, Form::either},
    {"p2", 1, 1, -kMaxDistortion, kMaxDistortion, "", false, Form::either},
}};

std::optional<Key> KeyOf(std::string_view name) {
    for (int k = 0; k < kNumKeys; ++k) {
        if (kRules[k].name == name) return static_cast<Key>(k);
    }
    return std::nullopt;
}

// What to write instead of a key that is not one, for the names other tools and habits
// suggest (compared in lower case): empty when nothing fits.
struct Hint {
    std::initializer_list<std::string_view> names;
    std::string_view text;
};
const std::array<Hint, 6> kHints = {{
    {{"fx", "fy", "f_px", "focal_px", "focal_length_pixels"},
     "for a focal length in pixels write 'focal_length_px = FX [FY]'"},
    {{"cx", "cy", "u0", "v0", "pp", "principal", "principal_point_px"},
     "for the principal point write 'principal_point = COLUMN ROW', that is cx cy"},
    {{"f", "focal", "focal_length", "principal_distance"},
     "write 'focal_length_mm' with 'pixel_size_um', or 'focal_length_px'"},
    {{"pixel_size", "pixel_pitch", "pixel_um"}, "write 'pixel_size_um' or 'pixels_per_metre'"},
    {{"k4", "k5", "k6", "s1", "s2", "s3", "s4", "tau_x", "tau_y"},
     "the lens model has k1, k2, k3, p1 and p2 only"},
    {{"d", "dist", "distortion", "dist_coeffs", "distcoeffs", "distortion_coefficients"},
     "write each coefficient on a line of its own: 'k1 = ...', 'k2 = ...', 'p1 = ...', "
     "'p2 = ...', 'k3 = ...'"},
}};

std::string UnknownKey(std::string_view name) {
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string hint;
    if (KeyOf(lower)) {
        hint = Join({"keys are case-sensitive: write '", lower, "'"});
    } else {
        for (const Hint& h : kHints) {
            if (std::find(h.names.begin(), h.names.end(), lower) != h.names.end()) hint = h.text;
        }
    }
    if (hint.empty()) return Join({"unknown key '", name, "'"});
    return Join({"unknown key '", name, "' (", hint, ")"});
}

struct Entry {
    int line = 0;  // 0: not given
    std::size_t count = 0;
    std::array<double, 2> values{};
    double metres = 0.0;  // a focal length in metres, rounded once from the text
};

using Entries = std::array<Entry, kNumKeys>;

CameraFileError Error(int line, std::string reason) { return {line, std::move(reason)}; }

// Why the (finite) values of a key lie outside its range, e.g. "'pixel_size_um' 1e-200 is
// out of range: 0.1 to 1000 micrometres"; nothing when they lie inside.
std::optional<std::string> RangeProblem(const KeyRule& rule,
                                        const std::vector<std::string_view>& fields) {
    for (const std::string_view field : fields) {
        const double value = *ParseDecimal(field);
        if (value >= rule.low && value <= rule.high) continue;
        char limits[96];
        std::snprintf(limits, sizeof limits, "%g to %g%s", rule.low, rule.high, rule.unit);
        return Join({"'", rule.name, "' ", field, " is out of range: ", limits});
    }
    return std::nullopt;
}

// The first given key of the other form than `form`, if any.
std::optional<Key> OtherForm(Form form, const Entries& entries) {
    std::optional<Key> first;
    for (int k = 0; k < kNumKeys; ++k) {
        const bool other = kRules[k].form != Form::either && kRules[k].form != form;
        if (other && entries[k].line != 0 && (!first || entries[k].line < entries[*first].line)) {
            first = static_cast<Key>(k);
        }
    }
    return first;
}

std::string FieldCount(const KeyRule& rule, std::size_t found) {
    const char* wanted = rule.max_fields == 1   ? "one number"
                         : rule.min_fields == 2 ? "two numbers (column row)"
                                                : "one or two numbers (FX [FY])";
    return Join({"'", rule.name, "' takes ", wanted, ", found ", std::to_string(found), " fields"});
}

// Reads one `key = value` line into `entries`; an error when it is not one.
std::optional<CameraFileError> ReadLine(std::string_view line, int number, Entries& entries) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return Error(number, "expected 'key = value'");
    }
    const std::string_view name = TrimBlanks(line.substr(0, equals));
    if (name.empty()) return Error(number, "missing key before '='");
    const std::optional<Key> key = KeyOf(name);
    if (!key) return Error(number, UnknownKey(name));
    const KeyRule& rule = kRules[*key];
    Entry& entry = entries[*key];
    if (entry.line != 0) {
        return Error(number, Join({"repeated key '", name, "' (first given on line ",
                                   std::to_string(entry.line), ")"}));
    }
    if (rule.form != Form::either) {
        if (const std::optional<Key> other = OtherForm(rule.form, entries)) {
            constexpr std::string_view kEitherForm =
                "): give the focal length either in pixels or in millimetres with a pixel size";
            return Error(number,
                         Join({"'", name, "' cannot go with '", kRules[*other].name, "' (line ",
                               std::to_string(entries[*other].line), kEitherForm}));
        }
    }
    const std::vector<std::string_view> fields = Fields(line.substr(equals + 1));
    if (fields.size() < rule.min_fields || fields.size() > rule.max_fields) {
        return Error(number, FieldCount(rule, fields.size()));
    }
    for (std::size_t f = 0; f < fields.size(); ++f) {
        const std::optional<double> value = ParseDecimal(fields[f]);
        if (!value) {
            return Error(number, Join({"'", fields[f], "' is not a finite number"}));
        }
        if (rule.positive && !(*value > 0.0)) {
            return Error(number, Join({"'", name, "' must be greater than 0"}));
        }
        entry.values[f] = *value;
    }
    if (auto problem = RangeProblem(rule, fields)) return Error(number, *problem);
    if (*key == kFocalMm || *key == kFocalPx) {
        const std::optional<double> metres =
            ParseScaledDecimal(fields[0], *key == kFocalMm ? -3 : -6);
        if (!metres || !(*metres > 0.0)) {
            return Error(number, Join({"'", name, "' is out of range"}));
        }
        entry.metres = *metres;
    }
    entry.count = fields.size();
    entry.line = number;
    return std::nullopt;
}

// The camera of a file in the metric form (focal length in millimetres, a pixel size), or
// why there is none; `last` is the file's last line.
std::variant<Camera, CameraFileError> MetricCamera(const Entries& entries, int last) {
    const Entry& size = entries[kPixelSize];
    const Entry& scale = entries[kPixelsPerMetre];
    if (size.line != 0 && scale.line != 0) {
        return Error(std::max(size.line, scale.line),
                     "give either 'pixel_size_um' or 'pixels_per_metre', not both");
    }
    if (size.line == 0 && scale.line == 0) {
        return Error(last, "missing key 'pixel_size_um' or 'pixels_per_metre'");
    }
    Camera camera;
    camera.focal_length_m = entries[kFocalMm].metres;
    camera.pixels_per_metre = scale.line != 0 ? scale.values[0] : 1e6 / size.values[0];
    const double focal_px = camera.FocalLengthPx();
    if (!(focal_px >= kMinFocalLengthPx && focal_px <= kMaxFocalLengthPx)) {
        char message[160];
        std::snprintf(message, sizeof message,
                      "'focal_length_mm' and '%s' give a focal length of %g px; it must lie "
                      "between %g and %g px",
                      scale.line != 0 ? "pixels_per_metre" : "pixel_size_um", focal_px,
                      kMinFocalLengthPx, kMaxFocalLengthPx);
        return Error(std::max(entries[kFocalMm].line, std::max(size.line, scale.line)), message);
    }
    return camera;
}

// The camera of a file in the pixel form: a nominal 1 um pixel, the focal length in column
// pixels and, when the row focal length differs, their ratio.
Camera PixelCamera(const Entry& focal) {
    Camera camera;
    camera.in_pixels = true;
    camera.pixels_per_metre = 1e6;
    camera.focal_length_m = focal.metres;
    if (focal.count == 2 && focal.values[1] != focal.values[0]) {
        camera.row_scale = focal.values[1] / camera.FocalLengthPx();
    }
    return camera;
}

// The degrees whose product with kRadiansPerDegree is exactly `radians` (the parser's
// conversion), so that a written angle reads back unchanged.
double Degrees(double radians) {
    const double guess = radians / kRadiansPerDegree;
    return PreimageNear(guess, radians, [](double d) { return d * kRadiansPerDegree; })
        .value_or(guess);
}

// The row focal length that the parser turns back into exactly `camera.row_scale`, never the
// column one (which the parser reads as square pixels).
double RowFocalLengthPx(const Camera& camera, double column_px) {
    const double fx = camera.FocalLengthPx();
    const double guess = camera.row_scale * fx;
    return PreimageNear(guess, camera.row_scale,
                        [&](double fy) { return fy == column_px ? -1.0 : fy / fx; })
        .value_or(guess);
}

}  // namespace

CameraFileResult ParseCameraText(std::string_view text) {
    Entries entries{};
    int number = 0;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        ++number;
        if (line.find('\0') != std::string_view::npos) return Error(number, "NUL byte in text");
        line = TrimBlanks(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        if (auto error = ReadLine(line, number, entries)) return *error;
    }
    const bool in_pixels = entries[kFocalPx].line != 0;
    if (!in_pixels && entries[kFocalMm].line == 0) {
        return Error(number, OtherForm(Form::pixels, entries)
                                 ? "missing key 'focal_length_mm'"
                                 : "missing key 'focal_length_mm' or 'focal_length_px'");
    }
    if (entries[kPrincipal].line == 0) return Error(number, "missing key 'principal_point'");
    Camera camera;
    if (in_pixels) {
        camera = PixelCamera(entries[kFocalPx]);
    } else {
        auto metric = MetricCamera(entries, number);
        if (auto* error = std::get_if<CameraFileError>(&metric)) return *error;
        camera = std::get<Camera>(metric);
    }
    camera.principal_column_px = entries[kPrincipal].values[0];
    camera.principal_row_px = entries[kPrincipal].values[1];
    camera.in_plane_angle_rad = entries[kAngle].values[0] * kRadiansPerDegree;
    camera.distortion = {entries[kK1].values[0], entries[kK2].values[0], entries[kK3].values[0],
                         entries[kP1].values[0], entries[kP2].values[0]};
    if (const std::string problem = CameraProblem(camera); !problem.empty()) {
        return Error(number, Join({"not a usable camera: ", problem}));
    }
    return camera;
}

std::string FormatCameraText(const Camera& camera) {
    std::string text;
    const auto line = [&](std::string_view key, std::string_view value) {
        text += Join({key, " = ", value, "\n"});
    };
    if (camera.in_pixels) {
        const std::string fx = ScaledDecimal(camera.focal_length_m, 6);
        std::string value = fx;
        if (camera.row_scale != 1.0) {
            value = Join({fx, " ", ShortestDecimal(RowFocalLengthPx(camera, *ParseDecimal(fx)))});
        }
        line("focal_length_px", value);
    } else {
        line("focal_length_mm", ScaledDecimal(camera.focal_length_m, 3));
        line("pixels_per_metre", ShortestDecimal(camera.pixels_per_metre));
    }
    line("principal_point", Join({ShortestDecimal(camera.principal_column_px), " ",
                                  ShortestDecimal(camera.principal_row_px)}));
    line("in_plane_angle_deg", ShortestDecimal(Degrees(camera.in_plane_angle_rad)));
    const Distortion& d = camera.distortion;
    const std::array<std::pair<Key, double>, 5> coefficients = {
        {{kK1, d.k1}, {kK2, d.k2}, {kK3, d.k3}, {kP1, d.p1}, {kP2, d.p2}}};
    for (const auto& [key, value] : coefficients) {
        if (value != 0.0) line(kRules[key].name, ShortestDecimal(value));
    }
    return text;
}

}  // namespace ro
