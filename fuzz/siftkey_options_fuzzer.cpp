// siftkey's command line on arbitrary arguments: the bytes split at NUL into at most 12
// arguments after the program name. Besides the sanitizers' checks: a call either runs
// with options inside their documented ranges, or ends with status 0 and text on
// standard output (help, version) or status 2 and a pointer to --help on standard error.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "common/thread_pool.h"
#include "fuzz/fuzz_check.h"
#include "siftkey/options.h"

namespace {

constexpr std::size_t kMaxArguments = 12;

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args = {"siftkey"};
    std::string current;
    for (std::size_t i = 0; i < size && args.size() <= kMaxArguments; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (args.size() <= kMaxArguments) args.push_back(current);
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());

    const siftkey::ParsedCommandLine parsed =
        siftkey::ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    if (parsed.run) {
        const siftkey::SiftkeyOptions& o = parsed.options;
        FUZZ_CHECK(parsed.out.empty() && parsed.err.empty(), "a run prints nothing yet");
        FUZZ_CHECK(o.detector.max_keypoints >= 0 && o.detector.max_keypoints <= (1 << 30),
                   "--max in range");
        FUZZ_CHECK(o.threads >= 0 && o.threads <= common::kMaxThreads, "--threads in range");
        const bool single = !o.image_path.empty() && !o.key_path.empty();
        const bool batch = !o.output_dir.empty() && !o.photographs.empty();
        FUZZ_CHECK(o.max_pixels >= 1 && single != batch,
                   "a pixel limit, and both file names or a folder and photographs");
        for (const std::string& photograph : o.photographs) {
            FUZZ_CHECK(!siftkey::OutputName(photograph).empty(), "every photograph names a file");
        }
        FUZZ_CHECK(
            std::isfinite(o.detector.contrast_threshold) && o.detector.contrast_threshold >= 0.0,
            "contrast threshold finite and not negative");
        FUZZ_CHECK(std::isfinite(o.detector.edge_threshold) && o.detector.edge_threshold >= 1.0,
                   "edge threshold finite and at least 1");
    } else if (parsed.exit_status == 0) {
        FUZZ_CHECK(!parsed.out.empty() && parsed.err.empty(), "help or version on stdout");
    } else {
        FUZZ_CHECK(parsed.exit_status == siftkey::kUsageStatus, "a wrong call gets status 2");
        FUZZ_CHECK(parsed.out.empty(), "nothing on stdout for a wrong call");
        FUZZ_CHECK(parsed.err.rfind("siftkey: ", 0) == 0 &&
                       EndsWith(parsed.err, "Try 'siftkey --help' for more information.\n"),
                   "the complaint and the pointer to --help");
    }
    return 0;
}
