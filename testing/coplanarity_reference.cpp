#include "testing/coplanarity_reference.h"

#include <cmath>

namespace lmtest {
namespace {

constexpr double kPixelsPerMetre = 135135.1351;
constexpr double kPrincipalI = 959.5;
constexpr double kPrincipalJ = 511.5;
constexpr double kFocal = 0.0132;

using Matrix3 = std::array<std::array<double, 3>, 3>;

// M = Rx(omega) Ry(phi) Rz(kappa).
Matrix3 Rotation(double omega, double phi, double kappa) {
    const double sA = std::sin(omega), cA = std::cos(omega);
    const double sB = std::sin(phi), cB = std::cos(phi);
    const double sC = std::sin(kappa), cC = std::cos(kappa);
    return {{{cB * cC, -cB * sC, sB},
             {cA * sC + sA * sB * cC, cA * cC - sA * sB * sC, -sA * cB},
             {sA * sC - cA * sB * cC, sA * cC + cA * sB * sC, cA * cB}}};
}

}  // namespace

void CoplanarityResiduals(double* p, double* hx, int /*m*/, int n, void* adata) {
    const auto& data = *static_cast<const CoplanarityData*>(adata);
    const double ey = p[0];
    const double ez = p[1];
    const Matrix3 M = Rotation(p[2], p[3], p[4]);
    for (int k = 0; k < n; ++k) {
        const scene::TiePoint& row = data.rows[k];
        const double x1 = (row[0] - kPrincipalI) / kPixelsPerMetre;
        const double y1 = (kPrincipalJ - row[1]) / kPixelsPerMetre;
        const double x2 = (row[2] - kPrincipalI) / kPixelsPerMetre;
        const double y2 = (kPrincipalJ - row[3]) / kPixelsPerMetre;
        const double U1 = x1, V1 = y1, W1 = -kFocal;
        const double U2 = M[0][0] * x2 + M[0][1] * y2 + M[0][2] * (-kFocal);
        const double V2 = M[1][0] * x2 + M[1][1] * y2 + M[1][2] * (-kFocal);
        const double W2 = M[2][0] * x2 + M[2][1] * y2 + M[2][2] * (-kFocal);
        hx[k] = (V1 * W2 - V2 * W1) + (W1 * U2 - W2 * U1) * ey + (V2 * U1 - V1 * U2) * ez;
    }
}

scene::SceneCamera ReferenceCamera() {
    scene::SceneCamera camera;
    camera.pixels_per_metre = kPixelsPerMetre;
    camera.principal_i = kPrincipalI;
    camera.principal_j = kPrincipalJ;
    camera.theta = 0.0;
    camera.focal_length = kFocal;
    camera.columns = 2 * kPrincipalI + 1;
    camera.rows = 2 * kPrincipalJ + 1;
    return camera;
}

}  // namespace lmtest
