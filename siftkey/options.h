// The command line of siftkey:
//
//   siftkey [--max N] [--max-pixels N] [--max-size PIXELS] [--contrast-threshold X]
//           [--edge-threshold R] [--upright] [--threads N] [--camera OUT.cam] [--force]
//           IMAGE OUT.key
//   siftkey [the same options] [--camera] [--quiet] -o DIR PHOTO...
//   siftkey --help | --version
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "siftkey/detector_options.h"
#include "siftkey/pixel_limit.h"

namespace siftkey {

struct SiftkeyOptions {
    std::string image_path;
    std::string key_path;
    std::string camera_path;  // where to write the camera of the EXIF data; empty: nowhere
    DetectorOptions detector;
    int threads = 0;     // worker threads of the detector; 0: as many as the machine has
    bool force = false;  // replace an existing output that holds something else
    std::uint64_t max_pixels = kDefaultMaxPixels;  // larger images are refused
    std::uint64_t max_side = kDefaultMaxSide;      // detect on at most this long side; 0: all
    bool quiet = false;  // no progress display and no line per success, only failures

    // Many photographs at once (-o DIR): each PHOTO gives DIR/NAME.key (NAME: its file name
    // without folder and extension), and with camera_beside DIR/NAME.cam; `threads` then
    // counts the photographs detected at once. image_path and key_path stay empty.
    std::string output_dir;
    std::vector<std::string> photographs;
    bool camera_beside = false;
};

// The name of the key and camera files of `photograph` in -o mode: its file name without
// folder and extension ("a/b/IMG_1.jpg" gives "IMG_1"); empty when it has no file name.
std::string OutputName(const std::string& photograph);

// Exit status of a wrong command line.
inline constexpr int kUsageStatus = 2;

struct ParsedCommandLine {
    bool run = false;     // true: run with `options`; false: exit with `exit_status`
    int exit_status = 0;  // 0 after --help or --version, kUsageStatus on a wrong call
    std::string out;      // text for standard output (help, version)
    std::string err;      // text for standard error (what is wrong, and a pointer to --help)
    SiftkeyOptions options;
};

// Parses the arguments (argv[0] is the program name). Never throws on bad arguments.
ParsedCommandLine ParseCommandLine(int argc, const char* const* argv);

}  // namespace siftkey
