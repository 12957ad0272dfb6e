#include "siftkey/key_writer.h"

#include <cmath>

namespace siftkey {
namespace {

constexpr int kValuesPerLine = 20;
// The largest orientation written, in thousandths: 3.142 would exceed pi.
constexpr long long kMaxOrientationMilli = 3141;

void AppendFixed(std::string* out, double value, int decimals) {
    static constexpr long long kPowers[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    const long long scale = kPowers[decimals];
    const long long units = std::llround(value * static_cast<double>(scale));
    const unsigned long long magnitude =
        units < 0 ? 0ULL - static_cast<unsigned long long>(units) : units;
    if (units < 0) out->push_back('-');
    out->append(std::to_string(magnitude / scale));
    if (decimals == 0) return;
    const std::string fraction = std::to_string(magnitude % scale);
    out->push_back('.');
    out->append(static_cast<std::size_t>(decimals) - fraction.size(), '0');
    out->append(fraction);
}

void AppendOrientation(std::string* out, float orientation_rad) {
    long long milli = std::llround(static_cast<double>(orientation_rad) * 1000.0);
    if (milli > kMaxOrientationMilli || milli < -kMaxOrientationMilli) milli = kMaxOrientationMilli;
    AppendFixed(out, static_cast<double>(milli) / 1000.0, 3);
}

}  // namespace

std::string FormatFixed(double value, int decimals) {
    std::string out;
    AppendFixed(&out, value, decimals);
    return out;
}

std::string FormatKeyFile(const std::vector<SiftKeypoint>& keys) {
    std::string out = std::to_string(keys.size()) + " " + std::to_string(kDescriptorLength) + "\n";
    out.reserve(out.size() + keys.size() * (32 + 4 * kDescriptorLength));
    for (const SiftKeypoint& k : keys) {
        AppendFixed(&out, k.row_px, 2);
        out.push_back(' ');
        AppendFixed(&out, k.col_px, 2);
        out.push_back(' ');
        AppendFixed(&out, k.scale_px, 2);
        out.push_back(' ');
        AppendOrientation(&out, k.orientation_rad);
        for (int i = 0; i < kDescriptorLength; ++i) {
            if (i % kValuesPerLine == 0) out.push_back('\n');
            out.push_back(' ');
            out.append(std::to_string(k.descriptor[i]));
        }
        out.push_back('\n');
    }
    return out;
}

}  // namespace siftkey
