// The robust loop of every model: LO-RANSAC over an estimator.
//
// Each iteration draws a minimal sample of distinct data points from the loop's own
// generator (seeded with the seed alone), solves it for up to a few models, and scores every
// model on all data with the truncated (MSAC) score: a point adds its squared error when
// that is below the squared threshold and it is an inlier of the model, the squared
// threshold otherwise. A model that beats the best score or the best inlier count so far is
// refined by the estimator's local optimisation (when it has one), and the better of the two
// is kept. The loop stops when an all-inlier sample has been drawn with the stated confidence
// (the exact probability of drawing the sample's points from the inliers without
// replacement), within the minimum and maximum number of iterations.
//
// That rule trusts the best model's inlier count, which is all it knows; where the data
// are weak (few inliers, a near-planar scene, a competing model scoring close to the best)
// a hundred samples may find a different best model for every seed. So a caller may pass a
// check that is asked once, when the loop would first stop before
// `careful_min_iterations`: when it says the data are weak, the loop goes on to that floor
// (within the maximum) and stops there or later by the same rule.
//
// An estimator provides:
//
//   using Model = ...;                         // what a sample solves for
//   static constexpr int kSampleSize;          // points of a minimal sample
//   std::size_t Size() const;                  // data points
//   // The models of one sample, written to *models (cleared first).
//   void Solve(const std::array<std::uint32_t, kSampleSize>& sample,
//              std::vector<Model>* models) const;
//   // The MSAC score of a model; +infinity as soon as it exceeds `bound`.
//   Scored<Model> Score(const Model& model, double bound) const;
//   // Optional: local optimisation, replacing *scored when it finds a better model.
//   void Refine(Scored<Model>* scored) const;
//   // Optional: whether two models are the same one for keeping runners-up.
//   bool Same(const Model& a, const Model& b) const;
//
// With several threads the samples are drawn a batch at a time, solved and scored in
// parallel, and taken in the order drawn; a model scored above the bound that holds when it
// is taken is dropped, whatever bound it was scored against, so every decision, and the
// result, is the same for every thread count.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <vector>

#include "common/random.h"
#include "common/thread_pool.h"

namespace ro {

inline constexpr std::uint64_t kDefaultSeed = 42;

// What a user sets for a robust loop.
struct RansacOptions {
    double threshold_px = 0.0;   // the Sampson-error threshold; 0: the estimation's default
    double confidence = 0.9999;  // stop when an all-inlier sample was drawn this surely
    int min_iterations = 100;
    // The floor when the caller's check finds the data weak (see above); ignored below
    // min_iterations.
    int careful_min_iterations = 1000;
    int max_iterations = 10000;
    std::uint64_t seed = kDefaultSeed;
};

// How a loop runs beyond the user's options.
struct RansacLoop {
    int threads = 1;
    // Models that score at most this much above the best are scored fully and kept, the
    // `runners_up` best of them, for a caller that looks for a second solution. With an
    // estimator that tells models apart (`Same`), a model the same as a kept one replaces it
    // when it scores better and is dropped otherwise, so that the kept ones differ.
    double keep_margin = 0.0;
    std::size_t runners_up = 0;
    // Stop as if at least this many inliers had been found (0: only what was found counts).
    int assumed_inliers = 0;
};

template <class Model>
struct Scored {
    Model model{};
    double score = std::numeric_limits<double>::infinity();
    int inliers = 0;
};

template <class Model>
struct RansacReport {
    bool found = false;  // a model with a finite score was found
    Scored<Model> best;
    int iterations = 0;
    int local_optimisations = 0;
    bool careful = false;                   // the caller's check raised the floor
    std::vector<Scored<Model>> runners_up;  // unordered
};

// The iterations needed to draw, with probability `confidence`, one sample of `sample_size`
// inliers out of `inliers` among `total` points, without replacement.
inline double IterationsNeeded(int inliers, int total, int sample_size, double confidence) {
    if (inliers < sample_size || total < sample_size) {
        return std::numeric_limits<double>::infinity();
    }
    double all_inliers = 1.0;
    for (int i = 0; i < sample_size; ++i) {
        all_inliers *= static_cast<double>(inliers - i) / static_cast<double>(total - i);
    }
    if (all_inliers >= 1.0) return 0.0;
    return std::log1p(-confidence) / std::log1p(-all_inliers);
}

// Every step-th of `all`, at most `limit` of them, spread over the whole list: the points
// a refit or a check uses when all of them would cost more than they tell.
template <class T>
std::vector<T> Spread(const std::vector<T>& all, std::size_t limit) {
    if (all.size() <= limit) return all;
    std::vector<T> some;
    some.reserve(limit);
    for (std::size_t k = 0; k < limit; ++k) some.push_back(all[k * all.size() / limit]);
    return some;
}

namespace lo_ransac_detail {

// Samples drawn and scored together when threads share the work.
inline constexpr std::size_t kParallelBatch = 32;

template <class Estimator>
concept Refines = requires(const Estimator& e, Scored<typename Estimator::Model>* s) {
    e.Refine(s);
};

template <class Estimator>
concept TellsApart = requires(const Estimator& e, const typename Estimator::Model& m) {
    { e.Same(m, m) } -> std::convertible_to<bool>;
};

// Keeps the `limit` best-scoring models offered, one of each that the estimator tells apart.
template <class Estimator, class Model>
void KeepRunnerUp(const Estimator& estimator, std::vector<Scored<Model>>* kept, std::size_t limit,
                  const Scored<Model>& m) {
    if (limit == 0) return;
    if constexpr (TellsApart<Estimator>) {
        for (Scored<Model>& k : *kept) {
            if (!estimator.Same(k.model, m.model)) continue;
            if (m.score < k.score) k = m;
            return;
        }
    }
    if (kept->size() < limit) {
        kept->push_back(m);
        return;
    }
    auto worst = std::max_element(kept->begin(), kept->end(),
                                  [](const auto& a, const auto& b) { return a.score < b.score; });
    if (m.score < worst->score) *worst = m;
}

// The check of a loop that never raises its floor.
struct NeverCareful {
    template <class Report>
    bool operator()(const Report& /*report*/) const {
        return false;
    }
};

}  // namespace lo_ransac_detail

// `weak(report)` is the check described above, asked at most once, on the report so far.
template <class Estimator, class WeakData = lo_ransac_detail::NeverCareful>
RansacReport<typename Estimator::Model> LoRansac(const Estimator& estimator,
                                                 const RansacOptions& options,
                                                 const RansacLoop& loop,
                                                 const WeakData& weak = {}) {
    using Model = typename Estimator::Model;
    using Sample = std::array<std::uint32_t, Estimator::kSampleSize>;
    constexpr int kSampleSize = Estimator::kSampleSize;
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    RansacReport<Model> report;
    const std::size_t size = estimator.Size();
    if (size < static_cast<std::size_t>(kSampleSize)) return report;
    const auto n = static_cast<std::uint32_t>(size);

    common::SplitMix64 random(options.seed);
    const auto needed_for = [&](int inliers) {
        return IterationsNeeded(std::max(inliers, loop.assumed_inliers), static_cast<int>(n),
                                kSampleSize, options.confidence);
    };
    double needed = loop.assumed_inliers > 0 ? needed_for(0) : kInfinity;
    int floor_iterations = options.min_iterations;
    bool asked = options.careful_min_iterations <= floor_iterations;
    const auto running = [&](int it) {
        if (it >= options.max_iterations) return false;
        if (it < floor_iterations || it < needed) return true;
        if (asked) return false;
        asked = true;
        if (!report.found || !weak(report)) return false;
        report.careful = true;
        floor_iterations = options.careful_min_iterations;
        return it < floor_iterations;
    };
    const auto bound = [&] {
        return report.found ? report.best.score + loop.keep_margin : kInfinity;
    };

    const std::size_t batch = loop.threads > 1 ? lo_ransac_detail::kParallelBatch : 1;
    std::vector<Sample> samples(batch);
    std::vector<std::vector<Scored<Model>>> scored(batch);
    std::vector<std::vector<Model>> models(static_cast<std::size_t>(std::max(loop.threads, 1)));
    int it = 0;
    while (running(it)) {
        for (Sample& sample : samples) sample = common::DrawDistinct<kSampleSize>(random, n);
        const double batch_bound = bound();
        common::ForSlices(batch, loop.threads,
                          [&](std::size_t begin, std::size_t end, std::size_t slice) {
                              std::vector<Model>& solved = models[slice];
                              for (std::size_t b = begin; b < end; ++b) {
                                  estimator.Solve(samples[b], &solved);
                                  scored[b].clear();
                                  for (const Model& m : solved) {
                                      scored[b].push_back(estimator.Score(m, batch_bound));
                                  }
                              }
                              return true;
                          });
        for (std::size_t b = 0; b < batch && running(it); ++b, ++it) {
            for (Scored<Model>& m : scored[b]) {
                if (m.score == kInfinity || m.score > bound()) continue;
                const bool improves =
                    !report.found || m.score < report.best.score || m.inliers > report.best.inliers;
                if constexpr (lo_ransac_detail::Refines<Estimator>) {
                    if (improves) {
                        estimator.Refine(&m);
                        ++report.local_optimisations;
                    }
                }
                if (!report.found || m.score < report.best.score) {
                    if (report.found) {
                        lo_ransac_detail::KeepRunnerUp(estimator, &report.runners_up,
                                                       loop.runners_up, report.best);
                    }
                    report.best = m;
                    report.found = true;
                    needed = needed_for(m.inliers);
                } else {
                    lo_ransac_detail::KeepRunnerUp(estimator, &report.runners_up, loop.runners_up,
                                                   m);
                }
            }
        }
    }
    report.iterations = it;
    return report;
}

}  // namespace ro
