// The conversion core, driven from memory: behaviour on good and bad files, block
// boundaries, failing streams, and a comparison with the plain strtol/strtof/snprintf
// model.
#include "converter/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <random>
#include <string>

#include "testing/featsheet_model.h"

namespace featsheet {

namespace {

using test_support::ConvertLikeFeatsheet;
using test_support::FeatsheetModel;

struct Outcome {
    ConvertStatus status;
    std::string csv;
};

Outcome Convert(Source& source) {
    StringSink sink;
    KeyHeader header;
    const ConvertStatus status = ConvertKeypoints(source, sink, &header);
    return {status, sink.text};
}

Outcome Convert(const std::string& text) {
    BufferSource source(text);
    return Convert(source);
}

// Hands out at most `step` bytes per read, then optionally fails.
struct ChunkSource : Source {
    ChunkSource(const std::string& t, std::size_t s, bool f) : text(t), step(s), fail(f) {}
    std::size_t Read(char* dest, std::size_t capacity, bool* error) override {
        const std::size_t n = std::min({capacity, step, text.size() - at});
        if (n == 0 && fail) *error = true;
        text.copy(dest, n, at);
        at += n;
        return n;
    }
    std::string text;
    std::size_t step;
    bool fail;
    std::size_t at = 0;
};

// Accepts `room` bytes, then fails.
struct FullSink : Sink {
    explicit FullSink(std::size_t r) : room(r) {}
    bool Write(const char*, std::size_t size) override {
        if (size > room) return false;
        room -= size;
        return true;
    }
    std::size_t room;
};

// The plain model of the conversion (testing/featsheet_model.h) as an outcome.
Outcome Model(const std::string& text) {
    const FeatsheetModel m = ConvertLikeFeatsheet(text);
    return {m.ok ? ConvertStatus::ok : ConvertStatus::bad_format, m.csv};
}

std::string RandomToken(std::mt19937& rng) {
    static const char* const kOdd[] = {"1e2", "-2.5E-1", "0x1A",        "inf",  "-nan", "7.", ".25",
                                       "1e",  "3.5.5",   "99999999999", "12ab", "x",    "0",  "-0"};
    char text[40];
    switch (rng() % 8) {
        case 0:
            return kOdd[rng() % std::size(kOdd)];
        case 1:
            std::snprintf(text, sizeof text, "%.*f", static_cast<int>(rng() % 9),
                          static_cast<double>(rng() % 2000000) / 997.0 - 1000.0);
            return text;
        default:
            return std::to_string(rng() % 256);
    }
}

// A keypoint file with announced sizes near the real ones and mixed whitespace.
std::string RandomFile(std::mt19937& rng) {
    const int num = static_cast<int>(rng() % 6);
    const int dims = static_cast<int>(rng() % 5) - 1;
    std::string text =
        std::to_string(num + static_cast<int>(rng() % 3) - 1) + " " + std::to_string(dims) + "\n";
    const int tokens = std::max(0, num * (4 + std::max(dims, 0)) + static_cast<int>(rng() % 5) - 2);
    static const char* const kSpace[] = {" ", "\n", "\t", "\r\n", "  ", "\v", "\f"};
    for (int i = 0; i < tokens; ++i) text += RandomToken(rng) + kSpace[rng() % std::size(kSpace)];
    return text;
}

struct Case {
    const char* name;
    std::string input;
    ConvertStatus status;
    std::string csv;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const ConvertStatus kOk = ConvertStatus::ok;
const ConvertStatus kBad = ConvertStatus::bad_format;

}  // namespace

class ConvertCase : public testing::TestWithParam<Case> {};

TEST_P(ConvertCase, WritesExactLines) {
    const Outcome got = Convert(GetParam().input);
    EXPECT_EQ(got.status, GetParam().status);
    EXPECT_EQ(got.csv, GetParam().csv);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ConvertCase,
    testing::Values(Case{"Example", "1 3\n10.5 20.25 1.5 -0.5 0 12 255\n", kOk,
                         "10.50, 20.25, 1.500, -0.5000,   0,  12, 255\n"},
                    Case{"NoKeypoints", "0 128\n", kOk, ""},
                    Case{"NegativeCountReadsNothing", "-4 128 junk", kOk, ""},
                    Case{"FewerEntriesThanAnnounced", "3 1\n1 2 3 4 5\n6 7 8 9 10\n", kBad,
                         "1.00, 2.00, 3.000, 4.0000,   5\n6.00, 7.00, 8.000, 9.0000,  10\n"},
                    Case{"TrailingDataIgnored", "1 1\n1 2 3 4 5\n6 junk", kOk,
                         "1.00, 2.00, 3.000, 4.0000,   5\n"},
                    Case{"NoDescriptor", "2 0 1 2 3 4 5 6 7 8", kOk,
                         "1.00, 2.00, 3.000, 4.0000\n5.00, 6.00, 7.000, 8.0000\n"},
                    Case{"NegativeDescriptorLength", "1 -5\n1 2 3 4 junk", kOk,
                         "1.00, 2.00, 3.000, 4.0000\n"},
                    Case{"RoundsAndSigns", "1 6 0 0 0 0 12.7 12.5 13.5 -0.4 -3 -100", kOk,
                         "0.00, 0.00, 0.000, 0.0000,  13,  12,  14,  -0,  -3, -100\n"},
                    Case{"MinimumWidthsOnly", "1 1 512.25 -1234.5 2 100.00004 1000", kOk,
                         "512.25, -1234.50, 2.000, 100.0000, 1000\n"},
                    Case{"OddWhitespaceAndNotations", "1\t2\r\n\v1e2\f0x10 -inf nan 2.5e-1 7.", kOk,
                         "100.00, 16.00, -inf,  nan,   0,   7\n"},
                    Case{"NumberEndsInsideToken", "1 2 1 2 3 4 12.5.5", kOk,
                         "1.00, 2.00, 3.000, 4.0000,  12,   0\n"},
                    Case{"TokenRestStartsNextEntry", "2 1 1 2 3 4 5x 1 2 3 4 5", kBad,
                         "1.00, 2.00, 3.000, 4.0000,   5\n"},
                    Case{"WordInDescriptor", "2 2 1 2 3 4 5 word 1 2 3 4 5 6", kBad, ""},
                    Case{"LastEntryCutShort", "2 2 1 2 3 4 5 6 1 2 3 4 5", kBad,
                         "1.00, 2.00, 3.000, 4.0000,   5,   6\n"},
                    Case{"HugeDescriptorLengthInSmallFile", "1 2000000000 1 2 3 4 5 6", kBad, ""},
                    Case{"EmptyFile", "", kBad, ""}, Case{"OneHeaderNumber", "5", kBad, ""},
                    Case{"HeaderWord", "x 3 1 2 3 4 5", kBad, ""},
                    Case{"HeaderBeyondInt", "4294967297 0 1 2 3 4", kBad, ""},
                    Case{"HeaderReal", "1.5 2", kBad, ""},
                    Case{"NulEndsNumbers", std::string("1 1 1 2 3 4\0 5", 14), kBad, ""}),
    [](const testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

TEST(Convert, MatchesPlainModelOnRandomFiles) {
    std::mt19937 rng(5);
    for (int i = 0; i < 3000; ++i) {
        const std::string text = RandomFile(rng);
        const Outcome want = Model(text);
        const Outcome got = Convert(text);
        ASSERT_EQ(got.status, want.status) << text;
        ASSERT_EQ(got.csv, want.csv) << text;
        ChunkSource trickle(text, 1 + rng() % 3, false);  // tokens split across reads
        const Outcome split = Convert(trickle);
        ASSERT_EQ(split.status, want.status) << text;
        ASSERT_EQ(split.csv, want.csv) << text;
    }
}

TEST(Convert, LargeFileAndTokensLongerThanABlock) {
    std::string text = "3000 3\n";
    for (int k = 0; k < 3000; ++k) text += std::to_string(k) + ".25 7 1.5 0.5 1 2 3\n";
    text.insert(text.size() - 2, "0." + std::string(200000, '0'));  // a 0.000...03
    const Outcome want = Model(text);
    EXPECT_EQ(Convert(text).csv, want.csv);
    ChunkSource pieces(text, 40000, false);
    EXPECT_EQ(Convert(pieces).csv, want.csv);
}

TEST(Convert, ReadErrorIsReported) {
    for (const std::string text : {"", "2 1", "2 1 1 2 3 4 5 6 7", "2 1 1 2 3 4 5 6 7 8 9 10"}) {
        ChunkSource broken(text, 5, true);
        EXPECT_EQ(Convert(broken).status, ConvertStatus::read_error) << text;
    }
}

TEST(Convert, WriteFailureIsReportedAndWinsOverBadInput) {
    std::string text = "20000 2\n";
    for (int k = 0; k < 20000; ++k) text += "1 2 3 4 5 6\n";
    const struct {
        std::string input;
        std::size_t room;
    } cases[] = {
        {text, 0}, {text, 100000}, {text.substr(0, text.size() / 2), 100000}, {"2 1 1 2 3 4 5", 0}};
    for (const auto& c : cases) {
        BufferSource source(c.input);
        FullSink sink(c.room);
        KeyHeader header;
        EXPECT_EQ(ConvertKeypoints(source, sink, &header), ConvertStatus::write_error);
    }
}

}  // namespace featsheet
