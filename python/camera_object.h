// The Python class Camera: a camera of a camera file, of keyword values (the same keys,
// checked by the same parser), or the built-in one, with the file it came from.
#pragma once

#include <pybind11/pybind11.h>

#include "pair_run/run_info.h"

namespace relative_orientation_python {

void BindCamera(pybind11::module_& module);

// The camera an orient() argument names: None (the built-in camera), a Camera, or the path
// of a camera file (read as Camera(path) reads it).
pair_run::CameraUse CameraArgument(const pybind11::handle& camera);

}  // namespace relative_orientation_python
