// The coplanarity residual: the model function that the solver evaluates.
#include <cstddef>
#include <limits>

#include "camera/builtin_camera.h"
#include "relative/utils.h"

namespace {

struct Ray {
    double U;
    double V;
    double W;
};

// The image vector (x, y, -f) turned into the frame of camera 1 by the camera's attitude.
Ray RayThrough(const RotationMatrix& M, double x, double y) {
    return {M[0][0] * x + M[0][1] * y - M[0][2] * ro::kFocalLength,
            M[1][0] * x + M[1][1] * y - M[1][2] * ro::kFocalLength,
            M[2][0] * x + M[2][1] * y - M[2][2] * ro::kFocalLength};
}

}  // namespace

void fcoplanar(double* p, double* x, int /*m*/, int n, void* data) {
    if (n <= 0) return;
    const auto* pts = static_cast<const InfoSt*>(data);
    // Fewer rows than residuals is a caller's fault; answer with residuals that the solver
    // reports as a failure instead of reading past the rows.
    if (pts == nullptr || pts->tiepoints == nullptr ||
        pts->tiepoints->size() < static_cast<std::size_t>(n)) {
        for (int k = 0; k < n; ++k) x[k] = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    const double omega2 = p[2];
    const double phi2 = p[3];
    const double kapa2 = p[4];
    RotationMatrix M1;
    RotationMatrix M2;
    get3drotation(0.0, 0.0, 0.0, M1);
    get3drotation(omega2, phi2, kapa2, M2);

    const std::vector<std::array<double, 4>>& rows = *pts->tiepoints;
    for (int k = 0; k < n; ++k) {
        const std::array<double, 4>& row = rows[static_cast<std::size_t>(k)];
        double x1 = 0.0;
        double y1 = 0.0;
        double x2 = 0.0;
        double y2 = 0.0;
        ijTOxy(row[0], row[1], &x1, &y1, 1);
        ijTOxy(row[2], row[3], &x2, &y2, 2);
        const Ray r1 = RayThrough(M1, x1, y1);
        const Ray r2 = RayThrough(M2, x2, y2);
        // Determinant of the rows (1, Ey, Ez), ray 1, ray 2, expanded along the first row.
        x[k] = (r1.V * r2.W - r2.V * r1.W) + (r1.W * r2.U - r2.W * r1.U) * p[0] +
               (r2.V * r1.U - r1.V * r2.U) * p[1];
    }
}
