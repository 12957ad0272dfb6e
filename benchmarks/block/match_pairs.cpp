// Times the matcher alone on the pairs of a block, on one thread, for
// benchmarks/block/run.sh: how much of a whole `orient-block` run is matching.
//
//   match_pairs DIR PAIRS_FILE
//
// Reads DIR/NAME.key for every name in PAIRS_FILE (lines "NAME1 NAME2", `#` comments)
// once, then matches each pair as `orient` does (ratio 0.6, not mutual) and prints one
// line: the pairs, the seconds spent reading and matching (wall clock, and the process's
// processor time for the matching), the matches and the rate of descriptor multiply-adds
// (n1 * n2 * dimensions) in GMAC/s.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "keypoints/fast_reader.h"
#include "keypoints/matching.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "match_pairs: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: match_pairs DIR PAIRS_FILE\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::ifstream pairs_file(argv[2]);
    if (!pairs_file) return Fail(std::string(argv[2]) + ": cannot be read");
    std::vector<std::pair<std::string, std::string>> pairs;
    int line_number = 0;
    for (std::string line; std::getline(pairs_file, line);) {
        ++line_number;
        std::istringstream words(line.substr(0, line.find('#')));
        std::string a;
        std::string b;
        std::string extra;
        if (!(words >> a)) continue;
        if (!(words >> b) || (words >> extra))
            return Fail(std::string(argv[2]) + ":" + std::to_string(line_number) +
                        ": not a line 'NAME1 NAME2'");
        pairs.emplace_back(a, b);
    }

    std::map<std::string, keypoints::KeyFileParse> keys;
    const auto read_start = Clock::now();
    for (const auto& [a, b] : pairs) {
        for (const std::string& name : {a, b}) {
            if (keys.count(name) != 0) continue;
            const std::string path = dir + "/" + name + ".key";
            auto read = keypoints::ReadKeyFileStream(path.c_str());
            if (read.access != keypoints::KeyFileAccess::ok) return Fail(path + ": cannot be read");
            if (read.parse.status != keypoints::KeyFileStatus::ok)
                return Fail(path + ": " + keypoints::KeyFileStatusMessage(read.parse.status));
            keys.emplace(name, std::move(read.parse));
        }
    }
    const double read_s = Seconds(read_start);

    const keypoints::MatchOptions options{keypoints::DistanceRatio{3, 5}, false, 1};
    long long matches = 0;
    double macs = 0.0;
    const auto match_start = Clock::now();
    const std::clock_t match_cpu_start = std::clock();
    for (const auto& [a, b] : pairs) {
        const keypoints::KeyFileParse& k1 = keys.at(a);
        const keypoints::KeyFileParse& k2 = keys.at(b);
        if (k1.dimensions != k2.dimensions)
            return Fail(a + " and " + b + ": descriptors of different lengths");
        matches += static_cast<long long>(
            keypoints::MatchKeypoints(k1.keys, k2.keys, k1.dimensions, options).size());
        macs += static_cast<double>(k1.keys.size()) * static_cast<double>(k2.keys.size()) *
                k1.dimensions;
    }
    const double match_s = Seconds(match_start);
    const double match_cpu_s =
        static_cast<double>(std::clock() - match_cpu_start) / static_cast<double>(CLOCKS_PER_SEC);
    std::printf(
        "pairs %zu photographs %zu read_s %.3f match_s %.3f match_cpu_s %.3f matches %lld "
        "GMAC/s %.1f\n",
        pairs.size(), keys.size(), read_s, match_s, match_cpu_s, matches, 1e-9 * macs / match_s);
    return 0;
}
