// The Python class Result: one pair's orientation as orient finds it, with the run
// information its JSON document needs, so that to_json() gives orient --json's bytes.
#pragma once

#include <pybind11/pybind11.h>

#include <vector>

#include "pair_run/run_info.h"
#include "robust_orientation/result.h"
#include "robust_orientation/tie_points.h"

namespace relative_orientation_python {

struct PairResult {
    ro::OrientationResult result;
    pair_run::RunInfo run;
    std::vector<ro::TiePoint> tie_points;  // in the order of result.points
};

void BindResult(pybind11::module_& module);

}  // namespace relative_orientation_python
