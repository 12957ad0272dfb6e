// The camera model: pixel / image-plane conversions and the rotation matrix.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "camera/builtin_camera.h"
#include "relative/utils.h"

namespace relative {
namespace {

struct PixelCase {
    double i;
    double j;
    double x;
    double y;
};

class PixelToPlaneTest : public testing::TestWithParam<PixelCase> {};

TEST_P(PixelToPlaneTest, EveryCameraNumberGivesTheSamePlanePosition) {
    const PixelCase c = GetParam();
    for (const int num : {1, 2, 0, -1}) {
        double x = 99.0;
        double y = 99.0;
        ijTOxy(c.i, c.j, &x, &y, num);
        EXPECT_NEAR(x, c.x, 1e-15) << "camera " << num;
        EXPECT_NEAR(y, c.y, 1e-15) << "camera " << num;
    }
}

constexpr double S = 135135.1351;

INSTANTIATE_TEST_SUITE_P(
    Positions, PixelToPlaneTest,
    testing::Values(PixelCase{959.5, 511.5, 0.0, 0.0},  // principal point
                    PixelCase{0.0, 0.0, -959.5 / S,
                              511.5 / S},  // top left: about (-0.0071003, 0.0037851)
                    PixelCase{960.5, 511.5, 1.0 / S, 0.0},              // one column right
                    PixelCase{959.5, 512.5, 0.0, -1.0 / S},             // one row down: y falls
                    PixelCase{959.5 + S * 0.0132, 511.5, 0.0132, 0.0},  // focal length right
                    PixelCase{1919.0, 1023.0, 959.5 / S, -511.5 / S}));

TEST(CameraModelTest, PlaneToPixelUndoesPixelToPlane) {
    const double positions[][2] = {{0.0, 0.0},        {959.5, 511.5},   {1919.0, 1023.0},
                                   {1234.567, 89.01}, {-5000.0, -3e4},  {1e6, -2e6},
                                   {0.001, 1023.999}, {-0.25, 100000.0}};
    for (const auto& pos : positions) {
        for (const int num : {1, 2, 7}) {
            double x = 0.0;
            double y = 0.0;
            double i = 0.0;
            double j = 0.0;
            ijTOxy(pos[0], pos[1], &x, &y, num);
            xyTOij(x, y, &i, &j, num);
            const double tol = 1e-9 * (1.0 + std::abs(pos[0]) + std::abs(pos[1]));
            EXPECT_NEAR(i, pos[0], tol) << pos[0] << ", " << pos[1];
            EXPECT_NEAR(j, pos[1], tol) << pos[0] << ", " << pos[1];
        }
    }
}

TEST(CameraModelTest, PlaneOriginIsThePrincipalPoint) {
    double i = 0.0;
    double j = 0.0;
    xyTOij(0.0, 0.0, &i, &j, 2);
    EXPECT_DOUBLE_EQ(i, ro::kPrincipalColumnOther);
    EXPECT_DOUBLE_EQ(j, ro::kPrincipalRowOther);
    xyTOij(0.0132, 0.001, &i, &j, 1);
    EXPECT_NEAR(i, 959.5 + S * 0.0132, 1e-9);
    EXPECT_NEAR(j, 511.5 - S * 0.001, 1e-9);
}

void ExpectMatrixNear(const RotationMatrix& m, const double (&expected)[3][3], double tol) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(m[r][c], expected[r][c], tol) << r << "," << c;
    }
}

TEST(RotationTest, ZeroAnglesGiveTheIdentity) {
    RotationMatrix m;
    get3drotation(0.0, 0.0, 0.0, m);
    const double identity[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    ExpectMatrixNear(m, identity, 0.0);
}

TEST(RotationTest, SingleAxisRotations) {
    const double a = 0.3;
    RotationMatrix m;
    get3drotation(a, 0.0, 0.0, m);
    const double rx[3][3] = {
        {1, 0, 0}, {0, std::cos(a), -std::sin(a)}, {0, std::sin(a), std::cos(a)}};
    ExpectMatrixNear(m, rx, 1e-15);
    get3drotation(0.0, a, 0.0, m);
    const double ry[3][3] = {
        {std::cos(a), 0, std::sin(a)}, {0, 1, 0}, {-std::sin(a), 0, std::cos(a)}};
    ExpectMatrixNear(m, ry, 1e-15);
    get3drotation(0.0, 0.0, a, m);
    const double rz[3][3] = {
        {std::cos(a), -std::sin(a), 0}, {std::sin(a), std::cos(a), 0}, {0, 0, 1}};
    ExpectMatrixNear(m, rz, 1e-15);
}

TEST(RotationTest, SmallAnglesToEightPlaces) {
    RotationMatrix m;
    get3drotation(0.02, -0.03, 0.04, m);
    const double expected[3][3] = {{0.99875050, -0.03997134, -0.02999550},
                                   {0.03938195, 0.99902426, -0.01998967},
                                   {0.03076525, 0.01878341, 0.99935013}};
    ExpectMatrixNear(m, expected, 5e-9);
}

TEST(RotationTest, AlwaysOrthonormalWithDeterminantOne) {
    const double pi = std::numbers::pi;
    const double angles[][3] = {{0.02, -0.03, 0.04},
                                {0.0, pi / 2, 0.0},
                                {1.0, pi / 2, -2.0},
                                {-3.0, 2.5, 7.0},
                                {100.0, -50.0, 1e3}};
    for (const auto& a : angles) {
        RotationMatrix m;
        get3drotation(a[0], a[1], a[2], m);
        for (int r = 0; r < 3; ++r) {
            for (int s = 0; s < 3; ++s) {
                double dot = 0.0;
                for (int c = 0; c < 3; ++c) dot += m[r][c] * m[s][c];
                EXPECT_NEAR(dot, r == s ? 1.0 : 0.0, 1e-14);
            }
        }
        const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
        EXPECT_NEAR(det, 1.0, 1e-14);
    }
}

}  // namespace
}  // namespace relative
