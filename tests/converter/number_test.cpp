// Differential tests: the fast number reading and formatting must give exactly what
// strtof and snprintf give.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "converter/float_format.h"
#include "converter/float_parse.h"

namespace featsheet {

namespace {

// Reads `token` as the converter does: from_chars first, strtof when it declines.
std::size_t ReadLikeConverter(const std::string& token, float* value) {
    const std::size_t used = ParseFloatFast(token.data(), token.data() + token.size(), value);
    return used != 0 ? used : ParseFloatStrtof(token.c_str(), value);
}

void ExpectSameAsStrtof(const std::string& token) {
    char* stop = nullptr;
    const float want = std::strtof(token.c_str(), &stop);
    float got = -12345.0f;
    const std::size_t used = ReadLikeConverter(token, &got);
    ASSERT_EQ(used, static_cast<std::size_t>(stop - token.c_str())) << token;
    if (used == 0) return;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(got), std::bit_cast<std::uint32_t>(want)) << token;
}

// Plain decimals around the digit and exponent limits of the fast path.
std::string RandomDecimal(std::mt19937_64& rng) {
    std::string s = rng() % 3 == 0 ? "-" : "";
    const int digits = 1 + static_cast<int>(rng() % 24);
    const int point = static_cast<int>(rng() % (digits + 1));
    for (int i = 0; i < digits; ++i) {
        if (i == point && rng() % 4 != 0) s += '.';
        s += static_cast<char>('0' + rng() % 10);
    }
    return s + " ";
}

std::string Format(double v, int width, int precision) {
    char text[128];
    std::snprintf(text, sizeof text, "%*.*f", width, precision, v);
    return text;
}

void ExpectSameAsSnprintf(float v, int width, int precision) {
    char out[kMaxFixedChars];
    const std::size_t n = FormatFixed(v, width, precision, out);
    ASSERT_EQ(std::string(out, n), Format(v, width, precision))
        << std::hexfloat << v << " %" << width << "." << precision << "f";
}

constexpr int kFormats[][2] = {{4, 2}, {4, 3}, {4, 4}, {3, 0}, {0, 1}, {0, 5}, {12, 6}, {20, 2}};

}  // namespace

TEST(ReadReal, AwkwardTokensMatchStrtof) {
    for (const char* t : {"0",
                          "-0",
                          "+5",
                          "12.5",
                          "1.",
                          ".5",
                          "-.5",
                          ".",
                          "-",
                          "+",
                          "--5",
                          "1e5",
                          "1E-3",
                          "1e",
                          "1e+",
                          "2.5e+x",
                          "0x1p3",
                          "0x",
                          "0X1.8",
                          "00x1",
                          "inf",
                          "-Infinity",
                          "nan",
                          "-nan(12)",
                          "nan(",
                          "12.5abc",
                          "1.2.3",
                          "5,",
                          "16777217",
                          "-16777219",
                          "8388608.5",
                          "8388609.5",
                          "1.00000005960464477539062500",
                          "1.0000000596046448",
                          "0.1",
                          "3.4028235e38",
                          "1e39",
                          "1e-50",
                          "1e-45",
                          "000000000000000000000000001",
                          "0.0000000000000000000001",
                          "0.00000000000000000000001",
                          "9007199254740993",
                          "9007199254740992.5",
                          "123456789012345678901234567890",
                          "340282356779733661637539395458142568448"}) {
        ExpectSameAsStrtof(t);
        ExpectSameAsStrtof(std::string(t) + " 7");
    }
}

TEST(ReadReal, RandomDecimalsMatchStrtof) {
    std::mt19937_64 rng(7);
    int fast = 0;
    for (int i = 0; i < 300000; ++i) {
        const std::string token = RandomDecimal(rng);
        float v = 0.0f;
        fast += ParseFloatFast(token.data(), token.data() + token.size(), &v) != 0;
        ExpectSameAsStrtof(token);
    }
    EXPECT_GT(fast, 150000);  // the fast path must carry the common case
}

TEST(ReadReal, EveryShortDecimalMatchesStrtof) {
    // All tokens of up to six digits with up to four of them after the point: the
    // values that keypoint files are made of.
    for (int n = 0; n < 1000000; ++n) {
        const std::string digits = std::to_string(n);
        ExpectSameAsStrtof(digits + " ");
        for (std::size_t fraction = 1; fraction <= 4; ++fraction) {
            const std::string padded =
                std::string(fraction + 1 - std::min(digits.size(), fraction + 1), '0') + digits;
            ExpectSameAsStrtof(padded.substr(0, padded.size() - fraction) + "." +
                               padded.substr(padded.size() - fraction) + " ");
        }
    }
}

TEST(ReadReal, NearHalfwayBetweenFloatsMatchesStrtof) {
    // Midpoints between floats with one fractional decimal digit, and decimals just off
    // them; the exact midpoints must be left to strtof, the others read exactly.
    std::mt19937_64 rng(11);
    for (int i = 0; i < 20000; ++i) {
        const long long base = (1LL << 23) + static_cast<long long>(rng() % (1LL << 25));
        for (const char* tail : {".5", ".4999999", ".5000001", ".25", ".75", ""}) {
            ExpectSameAsStrtof(std::to_string(base) + tail + " ");
        }
    }
}

TEST(FormatFixed, TiesRoundToEvenLikePrintf) {
    // Values exactly halfway at precision p are odd multiples of 2^-(p+1).
    for (const auto& f : kFormats) {
        for (int n = -70000; n <= 70000; ++n) {
            const float v = std::ldexp(static_cast<float>(n), -(f[1] + 1));
            ExpectSameAsSnprintf(v, f[0], f[1]);
            ExpectSameAsSnprintf(std::nextafter(v, 1e30f), f[0], f[1]);
            ExpectSameAsSnprintf(std::nextafter(v, -1e30f), f[0], f[1]);
        }
    }
}

TEST(FormatFixed, InfNanAndExtremeValuesMatchPrintf) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const auto& f : kFormats) {
        for (float v : {0.0f,
                        -0.0f,
                        inf,
                        -inf,
                        nan,
                        -nan,
                        std::numeric_limits<float>::max(),
                        std::numeric_limits<float>::min(),
                        std::numeric_limits<float>::denorm_min(),
                        -0.004f,
                        0.005f,
                        8796093022208.0f,
                        8796093022207.0f,
                        8796093546496.0f,
                        1e-40f,
                        512.25f,
                        2.0f,
                        -3.0f,
                        -100.0f,
                        1000.0f,
                        12.7f}) {
            ExpectSameAsSnprintf(v, f[0], f[1]);
            ExpectSameAsSnprintf(-v, f[0], f[1]);
        }
    }
}

TEST(FormatFixed, RandomFloatsMatchPrintf) {
    std::mt19937 rng(3);
    for (const auto& f : kFormats) {
        for (int i = 0; i < 100000; ++i) {
            ExpectSameAsSnprintf(std::bit_cast<float>(static_cast<std::uint32_t>(rng())), f[0],
                                 f[1]);
            // Magnitudes that keypoint files hold: up to a few thousand.
            const auto moderate = static_cast<std::uint32_t>(0x30000000u + rng() % 0x16000000u);
            ExpectSameAsSnprintf(
                std::bit_cast<float>(moderate | static_cast<std::uint32_t>(rng() & 0x80000000u)),
                f[0], f[1]);
        }
    }
}

// Every positive float from 2^-20 to 2^45 (where the integer arithmetic does the work,
// up to and past its limit) for each format of the converter: minutes of work, run by
// hand with --gtest_also_run_disabled_tests --gtest_filter='*EveryFloat*'. The sign is
// only a prefix, covered by the other tests.
TEST(FormatFixed, DISABLED_EveryFloatInRangeMatchesPrintf) {
    for (const auto& f : {kFormats[0], kFormats[1], kFormats[2], kFormats[3]}) {
        const std::uint32_t last = std::bit_cast<std::uint32_t>(std::ldexp(1.0f, 45));
        for (std::uint32_t bits = std::bit_cast<std::uint32_t>(std::ldexp(1.0f, -20)); bits <= last;
             ++bits) {
            ExpectSameAsSnprintf(std::bit_cast<float>(bits), f[0], f[1]);
        }
    }
}

}  // namespace featsheet
