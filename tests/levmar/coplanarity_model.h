// The coplanarity condition of relative orientation, written here independently of the
// orientation library so that the solver's tests see exactly the model the reference results
// were produced with. Parameters p = [Ey, Ez, omega2, phi2, kappa2]; the base is (1, Ey, Ez).
#pragma once

#include <array>
#include <vector>

namespace lmtest {

// One tie point: pixel column and row in image 1, then in image 2.
using TiePoint = std::array<double, 4>;

struct CoplanarityData {
    std::vector<TiePoint> rows;
};

// Model function with levmar's callback signature; adata points to a CoplanarityData and
// hx receives one residual per tie point (n = rows.size()). Every expression is evaluated
// left to right as written.
void CoplanarityResiduals(double* p, double* hx, int m, int n, void* adata);

// Projects the 3-D point (X, Y, Z) (camera-1 frame) into both images for the orientation p.
TiePoint ProjectPoint(const std::array<double, 5>& p, double X, double Y, double Z);

}  // namespace lmtest
