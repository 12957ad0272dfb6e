// The two halves of the `relative` program: the command-line driver and the estimator.
#pragma once

#include "relative/utils.h"

// The whole run of `relative` for a command line; returns the process status: 0 after
// the results were written, 1 when writing them failed, -1 on a wrong number of
// arguments. Fatal errors end the process through FatalError with status 1.
int RelativeMain(int argc, char** argv);

// Matches the two keypoint lists, estimates the relative orientation of the second
// photograph from random samples of tie points and returns the base (dx = 1 sets the
// scale; dy, dz) and the rotation-angle differences (radians).
void GetRelative(const KeypointList& keys1, const KeypointList& keys2, int dims, double* dx,
                 double* dy, double* dz, double* dtheta, double* dphi, double* dkapa);
