// The camera, the conversions between the five elements and the computer-vision pose, and
// the residuals in pixels.
#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <cmath>
#include <numbers>

#include "camera/camera_model.h"
#include "common/angles.h"
#include "relative/utils.h"
#include "robust_orientation/elements.h"
#include "robust_orientation/observations.h"
#include "testing/orient_scene.h"
#include "two_view/sampson.h"

namespace {

using common::kRadiansPerDegree;

TEST(CameraTest, BuiltInCameraConvertsExactlyAsRelativeDoes) {
    const ro::Camera camera = ro::BuiltInCamera();
    for (const auto& [i, j] :
         {std::pair{0.0, 0.0}, {959.5, 511.5}, {1919.0, 1023.0}, {-250.25, 3000.5}}) {
        double x = 0.0;
        double y = 0.0;
        ijTOxy(i, j, &x, &y, 1);
        const ro::ImagePoint p = camera.ToImagePlane(i, j);
        EXPECT_EQ(p.x_m, x);
        EXPECT_EQ(p.y_m, y);
        const ro::Camera::PixelPoint back = camera.ToPixel(p);
        EXPECT_NEAR(back.column_px, i, 1e-9);
        EXPECT_NEAR(back.row_px, j, 1e-9);
    }
}

struct PoseCase {
    const char* name;
    ro::Elements elements;
};

class ElementsTest : public testing::TestWithParam<PoseCase> {};

// Elements -> pose -> elements, and the pose's essential matrix agrees with the
// coplanarity condition of the elements on a projected point.
TEST_P(ElementsTest, RoundTripThroughTheComputerVisionPose) {
    const ro::Elements& e = GetParam().elements;
    const ro::CvPose pose = ro::CvPoseFromElements(e);
    EXPECT_NEAR((pose.R * pose.R.transpose() - Eigen::Matrix3d::Identity()).norm(), 0.0, 1e-14);
    EXPECT_NEAR(pose.R.determinant(), 1.0, 1e-14);
    EXPECT_NEAR(pose.t.norm(), 1.0, 1e-14);
    Eigen::Vector3d base;
    const ro::Elements back = ro::ElementsFromCvPose(pose, &base);
    EXPECT_NEAR(back.by, e.by, 1e-12);
    EXPECT_NEAR(back.bz, e.bz, 1e-12);
    EXPECT_NEAR(std::remainder(back.omega_rad - e.omega_rad, 2 * std::numbers::pi), 0.0, 1e-12);
    EXPECT_NEAR(back.phi_rad, e.phi_rad, 1e-12);
    EXPECT_NEAR(std::remainder(back.kappa_rad - e.kappa_rad, 2 * std::numbers::pi), 0.0, 1e-12);
    EXPECT_NEAR((base - ro::BaseVector(e).normalized()).norm(), 0.0, 1e-14);
    // A point of a synthetic scene: zero residual under the elements, and the camera-2 point
    // of the computer-vision pose is the model point seen from camera 2.
    scene::SceneOptions options = scene::OrientSceneOptions(5, 1);
    options.noise_px = 0.0;
    const scene::OrientScene s = scene::MakeOrientScene(e, options);
    ASSERT_EQ(s.tie_points.size(), 5u);
    const ro::CoplanarityModel model(s.camera1, s.camera2);
    const Eigen::Matrix3d M = ro::AttitudeMatrix(e.omega_rad, e.phi_rad, e.kappa_rad);
    for (const ro::Observation& o : ro::ToObservations(s.tie_points, s.camera1, s.camera2)) {
        EXPECT_NEAR(model.SampsonPx(M, ro::BaseVector(e), o), 0.0, 1e-8);
        const Eigen::Vector3d u1 = model.NormalisedRay1(o);
        const Eigen::Vector3d u2 = model.NormalisedRay2(o);
        const Eigen::Matrix3d tx = (Eigen::Matrix3d() << 0, -pose.t.z(), pose.t.y(), pose.t.z(), 0,
                                    -pose.t.x(), -pose.t.y(), pose.t.x(), 0)
                                       .finished();
        EXPECT_NEAR(u2.dot(tx * pose.R * u1), 0.0, 1e-12);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Poses, ElementsTest,
    testing::Values(PoseCase{"normal_case", {0.0, 0.0, 0.0, 0.0, 0.0}},
                    PoseCase{"aerial", {0.03, -0.02, 0.02, -0.03, 0.7}},
                    PoseCase{"kappa_180", {0.05, 0.01, -0.01, 0.02, std::numbers::pi}},
                    PoseCase{"kappa_minus_170", {-0.1, 0.1, 0.05, -0.05, -170 * kRadiansPerDegree}},
                    PoseCase{"convergent",
                             {0.08, -0.05, 20 * kRadiansPerDegree, -20 * kRadiansPerDegree, 0.3}}),
    [](const testing::TestParamInfo<PoseCase>& pose) { return pose.param.name; });

TEST(ElementsTest, AttitudeMatrixIsTheProductOfTheElementaryRotations) {
    const double omega = 0.3;
    const double phi = -0.7;
    const double kappa = 2.9;
    const Eigen::Matrix3d product = (Eigen::AngleAxisd(omega, Eigen::Vector3d::UnitX()) *
                                     Eigen::AngleAxisd(phi, Eigen::Vector3d::UnitY()) *
                                     Eigen::AngleAxisd(kappa, Eigen::Vector3d::UnitZ()))
                                        .toRotationMatrix();
    EXPECT_NEAR((ro::AttitudeMatrix(omega, phi, kappa) - product).norm(), 0.0, 1e-15);
    // At phi = 90 degrees only omega + kappa is defined; the angles still rebuild the matrix.
    const Eigen::Matrix3d locked = ro::AttitudeMatrix(0.4, std::numbers::pi / 2, 0.3);
    const ro::Angles a = ro::AnglesFromAttitude(locked);
    EXPECT_NEAR((ro::AttitudeMatrix(a.omega_rad, a.phi_rad, a.kappa_rad) - locked).norm(), 0.0,
                1e-12);
}

TEST(ElementsTest, RotationDistanceIsAccurateForSmallAngles) {
    const Eigen::Matrix3d a = ro::AttitudeMatrix(0.1, 0.2, 0.3);
    const Eigen::Matrix3d b =
        a * Eigen::AngleAxisd(1e-9, Eigen::Vector3d(1, 2, 3).normalized()).toRotationMatrix();
    EXPECT_NEAR(ro::RotationDistance(a, b), 1e-9, 1e-15);
    EXPECT_NEAR(ro::RotationDistance(a, a), 0.0, 1e-16);
}

// The Sampson residual of the elements is the Sampson error of the essential matrix of
// their pose, in pixels, for cameras that differ.
TEST(ResidualTest, ElementsResidualEqualsTheEssentialMatrixSampsonError) {
    ro::Camera camera2 = ro::BuiltInCamera();
    camera2.focal_length_m = 0.02;
    camera2.pixels_per_metre = 2e5;
    camera2.in_plane_angle_rad = 0.2;
    const ro::CoplanarityModel model(ro::BuiltInCamera(), camera2);
    const ro::Elements e{0.05, -0.03, 0.1, -0.05, 0.4};
    const Eigen::Matrix3d M = ro::AttitudeMatrix(e.omega_rad, e.phi_rad, e.kappa_rad);
    const ro::CvPose pose = ro::CvPoseFromElements(e);
    const Eigen::Matrix3d tx = (Eigen::Matrix3d() << 0, -pose.t.z(), pose.t.y(), pose.t.z(), 0,
                                -pose.t.x(), -pose.t.y(), pose.t.x(), 0)
                                   .finished();
    const Eigen::Matrix3d E = tx * pose.R;
    for (const ro::Observation& o : {ro::Observation{0.001, 0.002, -0.003, 0.0015},
                                     ro::Observation{-0.006, -0.003, 0.004, 0.002}}) {
        const double d = model.SampsonPx(M, ro::BaseVector(e), o);
        const double d2 =
            two_view::SampsonErrorSquared(E, model.NormalisedRay1(o), model.NormalisedRay2(o),
                                          model.FocalLength1Px(), model.FocalLength2Px());
        EXPECT_NEAR(d * d, d2, 1e-9 * d2);
    }
}

// In the normal case d = p_y / sqrt(2), and the y-parallax is y2 - y1 in pixels.
TEST(ResidualTest, NormalCaseResidualIsTheYParallaxOverRootTwo) {
    const ro::Camera camera = ro::BuiltInCamera();
    const ro::CoplanarityModel model(camera, camera);
    const ro::ImagePoint p1 = camera.ToImagePlane(1200.0, 300.0);
    const ro::ImagePoint p2 = camera.ToImagePlane(700.0, 303.0);
    const ro::Observation o{p1.x_m, p1.y_m, p2.x_m, p2.y_m};
    const Eigen::Matrix3d I = Eigen::Matrix3d::Identity();
    const double py = model.YParallaxPx(I, Eigen::Vector3d::UnitX(), o);
    EXPECT_NEAR(py, -3.0, 1e-9);  // three rows down is three pixels of y down
    EXPECT_NEAR(model.SampsonPx(I, Eigen::Vector3d::UnitX(), o), py / std::sqrt(2.0), 1e-9);
}

}  // namespace
