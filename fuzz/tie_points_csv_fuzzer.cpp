// The tie-point CSV reader on arbitrary bytes. Besides the sanitizers' checks: accepted tie
// points are no more than the lines, have coordinates inside the accepted pixel range, a
// ratio in [0, 1] or unknown, and no keypoint numbers; a refusal names the file and, when it
// names a line, one the text has; CR LF line ends change nothing.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "pair_run/tie_points_csv.h"

namespace {

using Parsed = std::variant<std::vector<ro::TiePoint>, std::string>;

bool SamePoints(const std::vector<ro::TiePoint>& a, const std::vector<ro::TiePoint>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t k = 0; k < a.size(); ++k) {
        const bool same_ratio =
            a[k].ratio == b[k].ratio || (std::isnan(a[k].ratio) && std::isnan(b[k].ratio));
        if (a[k].row1_px != b[k].row1_px || a[k].col1_px != b[k].col1_px ||
            a[k].row2_px != b[k].row2_px || a[k].col2_px != b[k].col2_px || !same_ratio) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t lines = 1;
    for (const char c : text) lines += c == '\n';
    const Parsed parsed = pair_run::ParseTiePointsCsv(text, "ties.csv");
    if (const auto* points = std::get_if<std::vector<ro::TiePoint>>(&parsed)) {
        FUZZ_CHECK(points->size() < lines, "more tie points than lines after the header");
        for (const ro::TiePoint& p : *points) {
            for (const double px : {p.row1_px, p.col1_px, p.row2_px, p.col2_px}) {
                FUZZ_CHECK(px >= pair_run::kMinTiePointPx && px <= pair_run::kMaxTiePointPx,
                           "a coordinate outside the accepted range");
            }
            FUZZ_CHECK(std::isnan(p.ratio) || (p.ratio >= 0.0 && p.ratio <= 1.0),
                       "a ratio outside [0, 1]");
            FUZZ_CHECK(p.key1 == -1 && p.key2 == -1, "keypoint numbers on read tie points");
        }
    } else {
        const std::string& message = std::get<std::string>(parsed);
        constexpr std::string_view kFile = "ties.csv:";
        FUZZ_CHECK(message.starts_with(kFile), "a refusal without the file");
        if (message.size() > kFile.size() && message[kFile.size()] != ' ') {
            const std::size_t colon = message.find(':', kFile.size());
            FUZZ_CHECK(colon != std::string::npos, "a refusal without a reason");
            const std::size_t line = std::stoul(message.substr(kFile.size(), colon - kFile.size()));
            FUZZ_CHECK(line >= 1 && line <= lines, "a refusal naming a line the text lacks");
        }
    }
    std::string crlf;
    for (const char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    const Parsed again = pair_run::ParseTiePointsCsv(crlf, "ties.csv");
    FUZZ_CHECK(again.index() == parsed.index(), "CR LF line ends change the outcome");
    if (parsed.index() == 0) {
        FUZZ_CHECK(SamePoints(std::get<0>(parsed), std::get<0>(again)),
                   "CR LF line ends change the tie points");
    } else {
        FUZZ_CHECK(std::get<1>(parsed) == std::get<1>(again), "CR LF line ends change the refusal");
    }
    return 0;
}
