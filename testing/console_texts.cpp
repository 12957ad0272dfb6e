#include "testing/console_texts.h"

#include <cmath>

namespace relative_texts {

std::vector<std::string> SuccessfulRun(const std::string& a, const std::string& b, int features,
                                       int tiepoints) {
    const std::string count = std::to_string(features);
    return {"-------------------------------------------------------------",
            "",
            "Running relative with the following parameters:",
            "\t" + a,
            "\t" + b,
            "",
            "Reading in keypoints from the files.........done!",
            "",
            "Image Properties:",
            "\tKeypoint 1: '" + a + "' has " + count + " local features (128 dims)",
            "\tKeypoint 2: '" + b + "' has " + count + " local features (128 dims)",
            "",
            "Matching Properties:",
            "\tchecking first AND second nearest neighbors",
            "\tusing SIFT with threshold of 0.6",
            "",
            "",
            "Called 'GetRelative'",
            "--------------------",
            "",
            "\tInitializing variables for LM optimization.........done!",
            "",
            "\tFinding tiepoints across images....................done!",
            "\t\tfound " + std::to_string(tiepoints) +
                " tiepoints   (matching took <I> mins and <I> secs)",
            "",
            "\tMinimization Properties:",
            "\t\tperforming hough transform clustering on Y2",
            "\t\ttaking 1000 samples",
            "\t\teach sample contains 20 tiepoints",
            "",
            "Properties of Delta_Y - mean: <F>\tvariance: <F>\tSTD: <F>",
            "min_Dist: <F>\tmax_Dist: <F>\tbinSpacing: <F>",
            "<F> <F> <F> <F> <F> <F> <F> <F> <F> <F> ",
            "Max Bin Index: <I>\tMax Bin Value: <I>",
            "",
            "",
            "Results for camera relative orientation:",
            "(remember dx sets the scale and angles are in degs)",
            "\tX2-X1:         1.00000",
            "\tY2-Y1:         <F>",
            "\tZ2-Z1:         <F>",
            "\tTHETA2-THETA1: <F>",
            "\tPHI2-PHI1:     <F>",
            "\tKAPA2-KAPA1:   <F>",
            ""};
}

namespace {

// Length of the number of the given kind at the start of `s`, 0 when there is none:
// <I> is a run of digits, <F> an optional minus, digits, a point and 4 or 5 digits.
std::size_t NumberLength(std::string_view s, bool real) {
    std::size_t at = 0;
    if (real && at < s.size() && s[at] == '-') ++at;
    const auto digits = [&] {
        const std::size_t from = at;
        while (at < s.size() && s[at] >= '0' && s[at] <= '9') ++at;
        return at - from;
    };
    if (digits() == 0) return 0;
    if (!real) return at;
    if (at >= s.size() || s[at] != '.') return 0;
    ++at;
    const std::size_t decimals = digits();
    return decimals == 4 || decimals == 5 ? at : 0;
}

}  // namespace

bool MatchesTemplate(std::string_view line, std::string_view pattern) {
    while (!pattern.empty()) {
        if (pattern.starts_with("<F>") || pattern.starts_with("<I>")) {
            const std::size_t n = NumberLength(line, pattern[1] == 'F');
            if (n == 0) return false;
            line.remove_prefix(n);
            pattern.remove_prefix(3);
        } else {
            if (line.empty() || line.front() != pattern.front()) return false;
            line.remove_prefix(1);
            pattern.remove_prefix(1);
        }
    }
    return line.empty();
}

double PrintedResult(const std::string& text, const std::string& label) {
    const std::size_t at = text.rfind("\t" + label);
    if (at == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + at + 1 + label.size(), nullptr);
}

}  // namespace relative_texts
