// siftkey: SIFT keypoints of a photograph, written in the keypoint text format.
//
//   siftkey [options] IMAGE OUT.key
//   siftkey [options] -o DIR PHOTO...
//
// Messages go to standard error, help and version to standard output. Exit status 0 when
// the keypoint file was written, 1 when the image or the file failed, 2 on a wrong call.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <opencv2/core/utils/logger.hpp>

#include "siftkey/batch.h"
#include "siftkey/options.h"
#include "siftkey/run.h"

int main(int argc, char** argv) {
    // A file size limit then makes write() fail with EFBIG, which is reported, instead
    // of ending the process before the temporary file is cleaned up.
    std::signal(SIGXFSZ, SIG_IGN);
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);

    const siftkey::ParsedCommandLine command = siftkey::ParseCommandLine(argc, argv);
    std::cout << command.out << std::flush;
    std::cerr << command.err << std::flush;
    if (!command.run) return command.exit_status;
    if (!command.options.output_dir.empty()) {
        return siftkey::RunSiftkeyBatch(command.options, stderr);
    }
    return siftkey::RunSiftkey(command.options, std::cerr);
}
