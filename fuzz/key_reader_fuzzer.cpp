// The keypoint parser of `relative` on arbitrary bytes. Besides the sanitizers' checks:
// the result keeps the list's invariants, a successful parse survives writing the list
// back out and reading it again unchanged, and a truncated file never parses as a longer
// list than the whole one.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "io/file_handles.h"
#include "keypoints/fast_reader.h"
#include "relative/utils.h"

namespace {

using keypoints::KeyFileParse;
using keypoints::KeyFileStatus;
using keypoints::KeyScan;
using keypoints::ParseKeyStream;
using keypoints::ParseKeyText;

void CheckShape(const KeyFileParse& p) {
    if (p.status == KeyFileStatus::bad_beginning) {
        FUZZ_CHECK(p.keys.empty(), "no keypoints without a header");
        return;
    }
    const long long announced = p.numfeatures > 0 ? p.numfeatures : 0;
    const std::size_t dims = p.dimensions > 0 ? static_cast<std::size_t>(p.dimensions) : 0;
    if (p.status == KeyFileStatus::ok) {
        FUZZ_CHECK(static_cast<long long>(p.keys.size()) == announced, "every keypoint read");
    } else {
        FUZZ_CHECK(static_cast<long long>(p.keys.size()) < announced, "fails before the end");
    }
    for (const KeypointSt& key : p.keys) {
        FUZZ_CHECK(key.descrip.size() == dims, "descriptor has the header's length");
    }
}

bool SameFloat(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) {
        return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
    }
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string Write(const KeyFileParse& p) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d %d", p.numfeatures, p.dimensions);
    std::string text = buf;
    for (const KeypointSt& key : p.keys) {
        for (float v : {key.row, key.col, key.scale, key.ori}) {
            std::snprintf(buf, sizeof buf, "\n%.9g", static_cast<double>(v));
            text += buf;
        }
        for (int v : key.descrip) {
            std::snprintf(buf, sizeof buf, " %d", v);
            text += buf;
        }
    }
    text += '\n';
    return text;
}

void CheckSameKeys(const keypoints::KeypointList& a, const keypoints::KeypointList& b,
                   const char* what) {
    FUZZ_CHECK(a.size() == b.size(), what);
    for (std::size_t k = 0; k < a.size(); ++k) {
        FUZZ_CHECK(SameFloat(a[k].row, b[k].row) && SameFloat(a[k].col, b[k].col) &&
                       SameFloat(a[k].scale, b[k].scale) && SameFloat(a[k].ori, b[k].ori),
                   what);
        FUZZ_CHECK(a[k].descrip == b[k].descrip, what);
    }
}

void CheckRoundTrip(const KeyFileParse& p) {
    const KeyFileParse again = ParseKeyText(Write(p));
    FUZZ_CHECK(again.status == KeyFileStatus::ok, "a written list reads back");
    FUZZ_CHECK(again.numfeatures == p.numfeatures && again.dimensions == p.dimensions, "header");
    CheckSameKeys(p.keys, again.keys, "the keypoints read back");
}

// The streaming reader on the same bytes, with each of its scans, in blocks of 1 to 64
// bytes so that every token boundary falls between two blocks in some input.
void CheckFastReader(const std::string& text, const KeyFileParse& expected, KeyScan scan) {
    std::string copy = text;
    io::File f(copy.empty() ? std::tmpfile() : fmemopen(copy.data(), copy.size(), "rb"));
    FUZZ_CHECK(f != nullptr, "fmemopen");
    int read_error = 0;
    const std::size_t block = 1 + (text.size() * 2654435761u) % 64;
    const KeyFileParse got = ParseKeyStream(f.get(), &read_error, block, scan);
    FUZZ_CHECK(read_error == 0, "a memory stream reads");
    FUZZ_CHECK(got.status == expected.status, "fast reader status");
    if (expected.status != KeyFileStatus::bad_beginning) {
        FUZZ_CHECK(got.numfeatures == expected.numfeatures, "fast reader count");
        FUZZ_CHECK(got.dimensions == expected.dimensions, "fast reader dimensions");
    }
    CheckSameKeys(got.keys, expected.keys, "fast reader keypoints");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const KeyFileParse p = ParseKeyText(text);
    CheckShape(p);
    if (p.status == KeyFileStatus::ok) CheckRoundTrip(p);
    CheckFastReader(text, p, KeyScan::automatic);
    CheckFastReader(text, p, KeyScan::portable);
    if (size > 0) {
        const std::size_t drop = std::min<std::size_t>(size, 1 + size % 5);
        const KeyFileParse cut = ParseKeyText(text.substr(0, size - drop));
        FUZZ_CHECK(cut.keys.size() <= p.keys.size() || p.status != KeyFileStatus::ok,
                   "a truncated file holds no more keypoints");
    }
    return 0;
}
