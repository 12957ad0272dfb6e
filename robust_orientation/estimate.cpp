// The orientation pipeline (being built: for now it refuses every input).
#include "estimate.h"

#include <cmath>

namespace ro {

double EffectiveThresholdPx(const EstimationOptions& options) {
    return options.threshold_px > 0.0 ? options.threshold_px : 3.0 * options.sigma_px;
}

std::string CheckOptions(const EstimationOptions& options) {
    if (!(options.sigma_px > 0.0) || !std::isfinite(options.sigma_px)) {
        return "the a-priori sigma must be a positive number of pixels";
    }
    if (!(options.threshold_px >= 0.0) || !std::isfinite(options.threshold_px)) {
        return "the threshold must be a positive number of pixels";
    }
    if (!(options.confidence > 0.0 && options.confidence < 1.0)) {
        return "the confidence must lie strictly between 0 and 1";
    }
    if (options.min_iterations < 1 || options.max_iterations < options.min_iterations) {
        return "the iteration limits must satisfy 1 <= minimum <= maximum";
    }
    if (!(options.critical_w > 0.0) || !std::isfinite(options.critical_w)) {
        return "the critical value of the w-test must be positive";
    }
    return {};
}

OrientationResult EstimateOrientation(std::span<const TiePoint> tie_points, const Camera& /*camera1*/,
                                      const Camera& /*camera2*/, const EstimationOptions& /*options*/) {
    OrientationResult result;
    result.matches = static_cast<int>(tie_points.size());
    result.outcome = Outcome::too_few_matches;
    result.reason = "the estimation is not built yet";
    return result;
}

}  // namespace ro
