// The command-line driver of `relative`. All console text goes to standard error; the
// standard output stays empty.
#include <cstdio>
#include <new>

#include "common/angles.h"
#include "relative/pause.h"
#include "relative/relative.h"
#include "relative/utils.h"

namespace {

using common::kDegreesPerRadian;
using relative::Pause;

// The results block; false when any of it could not be written.
bool PrintResults(double dx, double dy, double dz, double dtheta, double dphi, double dkapa) {
    return std::fputs("\n\nResults for camera relative orientation:\n", stderr) >= 0 &&
           std::fputs("(remember dx sets the scale and angles are in degs)\n", stderr) >= 0 &&
           std::fprintf(stderr, "\tX2-X1:         %3.5f\n", dx) >= 0 &&
           std::fprintf(stderr, "\tY2-Y1:         %3.5f\n", dy) >= 0 &&
           std::fprintf(stderr, "\tZ2-Z1:         %3.5f\n", dz) >= 0 &&
           std::fprintf(stderr, "\tTHETA2-THETA1: %3.5f\n", dtheta * kDegreesPerRadian) >= 0 &&
           std::fprintf(stderr, "\tPHI2-PHI1:     %3.5f\n", dphi * kDegreesPerRadian) >= 0 &&
           std::fprintf(stderr, "\tKAPA2-KAPA1:   %3.5f\n\n", dkapa * kDegreesPerRadian) >= 0;
}

int Run(int argc, char** argv) {
    std::fputs("-------------------------------------------------------------\n", stderr);
    std::fputs("\nRunning relative with the following parameters:\n", stderr);
    for (int a = 1; a < argc; ++a) std::fprintf(stderr, "\t%s\n", argv[a]);
    if (argc <= 1) std::fputs("(none)\n", stderr);
    if (argc != 3) {
        std::fputs("\nError: Incorrect number of parameters\n", stderr);
        std::fputs("Usage: relative img1.key img2.key\n", stderr);
        std::fputs("Exiting program\n\n", stderr);
        return -1;
    }
    const char* file1 = argv[1];
    const char* file2 = argv[2];

    std::fputs("\nReading in keypoints from the files.........", stderr);
    int numfeatures1 = 0;
    int dimensions1 = 0;
    int numfeatures2 = 0;
    int dimensions2 = 0;
    const KeypointList keys1 = ReadKeyFile(file1, &numfeatures1, &dimensions1);
    const KeypointList keys2 = ReadKeyFile(file2, &numfeatures2, &dimensions2);
    std::fputs("done!\n", stderr);
    Pause(1);

    if (dimensions1 != dimensions2) {
        std::fprintf(stderr, "features in '%s' have '%d' dimensions\n", file1, dimensions1);
        std::fprintf(stderr, "features in '%s' have '%d' dimensions\n", file2, dimensions2);
        FatalError("Cannot match features with different dimensions.");
    }

    std::fputs("\nImage Properties:\n", stderr);
    std::fprintf(stderr, "\tKeypoint 1: '%s' has %d local features (%d dims)\n", file1,
                 numfeatures1, dimensions1);
    std::fprintf(stderr, "\tKeypoint 2: '%s' has %d local features (%d dims)\n", file2,
                 numfeatures2, dimensions2);
    Pause(2);

    std::fputs("\nMatching Properties:\n", stderr);
    std::fputs("\tchecking first AND second nearest neighbors\n", stderr);
    std::fprintf(stderr, "\tusing SIFT with threshold of %3.1f\n", relative::kRatio.Value());
    Pause(2);

    double dx = 0.0;
    double dy = 0.0;
    double dz = 0.0;
    double dtheta = 0.0;
    double dphi = 0.0;
    double dkapa = 0.0;
    GetRelative(keys1, keys2, dimensions1, &dx, &dy, &dz, &dtheta, &dphi, &dkapa);

    // The results are the program's answer: one that did not reach its reader is a
    // failure, not a success.
    return PrintResults(dx, dy, dz, dtheta, dphi, dkapa) ? 0 : 1;
}

}  // namespace

int RelativeMain(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        FatalError("Out of memory.");
    }
}
