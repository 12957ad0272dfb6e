// The coplanarity condition of relative orientation as the solver's reference results were
// produced with it, written independently of the orientation library: the solver's tests
// and benchmark compare against those results bit for bit, so this file is built without
// floating-point contraction and evaluates every expression left to right as written.
// Parameters p = [Ey, Ez, omega2, phi2, kappa2]; the base is (1, Ey, Ez).
#pragma once

#include <array>
#include <vector>

#include "testing/scene.h"

namespace lmtest {

struct CoplanarityData {
    std::vector<scene::TiePoint> rows;
};

// Model function with levmar's callback signature; adata points to a CoplanarityData and
// hx receives one residual per tie point (n = rows.size()).
void CoplanarityResiduals(double* p, double* hx, int m, int n, void* adata);

// The camera of the model (the default built-in camera), for scenes that it must fit.
scene::SceneCamera ReferenceCamera();

}  // namespace lmtest
