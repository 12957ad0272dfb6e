// A hand-built orientation result and run, with figures of the kind a real run gives,
// one non-finite value per kind of field, and three tie points of every status.
#pragma once

#include "pair_run/run_info.h"
#include "robust_orientation/result.h"

pair_run::RunInfo SampleRun();
ro::OrientationResult SampleOrientedResult();
// No orientation: the robust loop ran but found too few inliers.
ro::OrientationResult SampleRefusedResult();

// Degrees to radians.
double Rad(double degrees);
