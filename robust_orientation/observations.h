// Tie points on the image planes, and the residuals of the coplanarity condition measured
// in pixels.
//
// The coplanarity condition of a tie point with rays v1 = (x1, y1, -f1) and v2 = (x2, y2, -f2)
// is F = det[B; v1; M v2] = v2^T G v1 = 0 with G = M^T [B]x. Its Sampson normalisation
// d = F / |dF/d(i1, j1, i2, j2)| (two_view/sampson.h) divides by the gradient with respect to
// the four pixel coordinates, so d is the first-order distance of the observed positions
// from the nearest positions that satisfy the condition, in pixels: with isotropic image
// noise sigma, each d has variance sigma^2. In the normal case (M = I, B = (1, 0, 0))
// d = p_y / sqrt(2), p_y the y-parallax.
//
// Where a camera's pixel-to-plane map is not a scaled rotation (distortion, non-square
// pixels), each tie point carries the metric W = J J^T of each photograph, J the derivative
// of its image-plane position by its measured pixel position, and the normalisation uses
// them, so that d stays in measured pixels. When both cameras are plain it uses their
// pixels per metre, as it always has.
#pragma once

#include <Eigen/Core>
#include <span>
#include <vector>

#include "camera/camera_model.h"
#include "robust_orientation/tie_points.h"
#include "two_view/sampson.h"

namespace ro {

// Image-plane coordinates of one tie point (metres, y up), with the metrics of its two
// positions (square metres per square pixel; used only when a camera is not plain).
struct Observation {
    double x1_m = 0.0;
    double y1_m = 0.0;
    double x2_m = 0.0;
    double y2_m = 0.0;
    two_view::SampsonMetric metric1{};
    two_view::SampsonMetric metric2{};
    bool IsFinite() const;
};

// The metric J J^T of a pixel-to-plane derivative J.
two_view::SampsonMetric MetricOf(const Camera::PlaneJacobian& j);

// The image-plane coordinates of every tie point, with their metrics.
std::vector<Observation> ToObservations(std::span<const TiePoint> tie_points, const Camera& camera1,
                                        const Camera& camera2);

// The matrix G = M^T [B]x of the coplanarity condition F = v2^T G v1 for the attitude M of
// camera 2 and the base B (any length and sign: F changes sign with B).
Eigen::Matrix3d CoplanarityMatrix(const Eigen::Matrix3d& M, const Eigen::Vector3d& B);

// The model of both photographs: focal lengths and pixel scales of the two cameras.
class CoplanarityModel {
  public:
    CoplanarityModel(const Camera& camera1, const Camera& camera2);

    // The Sampson-normalised coplanarity residual d in pixels under the condition matrix G.
    double SampsonPx(const Eigen::Matrix3d& G, const Observation& o) const;
    double SampsonPx(const Eigen::Matrix3d& M, const Eigen::Vector3d& B,
                     const Observation& o) const {
        return SampsonPx(CoplanarityMatrix(M, B), o);
    }

    // The same residual with its derivative by G (two_view::SampsonGradient, on the rays
    // Ray1 and Ray2).
    double SampsonPxWithGradient(const Eigen::Matrix3d& G, const Observation& o,
                                 two_view::SampsonGradient* gradient) const {
        if (metric_) {
            return two_view::SampsonErrorWithGradient(G, Ray1(o), Ray2(o), o.metric1, o.metric2,
                                                      gradient);
        }
        return two_view::SampsonErrorWithGradient(G, Ray1(o), Ray2(o), scale1_, scale2_, gradient);
    }

    // True when the residuals use the observations' metrics (a camera is not plain).
    bool UsesMetrics() const { return metric_; }

    // The metrics of a tie point's two positions for the normalised rays (x / f, -y / f, 1)
    // of NormalisedRay1 and NormalisedRay2: per square pixel.
    two_view::SampsonMetric NormalisedMetric1(const Observation& o) const;
    two_view::SampsonMetric NormalisedMetric2(const Observation& o) const;

    // The y-parallax in pixels of photograph 1 (its column pixels, on the undistorted
    // image plane): both rays turned into the frame whose x axis
    // is the base and whose z axis lies in the plane of the base and camera 1's z axis,
    // projected on the image plane at distance f1; the difference of their y coordinates,
    // photograph 2's minus photograph 1's. In the normal case it is y2 - y1.
    double YParallaxPx(const Eigen::Matrix3d& M, const Eigen::Vector3d& B,
                       const Observation& o) const;

    // The image rays (x, y, -f) of a tie point, metres.
    Eigen::Vector3d Ray1(const Observation& o) const { return {o.x1_m, o.y1_m, -f1_m_}; }
    Eigen::Vector3d Ray2(const Observation& o) const { return {o.x2_m, o.y2_m, -f2_m_}; }

    // Normalised computer-vision coordinates (x / f, -y / f, 1) of a tie point's two rays.
    Eigen::Vector3d NormalisedRay1(const Observation& o) const;
    Eigen::Vector3d NormalisedRay2(const Observation& o) const;

    double FocalLength1Px() const { return f1_m_ * scale1_; }
    double FocalLength2Px() const { return f2_m_ * scale2_; }

  private:
    double f1_m_;
    double f2_m_;
    double scale1_;  // pixels per metre
    double scale2_;
    bool metric_;
};

}  // namespace ro
