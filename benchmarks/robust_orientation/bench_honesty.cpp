// Are the stated standard deviations honest? Orients many random synthetic scenes with
// clean matches and known truth and prints, per element, the standard deviation of the
// normalised errors z = (estimate - truth) / stated sigma (1 when honest; slightly above 1
// for small redundancy) and the share of |z| <= 3 (99.7 % for a normal distribution), with
// the mean NEES (5 expected), the mean sigma0 and the rate of false alarms of the w-test.
//
//   bench_honesty [scenes]     default 1000
#include <array>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "common/angles.h"
#include "testing/sigma_honesty.h"

namespace {

using common::kRadiansPerDegree;
constexpr std::array<const char*, 5> kNames = {"by", "bz", "omega", "phi", "kappa"};

void Run(int scenes, double kappa_max, const char* label) {
    test_support::HonestyRun run;
    run.scenes = scenes;
    run.points = 100;
    run.kappa_max_rad = kappa_max;
    run.truth_seed = 1000;
    run.scene_seed = 5000;
    const test_support::HonestyTally t = test_support::CheckHonesty(run);
    const double n = static_cast<double>(t.z.size());
    std::printf("%s: %d scenes of 100 clean tie points, sigma 0.5 px (%d not oriented)\n", label,
                scenes, static_cast<int>(t.failures.size()));
    std::printf("  element  std(z)   |z|<=3\n");
    for (int k = 0; k < 5; ++k) {
        std::printf("  %-7s  %.3f    %.2f %%\n", kNames[k], test_support::StdZ(t, k),
                    100.0 * test_support::CountWithin(t, k, 3.0) / n);
    }
    std::printf(
        "  mean NEES %.2f (5 expected), mean sigma0 %.3f px, w-test false alarms %.3f %%\n\n",
        t.nees_sum / n, t.sigma0_sum_px / n, 100.0 * static_cast<double>(t.snooped) / t.points);
}

}  // namespace

int main(int argc, char** argv) {
    const int scenes = argc > 1 && argv[1][0] != '-' ? std::atoi(argv[1]) : 1000;
    Run(scenes, 5 * kRadiansPerDegree, "aerial, kappa within 5 deg");
    Run(scenes, std::numbers::pi, "kappa anywhere in +-180 deg");
    return 0;
}
