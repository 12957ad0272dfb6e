// One pair from Python: key files, matching, cameras, orientation from keypoints or from
// tie points matched elsewhere, and the result object.
#pragma once

#include <pybind11/pybind11.h>

namespace relative_orientation_python {

void BindPair(pybind11::module_& module);

}  // namespace relative_orientation_python
