// The console texts of both programs that the tests compare byte for byte, stated once
// and independently of the programs' own code.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace relative_texts {

inline constexpr char kBanner[] =
    "-------------------------------------------------------------\n"
    "\nRunning relative with the following parameters:\n";
inline constexpr char kUsage[] =
    "\nError: Incorrect number of parameters\n"
    "Usage: relative img1.key img2.key\n"
    "Exiting program\n\n";
inline constexpr char kReading[] = "\nReading in keypoints from the files.........";

// The banner and the echo of the arguments `a` and `b`.
inline std::string Start(const std::string& a, const std::string& b) {
    return kBanner + ("\t" + a + "\n\t" + b + "\n");
}

// What a run that stops at the dimension check writes after kReading.
inline std::string DimensionsRefused(const std::string& a, int dims_a, const std::string& b,
                                     int dims_b) {
    return "done!\nfeatures in '" + a + "' have '" + std::to_string(dims_a) +
           "' dimensions\nfeatures in '" + b + "' have '" + std::to_string(dims_b) +
           "' dimensions\nError: Cannot match features with different dimensions.\n";
}

// The standard error text of a successful run on the files `a` and `b` (`features` keypoints
// of 128 values each, `tiepoints` matches), line by line: <F> stands for a printed real, <I>
// for a printed count.
std::vector<std::string> SuccessfulRun(const std::string& a, const std::string& b, int features,
                                       int tiepoints);

// True when `line` is `pattern` with each <F> and <I> replaced by a number of that kind.
bool MatchesTemplate(std::string_view line, std::string_view pattern);

// The value printed after `label` (e.g. "Y2-Y1:") in the results block; NaN when missing.
double PrintedResult(const std::string& text, const std::string& label);

}  // namespace relative_texts

namespace featsheet_texts {

inline constexpr char kUsage[] =
    "\nError: Incorrect number of parameters\n"
    "Usage: featsheet in.key out.csv\n"
    "Exiting program\n\n";
inline constexpr char kExit[] = "Exiting program\n\n";

// The lines before the conversion of `in` into `out` of a header (num, dims).
inline std::string Announce(const std::string& in, const std::string& out, int num, int dims) {
    return "\nConverting " + in + " to " + out + "\nNumber of features  : " + std::to_string(num) +
           "\nNumber of dimensions: " + std::to_string(dims) + "\nSaving " + out +
           "...................";
}

}  // namespace featsheet_texts
