// The tie-point CSV: comma-separated, no blanks, a header line, "\n" line ends.
#include <charconv>
#include <cmath>

#include "orient/writers.h"

namespace orient {
namespace {

// A field with `decimals` digits after the point; empty when the value is not finite.
// std::to_chars gives exactly printf's "%.*f" text, several times faster: a file of
// thousands of rows is a noticeable part of a run.
void Field(std::string& row, double value, int decimals) {
    row += ',';
    if (!std::isfinite(value)) return;
    char text[400];
    const auto written =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (written.ec == std::errc()) row.append(text, written.ptr);
}

}  // namespace

std::string PointsCsv(const ro::OrientationResult& result) {
    std::string out = std::string(kPointsCsvHeader) + "\n";
    for (const ro::PointResult& p : result.points) {
        out += std::to_string(p.match);
        for (const double px : {p.row1_px, p.col1_px, p.row2_px, p.col2_px}) Field(out, px, 3);
        for (const double um : {p.x1_um, p.y1_um, p.x2_um, p.y2_um}) Field(out, um, 3);
        Field(out, p.ratio, 4);
        out += ',';
        out += ro::PointStatusCode(p.status);
        Field(out, p.sampson_px, 4);
        Field(out, p.y_parallax_px, 4);
        Field(out, p.w, 3);
        Field(out, p.redundancy, 4);
        Field(out, p.mdb_px, 3);
        out += '\n';
    }
    return out;
}

}  // namespace orient
