// The attitude matrix of a camera from its three angles, as every program of the project
// builds it: M = Rx(omega) Ry(phi) Rz(kappa), rows of the matrix applied to column vectors,
// turning a direction given in the camera's frame into the model frame. Angles in radians.
#pragma once

#include <array>
#include <cmath>

namespace ro {

using AttitudeRows = std::array<std::array<double, 3>, 3>;

inline AttitudeRows AttitudeMatrixRows(double omega_rad, double phi_rad, double kappa_rad) {
    const double so = std::sin(omega_rad);
    const double co = std::cos(omega_rad);
    const double sp = std::sin(phi_rad);
    const double cp = std::cos(phi_rad);
    const double sk = std::sin(kappa_rad);
    const double ck = std::cos(kappa_rad);
    // Rx(omega) * Ry(phi) * Rz(kappa), multiplied out; the products keep this grouping so
    // that every program holds the same doubles.
    return {{{cp * ck, -cp * sk, sp},
             {co * sk + (so * sp) * ck, co * ck - (so * sp) * sk, -so * cp},
             {so * sk - (co * sp) * ck, so * ck + (co * sp) * sk, co * cp}}};
}

}  // namespace ro
