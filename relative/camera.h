// The camera model beyond its fixed functions (ijTOxy, xyTOij, get3drotation in utils.h):
// the type of a rotation matrix. Conventions and the built-in camera: camera_constants.h
// and docs/conventions.md.
#pragma once

#include <array>

// 3 x 3 rotation matrix, val[r][c] is row r, column c; applied to column vectors.
using RotationMatrix = std::array<std::array<double, 3>, 3>;
