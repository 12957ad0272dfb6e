// The match report writer: the report agrees with the matcher line by line, and a stream
// that runs out of room is never reported as written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/keypoint_bytes.h"
#include "io/file_handles.h"
#include "keypoints/match_report.h"
#include "relative/utils.h"

namespace {

using keypoints::WriteMatchReport;
using relative::FindMatchesReference;

std::string Fixed(float v, int precision) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%4.*f", precision, static_cast<double>(v));
    return buf;
}

// The whole report, written to a growing memory stream; *count gets the result.
std::string WriteToMemory(const KeypointPair& p, int* count) {
    char* buf = nullptr;
    std::size_t len = 0;
    std::FILE* f = open_memstream(&buf, &len);
    FUZZ_CHECK(f != nullptr, "open_memstream");
    *count = WriteMatchReport(f, p.keys1, p.keys2, p.dims);
    std::fclose(f);
    std::string text(buf, len);
    std::free(buf);
    return text;
}

// Every line has 17 fields and agrees with row k of the match array.
void CheckLines(const std::string& text, const MatchArray& rows) {
    std::istringstream lines(text);
    std::string line;
    std::size_t k = 0;
    long last_position = 0;
    while (std::getline(lines, line)) {
        FUZZ_CHECK(k < rows.size(), "no more lines than matches");
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string field; fields >> field;) f.push_back(field);
        FUZZ_CHECK(f.size() == 17, "17 fields per line");
        const long position = std::strtol(f[0].c_str(), nullptr, 10);
        FUZZ_CHECK(position > last_position, "positions rise");
        last_position = position;
        FUZZ_CHECK(f[2] == Fixed(rows[k][0], 2) && f[1] == Fixed(rows[k][1], 2), "keypoint 1");
        FUZZ_CHECK(f[7] == Fixed(rows[k][2], 2) && f[6] == Fixed(rows[k][3], 2), "nearest");
        const long long d1 = std::strtoll(f[10].c_str(), nullptr, 10);
        const long long d2 = std::strtoll(f[16].c_str(), nullptr, 10);
        FUZZ_CHECK(
            keypoints::PassesRatio(static_cast<int>(d1), static_cast<int>(d2), relative::kRatio),
            "ratio test");
        ++k;
    }
    FUZZ_CHECK(k == rows.size(), "one line per match");
    FUZZ_CHECK(text.empty() || text.back() == '\n', "the last line ends");
}

// An unbuffered stream over `capacity` bytes: a write that does not fit fails at once.
// Success must mean that the whole report is in the buffer. The memory stream keeps one
// byte spare: when a write fills it to the last byte, glibc reports success but may put a
// NUL in that byte on closing, so that size is not judged.
void CheckShortStream(const KeypointPair& p, const std::string& full, std::size_t capacity) {
    std::vector<char> buf(capacity + 1, '\0');
    io::File f(fmemopen(buf.data(), buf.size(), "w"));
    FUZZ_CHECK(f != nullptr, "fmemopen");
    std::setvbuf(f.get(), nullptr, _IONBF, 0);
    const int count = WriteMatchReport(f.get(), p.keys1, p.keys2, p.dims);
    f.reset();
    if (full.size() == buf.size()) return;
    if (count < 0) {
        FUZZ_CHECK(full.size() > capacity, "a report that fits is written");
        return;
    }
    FUZZ_CHECK(full.size() <= capacity, "a report that does not fit is never a success");
    FUZZ_CHECK(std::string(buf.data(), full.size()) == full, "the written report is whole");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const KeypointPair p = DecodeKeypointPair(data, size);
    int num = -1;
    const MatchArray rows = FindMatchesReference(p.keys1, p.keys2, p.dims, &num);
    int count = -2;
    const std::string text = WriteToMemory(p, &count);
    FUZZ_CHECK(count == num, "the report counts the matches");
    CheckLines(text, rows);
    if (!text.empty()) CheckShortStream(p, text, (size * 7919u) % (text.size() + 8));
    return 0;
}
