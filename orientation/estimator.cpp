// The estimator of `relative`: tie points from the matcher, then the sampled solves.
#include <cstdio>
#include <ctime>

#include "pause.h"
#include "relative.h"
#include "utils.h"

void GetRelative(const KeypointList& keys1, const KeypointList& keys2, int dims, double* dx,
                 double* dy, double* dz, double* dtheta, double* dphi, double* dkapa) {
    std::fputs("\n\nCalled 'GetRelative'\n--------------------\n", stderr);
    std::fputs("\n\tInitializing variables for LM optimization.........", stderr);
    std::fputs("done!\n", stderr);
    Pause(1);

    std::fputs("\n\tFinding tiepoints across images....................", stderr);
    const std::time_t start = std::time(nullptr);
    int numMatches = 0;
    const MatchArray matches = FindMatches(keys1, keys2, dims, &numMatches);
    const std::time_t finish = std::time(nullptr);
    const int total = static_cast<int>(std::difftime(finish, start));
    const int secs = total % 60;
    const int mins = (total - secs) / 60;
    std::fprintf(stderr, "done!\n\t\tfound %d tiepoints", numMatches);
    std::fprintf(stderr, "   (matching took %d mins and %d secs)\n", mins, secs);
    if (numMatches < 20) {
        FatalError("Not enough tiepoints: found %d, need at least 20.", numMatches);
    }
    Pause(1);
    // The sampled estimation is not built yet.
    *dx = 1.0;
    *dy = *dz = *dtheta = *dphi = *dkapa = 0.0;
}
