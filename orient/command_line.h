// The command line of `orient`, parsed GNU-style:
//
//   orient [OPTIONS] img1.key img2.key
//   orient [OPTIONS] --tie-points FILE.csv
//
// Exactly one of the two inputs: two keypoint files, matched here, or tie points matched
// elsewhere (then --ratio and --mutual, which only tune the matching, are refused).
// Numbers are checked here (whole numbers, finite decimals, the distance ratio) and empty
// values refused; the estimation settings are checked with ro::CheckOptions.
#pragma once

#include <string>

#include "keypoints/matching.h"
#include "robust_orientation/estimate.h"

namespace orient {

struct OrientOptions {
    std::string keys1_file;
    std::string keys2_file;
    std::string tie_points_file;     // non-empty: tie points instead of the key files
    std::string camera1_file;        // empty: the built-in camera
    std::string camera2_file;        // empty: camera 2 is camera 1
    keypoints::DistanceRatio ratio;  // 0.6
    bool mutual = false;
    int threads = 1;
    ro::EstimationOptions estimation;
    std::string json_file;    // empty: no JSON; "-": standard output
    std::string points_file;  // empty: no CSV; "-": standard output
    std::string plot_file;    // empty: no plot; "-": standard output
    std::string image1_file;  // photograph 1 under the plot; empty: its frame only
    bool quiet = false;       // no text report on standard output
    bool force = false;       // replace an existing output that holds another kind of content
};

// What the command line asks for: a run with options, or an immediate exit with a text
// for standard output (--help, --version) or standard error (wrong usage, status 2).
struct CommandLine {
    bool run = false;
    int status = 0;
    std::string out;
    std::string err;
    OrientOptions options;
};

// Parses argv[1..argc-1]. `default_threads` is the thread count without --threads.
CommandLine ParseCommandLine(int argc, const char* const* argv, int default_threads);

// The thread count a run uses by default: the hardware's, at least 1, at most
// common::kMaxThreads (the most --threads accepts).
int DefaultThreads();

}  // namespace orient
