// Tie points measured elsewhere (another matcher, a manual measurement) as comma-separated
// text, read instead of two keypoint files.
//
// The first line that is neither blank nor a comment is a header naming the columns; the
// columns row1, col1, row2 and col2 (pixels; row downwards and column to the right, the
// centre of the top-left pixel at (0, 0), as in keypoint files) are found by name in any
// order, case ignored, and an optional column ratio (the nearest / second-nearest descriptor
// distance of the match, in [0, 1]; an empty field: not known) is used when present. Other
// columns are ignored, so that orient's own points CSV reads back. Lines beginning with '#'
// (after blanks) and blank lines are skipped anywhere; fields may have blanks around them;
// CR LF line ends and a UTF-8 byte-order mark are accepted; fields are never quoted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "robust_orientation/tie_points.h"

namespace pair_run {

// Largest tie-point file read, and most tie points in one.
inline constexpr std::size_t kMaxTiePointsFileBytes = std::size_t{1} << 30;
inline constexpr std::size_t kMaxTiePoints = 10'000'000;
// Pixel coordinates accepted: from the outer edge of the top-left pixel to this far.
inline constexpr double kMinTiePointPx = -0.5;
inline constexpr double kMaxTiePointPx = 1e6;

// The tie points of `text` in file order (key1 and key2 stay -1), or why it is refused,
// each reason prefixed "SHOWN:LINE: " (1-based physical line) or "SHOWN: " for the whole
// file: "empty file", "no header line, only comments and blank lines", "no column 'col2' in
// the header", "column 'row1' appears twice in the header", "3 fields where the header has
// 5", "no value in column row2", "'abc' is not a number in column row1", "'inf' is not a
// finite number in column col1", "'-3' in column row1 is outside the photograph (pixels from
// -0.5 to 1000000)", "'1.5' in column ratio is not a distance ratio in [0, 1]", "more than
// 10000000 tie points". A header without rows gives no tie points.
std::variant<std::vector<ro::TiePoint>, std::string> ParseTiePointsCsv(std::string_view text,
                                                                       const std::string& shown);

// Reads and parses the tie-point file `file` ("-": standard input, named "standard input" in
// messages), at most kMaxTiePointsFileBytes; a file that cannot be read gives the message of
// io::ReadWholeFile ("ties.csv: cannot open: No such file or directory").
std::variant<std::vector<ro::TiePoint>, std::string> ReadTiePointsCsv(const std::string& file);

}  // namespace pair_run
