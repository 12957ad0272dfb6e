// Stable codes of the result's enumerations, as reports and JSON print them.
#include "robust_orientation/result.h"

#include "common/angles.h"

namespace ro {

const char* OutcomeCode(Outcome outcome) {
    switch (outcome) {
        case Outcome::oriented:
            return "oriented";
        case Outcome::too_few_matches:
            return "too_few_matches";
        case Outcome::no_model:
            return "no_model";
        case Outcome::too_few_inliers:
            return "too_few_inliers";
        case Outcome::no_parallax:
            return "no_parallax";
        case Outcome::adjustment_failed:
            return "adjustment_failed";
        case Outcome::invalid_options:
            return "invalid_options";
        case Outcome::invalid_camera:
            return "invalid_camera";
        case Outcome::ambiguous:
            return "ambiguous";
    }
    return "unknown";
}

const char* ConfigurationCode(Configuration configuration) {
    switch (configuration) {
        case Configuration::general:
            return "general";
        case Configuration::planar:
            return "planar";
        case Configuration::rotation_only:
            return "rotation_only";
        case Configuration::forward_motion:
            return "forward_motion";
    }
    return "unknown";
}

const char* PointStatusCode(PointStatus status) {
    switch (status) {
        case PointStatus::inlier:
            return "inlier";
        case PointStatus::ransac_outlier:
            return "ransac_outlier";
        case PointStatus::snooped:
            return "snooped";
    }
    return "unknown";
}

Matrix5d CovarianceInDegrees(const Matrix5d& covariance_rad) {
    Eigen::Matrix<double, 5, 1> scale;
    scale << 1.0, 1.0, common::kDegreesPerRadian, common::kDegreesPerRadian,
        common::kDegreesPerRadian;
    return scale.asDiagonal() * covariance_rad * scale.asDiagonal();
}

}  // namespace ro
