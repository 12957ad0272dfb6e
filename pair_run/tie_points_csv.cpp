#include "pair_run/tie_points_csv.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <new>
#include <system_error>
#include <vector>

#include "camera/decimal_text.h"
#include "io/file_error.h"
#include "io/read_file.h"

namespace pair_run {
namespace {

// The columns read, in the order of their fields in a tie point; the first four are needed.
constexpr std::array<std::string_view, 5> kColumns = {"row1", "col1", "row2", "col2", "ratio"};
constexpr std::size_t kNeededColumns = 4;
constexpr std::size_t kRatioColumn = 4;
constexpr std::size_t kNoColumn = std::numeric_limits<std::size_t>::max();
// A field quoted in a message is cut to this many characters.
constexpr std::size_t kShownFieldChars = 40;

// Why the text is refused; line 0: the file as a whole.
struct Refused {
    std::size_t line;
    std::string reason;
};

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t k = 0; k < a.size(); ++k) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[k]) != lower(b[k])) return false;
    }
    return true;
}

std::string Quoted(std::string_view field) {
    if (field.size() <= kShownFieldChars) return "'" + std::string(field) + "'";
    return "'" + std::string(field.substr(0, kShownFieldChars)) + "...'";
}

// The fields of `line` between its commas, without the blanks around them.
void Split(std::string_view line, std::vector<std::string_view>& fields) {
    fields.clear();
    for (;;) {
        const std::size_t comma = line.find(',');
        fields.push_back(ro::TrimBlanks(line.substr(0, comma)));
        if (comma == std::string_view::npos) return;
        line.remove_prefix(comma + 1);
    }
}

// The number of a field of column `column` on line `line`; an empty ratio is not known (NaN).
double FieldValue(std::string_view field, std::size_t column, std::size_t line) {
    const std::string_view name = kColumns[column];
    if (field.empty()) {
        if (column == kRatioColumn) return std::numeric_limits<double>::quiet_NaN();
        throw Refused{line, "no value in column " + std::string(name)};
    }
    std::string_view digits = field;
    if (digits.front() == '+') digits.remove_prefix(1);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                           std::chars_format::general);
    const bool signed_twice = !digits.empty() && (digits.front() == '+' || digits.front() == '-') &&
                              digits.size() < field.size();
    if (digits.empty() || signed_twice || end != digits.data() + digits.size() ||
        (ec != std::errc() && ec != std::errc::result_out_of_range)) {
        throw Refused{line, Quoted(field) + " is not a number in column " + std::string(name)};
    }
    if (ec == std::errc::result_out_of_range) {
        throw Refused{line, Quoted(field) + " is out of range in column " + std::string(name)};
    }
    if (!std::isfinite(value)) {
        throw Refused{line,
                      Quoted(field) + " is not a finite number in column " + std::string(name)};
    }
    if (column == kRatioColumn) {
        if (value < 0.0 || value > 1.0) {
            throw Refused{line,
                          Quoted(field) + " in column ratio is not a distance ratio in [0, 1]"};
        }
    } else if (value < kMinTiePointPx || value > kMaxTiePointPx) {
        throw Refused{line, Quoted(field) + " in column " + std::string(name) +
                                " is outside the photograph (pixels from -0.5 to 1000000)"};
    }
    return value;
}

std::vector<ro::TiePoint> Parse(std::string_view text) {
    if (text.empty()) throw Refused{0, "empty file"};
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<ro::TiePoint> points;
    std::vector<std::string_view> fields;
    std::array<std::size_t, kColumns.size()> index{};  // field of each column
    std::size_t header_fields = 0;                     // 0: no header yet
    std::size_t line_number = 0;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        std::string_view line = text.substr(begin, end - begin);
        begin = end + 1;
        ++line_number;
        if (line.ends_with('\r')) line.remove_suffix(1);
        const std::string_view trimmed = ro::TrimBlanks(line);
        if (trimmed.empty() || trimmed.front() == '#') continue;
        Split(line, fields);
        if (header_fields == 0) {
            index.fill(kNoColumn);
            for (std::size_t f = 0; f < fields.size(); ++f) {
                for (std::size_t c = 0; c < kColumns.size(); ++c) {
                    if (!SameName(fields[f], kColumns[c])) continue;
                    if (index[c] != kNoColumn) {
                        throw Refused{line_number, "column '" + std::string(kColumns[c]) +
                                                       "' appears twice in the header"};
                    }
                    index[c] = f;
                }
            }
            for (std::size_t c = 0; c < kNeededColumns; ++c) {
                if (index[c] == kNoColumn) {
                    throw Refused{line_number,
                                  "no column '" + std::string(kColumns[c]) + "' in the header"};
                }
            }
            header_fields = fields.size();
            continue;
        }
        if (fields.size() != header_fields) {
            throw Refused{line_number, std::to_string(fields.size()) +
                                           (fields.size() == 1 ? " field" : " fields") +
                                           " where the header has " +
                                           std::to_string(header_fields)};
        }
        if (points.size() == kMaxTiePoints) {
            throw Refused{line_number,
                          "more than " + std::to_string(kMaxTiePoints) + " tie points"};
        }
        ro::TiePoint& p = points.emplace_back();
        double* const values[] = {&p.row1_px, &p.col1_px, &p.row2_px, &p.col2_px, &p.ratio};
        for (std::size_t c = 0; c < kColumns.size(); ++c) {
            if (index[c] != kNoColumn) *values[c] = FieldValue(fields[index[c]], c, line_number);
        }
    }
    if (header_fields == 0) throw Refused{0, "no header line, only comments and blank lines"};
    return points;
}

}  // namespace

std::variant<std::vector<ro::TiePoint>, std::string> ParseTiePointsCsv(std::string_view text,
                                                                       const std::string& shown) {
    try {
        return Parse(text);
    } catch (const Refused& refused) {
        if (refused.line == 0) return shown + ": " + refused.reason;
        return shown + ":" + std::to_string(refused.line) + ": " + refused.reason;
    } catch (const std::bad_alloc&) {
        return shown + ": out of memory";
    }
}

std::variant<std::vector<ro::TiePoint>, std::string> ReadTiePointsCsv(const std::string& file) {
    const io::FileContents read =
        io::ReadWholeFile(file, kMaxTiePointsFileBytes, "a tie-point file");
    if (read.error) return read.error->Message();
    return ParseTiePointsCsv(read.bytes, io::ShownName(file, "standard input"));
}

}  // namespace pair_run
