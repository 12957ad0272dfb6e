// FindMatchesOutput: the match report of the keypoints library written to a file, every
// failure ending the process through FatalError.
#include "keypoints/match_report.h"

#include <cstdio>

#include "relative/utils.h"

void FindMatchesOutput(const KeypointList& keys1, const KeypointList& keys2, int dims,
                       const char* outfile) {
    std::FILE* out = std::fopen(outfile, "wb");
    if (out == nullptr) FatalError("Could not open file: %s", outfile);
    const int count = keypoints::WriteMatchReport(out, keys1, keys2, dims, relative::kRatio);
    const bool stream_failed = std::ferror(out) != 0;
    // fclose flushes the buffered tail: a full disk often shows only here.
    const bool close_failed = std::fclose(out) != 0;
    if (count < 0 || stream_failed || close_failed) FatalError("Could not write file: %s", outfile);
    std::fprintf(stderr, "Found %d matches\n", count);
}
