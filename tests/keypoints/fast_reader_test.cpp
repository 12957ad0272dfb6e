// The streaming reader against ParseKeyText on the same bytes: statuses, header numbers
// and keys, for hand-written, generated and mutated files and for block sizes down to
// one byte (so that every number straddles a block boundary somewhere).
#include "keypoints/fast_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "testing/temp_dir.h"

namespace keypoints {
namespace {

using test_support::TempDir;

using namespace std::string_literals;

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void ExpectSameParse(const std::string& text, std::size_t block, KeyScan scan) {
    TempDir dir;
    const std::string path = dir.Write("k.key", text);
    const KeyFileParse want = ParseKeyText(text);
    const KeyFileStreamResult got = ReadKeyFileStream(path.c_str(), block, scan);
    ASSERT_EQ(got.access, KeyFileAccess::ok);
    ASSERT_EQ(got.parse.status, want.status);
    ASSERT_EQ(got.parse.numfeatures, want.numfeatures);
    ASSERT_EQ(got.parse.dimensions, want.dimensions);
    ASSERT_EQ(got.parse.keys.size(), want.keys.size());
    for (std::size_t i = 0; i < want.keys.size(); ++i) {
        const KeypointSt& g = got.parse.keys[i];
        const KeypointSt& w = want.keys[i];
        ASSERT_TRUE(SameBits(g.row, w.row) && SameBits(g.col, w.col) &&
                    SameBits(g.scale, w.scale) && SameBits(g.ori, w.ori))
            << "key " << i << ": " << g.row << " " << g.col << " " << g.scale << " " << g.ori
            << " vs " << w.row << " " << w.col << " " << w.scale << " " << w.ori;
        ASSERT_EQ(g.descrip, w.descrip) << "key " << i;
    }
}

// Both scans of descriptor values: the vector one (where the CPU has it) and the portable.
void ExpectSameParse(const std::string& text, std::size_t block) {
    for (KeyScan scan : {KeyScan::automatic, KeyScan::portable}) {
        SCOPED_TRACE(scan == KeyScan::automatic ? "automatic scan" : "portable scan");
        ExpectSameParse(text, block, scan);
        if (testing::Test::HasFatalFailure()) return;
    }
}

void ExpectSameParseAllBlocks(const std::string& text) {
    for (std::size_t block : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7},
                              std::size_t{64}, kKeyFileBlockBytes}) {
        SCOPED_TRACE("block " + std::to_string(block));
        ExpectSameParse(text, block);
        if (testing::Test::HasFatalFailure()) return;
    }
}

struct TextCase {
    const char* name;
    std::string text;
};

// One keypoint of descriptor length 1 whose first real is `real`, then a value `value`.
std::string One(const std::string& real, const std::string& value = "7") {
    return "1 1\n" + real + " 2 3 4\n" + value + "\n";
}

std::vector<TextCase> TextCases() {
    return {
        {"HeaderOnly", "0 128\n"},
        {"NegativeCount", "-5 3\n1 2 3 4 5 6 7\n"},
        {"Empty", ""},
        {"OneHeaderNumber", "7"},
        {"WordInHeader", "2 x\n"},
        {"LengthZero", "2 0\n1 2 3 4\n5 6 7 8\n"},
        {"NegativeLength", "2 -3\n1 2 3 4\n5 6 7 8\n"},
        {"MissingEntry", "3 2\n1 2 3 4 5 6\n1 2 3 4 5 6\n"},
        {"ShortDescriptor", "1 3\n1 2 3 4 5 6"},
        {"WordAsValue", "1 2\n1 2 3 4 5 abc\n"},
        {"FractionAsValue", "1 2\n1 2 3 4 12.5 6\n"},
        {"FractionThenEntry", "2 1\n1 2 3 4 12.5 6 7 8 9\n"},
        {"ExtraEntriesIgnored", "1 1\n1 2 3 4 5\n6 7 8 9 10\n"},
        {"TrailingGarbage", "1 1\n1 2 3 4 5 garbage\xff\x01"},
        {"AllSeparators", "1\t2\r\n1\v2\f3 4\n\n5\r6"},
        {"NulEndsText", "1 2\n1 2 3 4 5\0 6\n"s},
        {"NulInsideNumber",
         "1 2\n1 2 3 4 5 6\0"
         "7\n"s},
        {"NulInHeader", "1\0 2\n"s},
        {"IntLimits", "1 4\n1 2 3 4 2147483647 -2147483648 +7 -0\n"},
        {"IntAboveRange", "1 1\n1 2 3 4 2147483648\n"},
        {"IntBelowRange", "1 1\n1 2 3 4 -2147483649\n"},
        {"IntFarOutOfRange", "1 1\n1 2 3 4 99999999999999999999999\n"},
        {"IntLeadingZeros", "1 2\n1 2 3 4 0000000000000000000000012 007\n"},
        {"IntHexIsZeroThenWord", "1 2\n1 2 3 4 0x1F 3\n"},
        {"IntLoneSign", "1 1\n1 2 3 4 -\n"},
        {"IntDoubleSign", "1 1\n1 2 3 4 +-3\n"},
        {"CountAboveRange", "4294967296 1\n"},
        {"Exponent", One("1e5")},
        {"ExponentCapital", One("-1.5E+2")},
        {"ExponentNegative", One("2.5e-3")},
        {"ExponentWithoutDigits", One("1e", "")},
        {"ExponentSignWithoutDigits", One("1e+", "")},
        {"Hex", One("0x1p3")},
        {"HexFraction", One("-0X1.8P-1")},
        {"HexWithoutDigits", One("0x", "")},
        {"Infinity", One("inf")},
        {"InfinityLong", One("-INFINITY")},
        {"InfinityPartial", One("infin")},
        {"Nan", One("nan")},
        {"NanPayload", One("NaN(123abc)")},
        {"NanOpenPayload", One("nan(12")},
        {"PointFirst", One(".5")},
        {"PointLast", One("5.")},
        {"SignPoint", One("-.25")},
        {"PlusSign", One("+3.75")},
        {"LonePoint", One(".")},
        {"LoneSign", One("-")},
        {"NegativeZero", One("-0.0")},
        {"ManyFractionDigits", One("1.000000000001")},
        {"TenFractionDigits", One("0.1234567891")},
        {"LongMantissa", One("16777217")},
        {"LongDecimal", One("123456789.123")},
        {"RoundingHalfway", One("0.30000001192092896")},
        {"Overflow", One("3.4028236e38")},
        {"HugeOverflow", One("1e999")},
        {"Underflow", One("1e-50")},
        {"Denormal", One("1.4e-45")},
        {"RealThenGarbage", One("1.5abc")},
        {"RealWithComma", "1 1\n1,5 2 3 4 5\n"},
    };
}

class ReaderTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(ReaderTextTest, SameAsReference) { ExpectSameParseAllBlocks(GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Cases, ReaderTextTest, testing::ValuesIn(TextCases()),
                         [](const auto& p) { return std::string(p.param.name); });

// A well-formed file in the usual layout, with reals written in several styles.
std::string GeneratedFile(int keys, int dims, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> pos(0.0, 4000.0);
    std::uniform_int_distribution<int> value(0, 255);
    std::string text = std::to_string(keys) + " " + std::to_string(dims) + "\n";
    const char* formats[] = {"%.2f", "%.6f", "%g", "%.9g", "%e", "%.0f"};
    char buf[64];
    for (int k = 0; k < keys; ++k) {
        for (int r = 0; r < 4; ++r) {
            std::snprintf(buf, sizeof buf, formats[(k + r) % 6], pos(rng) - (r == 3 ? 2000 : 0));
            text += buf;
            text += r == 3 ? "\n" : " ";
        }
        for (int d = 0; d < dims; ++d) {
            text += std::to_string(value(rng));
            text += d % 20 == 19 || d + 1 == dims ? "\n " : " ";
        }
    }
    return text;
}

TEST(Reader, GeneratedFileSameAsReference) { ExpectSameParseAllBlocks(GeneratedFile(40, 128, 3)); }

// CR LF line ends read like line feeds: the same keypoints, whichever reader.
TEST(Reader, CrLfFileReadsLikeTheLineFeedOne) {
    const std::string lf = GeneratedFile(40, 128, 3);
    std::string crlf;
    for (const char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const KeyFileParse want = ParseKeyText(lf);
    const KeyFileParse got = ParseKeyText(crlf);
    ASSERT_EQ(got.status, KeyFileStatus::ok);
    ASSERT_EQ(got.keys.size(), want.keys.size());
    for (std::size_t i = 0; i < want.keys.size(); ++i) {
        EXPECT_TRUE(SameBits(got.keys[i].row, want.keys[i].row) &&
                    SameBits(got.keys[i].ori, want.keys[i].ori));
        EXPECT_EQ(got.keys[i].descrip, want.keys[i].descrip);
    }
    ExpectSameParseAllBlocks(crlf);
}

TEST(Reader, ValuesOfEveryWidthSameAsReference) {
    // Descriptor values of 1 to 12 digits (the longest beyond the int range), signs, and
    // runs of separators, so that numbers fall on every position of a scan window.
    std::mt19937 rng(8);
    std::string text = "60 50\n";
    for (int k = 0; k < 60; ++k) {
        text += "1.5 2.5 3.5 4.5\n";
        for (int d = 0; d < 50; ++d) {
            const int width = std::uniform_int_distribution<int>(1, k == 59 ? 12 : 9)(rng);
            std::string num = rng() % 8 == 0 ? "-" : (rng() % 16 == 0 ? "+" : "");
            for (int i = 0; i < width; ++i) num += static_cast<char>('0' + rng() % 10);
            text +=
                num + std::string(1 + rng() % (rng() % 4 == 0 ? 70 : 2), rng() % 3 ? ' ' : '\n');
        }
    }
    EXPECT_GE(ParseKeyText(text).keys.size(), 59u);
    ExpectSameParseAllBlocks(text);
}

TEST(Reader, RandomDecimalRealsSameAsReference) {
    // Plain decimals of every digit count around the limits of the exact conversion.
    std::mt19937 rng(9);
    std::string text = "500 0\n";
    for (int i = 0; i < 2000; ++i) {
        const int int_digits = std::uniform_int_distribution<int>(0, 9)(rng);
        const int frac_digits = std::uniform_int_distribution<int>(0, 12)(rng);
        std::string num = rng() % 2 ? "-" : "";
        for (int d = 0; d < int_digits; ++d) num += static_cast<char>('0' + rng() % 10);
        if (frac_digits > 0 || int_digits == 0) num += ".";
        for (int d = 0; d < frac_digits || (int_digits == 0 && d == 0); ++d) {
            num += static_cast<char>('0' + rng() % 10);
        }
        text += num + (i % 4 == 3 ? "\n" : " ");
    }
    ExpectSameParse(text, kKeyFileBlockBytes);
    ExpectSameParse(text, 5);
}

TEST(Reader, MutatedFilesSameAsReference) {
    const std::string base = GeneratedFile(6, 8, 4);
    const std::string alphabet = "0123456789.+-eExXpPinfatyINFATY()\t\n\r\v\f ,"s + '\0';
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        std::string text = base;
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            const std::size_t at = rng() % text.size();
            switch (rng() % 4) {
                case 0:
                    text.erase(at, 1);
                    break;
                case 1:
                    text.insert(at, 1, alphabet[rng() % alphabet.size()]);
                    break;
                case 2:
                    text[at] = alphabet[rng() % alphabet.size()];
                    break;
                default:
                    text.resize(at);
                    break;
            }
        }
        SCOPED_TRACE("round " + std::to_string(round));
        for (std::size_t block : {std::size_t{1}, std::size_t{4}, kKeyFileBlockBytes}) {
            ExpectSameParse(text, block);
            if (HasFatalFailure()) return;
        }
    }
}

TEST(Reader, TokenLongerThanTheBuffer) {
    ExpectSameParse("1 1\n" + std::string(5000, '1') + ".5 2 3 4 5\n", 16);
    ExpectSameParse("1 1\n1 2 3 4 " + std::string(5000, '0') + "42\n", 16);
}

TEST(Reader, MissingFileCannotBeOpened) {
    TempDir dir;
    EXPECT_EQ(ReadKeyFileStream(dir.File("none.key").c_str()).access, KeyFileAccess::cannot_open);
}

TEST(Reader, DirectoryCannotBeRead) {
    TempDir dir;
    EXPECT_EQ(ReadKeyFileStream(dir.path().c_str()).access, KeyFileAccess::cannot_read);
}

}  // namespace
}  // namespace keypoints
