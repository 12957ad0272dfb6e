#include "pair_run/run_info.h"

#include <cstdint>

namespace pair_run {

const char* Version() { return ORIENT_VERSION; }

std::string RatioText(const keypoints::DistanceRatio& ratio) {
    if (ratio.denominator <= 0 || ratio.numerator < 0) return "n/a";
    std::string text = std::to_string(ratio.numerator / ratio.denominator);
    std::int64_t rest = ratio.numerator % ratio.denominator;
    if (rest != 0) text += '.';
    for (int digit = 0; rest != 0 && digit < 9; ++digit) {
        rest *= 10;
        text += static_cast<char>('0' + rest / ratio.denominator);
        rest %= ratio.denominator;
    }
    return text;
}

}  // namespace pair_run
