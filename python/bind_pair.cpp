// The functions of one pair. Arguments are checked and converted with the GIL held, with
// orient's defaults and wording; reading, matching and estimation run with it released, on
// the engine the programs run (pair_run), so that a pair gives orient's result and JSON.
#include "python/bind_pair.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/thread_pool.h"
#include "keypoints/matching.h"
#include "pair_run/input_files.h"
#include "pair_run/orient_pair.h"
#include "python/arrays.h"
#include "python/camera_object.h"
#include "python/errors.h"
#include "python/result_object.h"
#include "robust_orientation/estimate.h"

namespace relative_orientation_python {
namespace {

namespace py = pybind11;

std::string Quoted(const std::string& value, const std::string& what) {
    return "'" + value + "' " + what;
}

// The distance ratio by its shortest decimal, read as orient reads --ratio.
keypoints::DistanceRatio RatioArgument(double ratio) {
    char digits[400];
    const auto written =
        std::to_chars(digits, digits + sizeof digits, ratio, std::chars_format::fixed);
    const std::string text(digits, written.ptr);
    const std::optional<keypoints::DistanceRatio> parsed = keypoints::ParseDistanceRatio(text);
    if (!parsed) {
        throw py::value_error("ratio: " +
                              Quoted(py::repr(py::float_(ratio)).cast<std::string>(),
                                     "is not a ratio in (0, 1] with at most 9 decimals"));
    }
    return *parsed;
}

// A whole number from `min` to `max`; anything else raises ValueError in orient's words.
std::uint64_t WholeArgument(const py::handle& value, const char* name, std::uint64_t min,
                            std::uint64_t max) {
    const std::string refusal =
        "is not a whole number from " + std::to_string(min) + " to " + std::to_string(max);
    if (!py::isinstance<py::int_>(value) || py::isinstance<py::bool_>(value)) {
        throw py::type_error(std::string(name) + ": " +
                             Quoted(py::repr(value).cast<std::string>(), refusal));
    }
    const unsigned long long number = PyLong_AsUnsignedLongLong(value.ptr());
    if (PyErr_Occurred() != nullptr)
        PyErr_Clear();
    else if (number >= min && number <= max)
        return number;
    throw py::value_error(std::string(name) + ": " +
                          Quoted(py::repr(value).cast<std::string>(), refusal));
}

// None: orient's default, one thread per core.
int ThreadsArgument(const py::handle& threads) {
    if (threads.is_none()) return common::HardwareThreads();
    return static_cast<int>(WholeArgument(threads, "threads", 1, common::kMaxThreads));
}

// The estimation settings orient takes, checked as orient checks them.
ro::EstimationOptions EstimationArguments(const py::handle& seed, double sigma,
                                          std::optional<double> threshold, double confidence) {
    // orient refuses a value that is not a finite number before anything else.
    const std::pair<const char*, std::optional<double>> numbers[] = {
        {"sigma", sigma}, {"threshold", threshold}, {"confidence", confidence}};
    for (const auto& [name, value] : numbers) {
        if (value && !std::isfinite(*value)) {
            throw py::value_error(
                std::string(name) + ": " +
                Quoted(py::repr(py::float_(*value)).cast<std::string>(), "is not a number"));
        }
    }
    ro::EstimationOptions estimation;
    estimation.ransac.seed =
        WholeArgument(seed, "seed", 0, std::numeric_limits<std::uint64_t>::max());
    estimation.sigma_px = sigma;
    estimation.ransac.confidence = confidence;
    // 0 means "4 sigma" inside the library; given here it is no threshold.
    if (threshold) {
        if (!(*threshold > 0.0)) {
            throw py::value_error("the threshold must be a positive number of pixels");
        }
        estimation.ransac.threshold_px = *threshold;
    }
    if (const std::string problem = ro::CheckOptions(estimation); !problem.empty()) {
        throw py::value_error(problem);
    }
    return estimation;
}

bool IsPath(const py::handle& value) {
    return py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value) ||
           py::hasattr(value, "__fspath__");
}

std::string PathText(const py::handle& path) {
    return py::str(py::module_::import("os").attr("fsdecode")(path)).cast<std::string>();
}

// A key file's path, or a (positions, descriptors) pair whose keypoints are converted now.
// Key files are read later, without the GIL.
struct KeypointArgument {
    pair_run::KeypointFile keys;
    bool from_file = false;
};

KeypointArgument Keypoints(const py::handle& value, const char* name) {
    KeypointArgument argument;
    if (IsPath(value)) {
        argument.keys.file = PathText(value);
        if (argument.keys.file.empty()) {
            throw py::value_error(std::string(name) + ": the file name is empty");
        }
        argument.from_file = true;
        return argument;
    }
    argument.keys.keys = KeypointList(value, name, &argument.keys.dimensions);
    argument.keys.file = name;  // names the list in a descriptor-length mismatch
    return argument;
}

py::tuple ReadKeypoints(const py::object& path) {
    pair_run::KeypointFile file{PathText(path), {}, 0};
    std::string problem;
    {
        py::gil_scoped_release release;
        problem = pair_run::ReadKeypointFile(file);
    }
    if (!problem.empty()) ThrowInputError(problem);
    return KeypointArrays(file.keys, file.dimensions, file.file);
}

py::array_t<std::int64_t> Match(const py::object& descriptors1, const py::object& descriptors2,
                                double ratio, bool mutual, const py::object& threads) {
    int dims1 = 0;
    int dims2 = 0;
    const keypoints::KeypointList keys1 = DescriptorList(descriptors1, "descriptors1", &dims1);
    const keypoints::KeypointList keys2 = DescriptorList(descriptors2, "descriptors2", &dims2);
    if (dims1 != dims2) {
        throw py::value_error("cannot match descriptors of different lengths: descriptors1 has " +
                              std::to_string(dims1) + " values per descriptor, descriptors2 has " +
                              std::to_string(dims2));
    }
    const keypoints::MatchOptions options{RatioArgument(ratio), mutual, ThreadsArgument(threads)};
    std::vector<keypoints::Match> matches;
    {
        py::gil_scoped_release release;
        matches = keypoints::MatchKeypoints(keys1, keys2, dims1, options);
    }
    return MatchIndices(matches);
}

// The run information shared by orient() and orient_tie_points().
pair_run::RunInfo Run(const py::handle& camera1, const py::handle& camera2, const py::handle& seed,
                      double sigma, std::optional<double> threshold, double confidence,
                      const py::handle& threads) {
    pair_run::RunInfo run;
    run.estimation = EstimationArguments(seed, sigma, threshold, confidence);
    run.threads = ThreadsArgument(threads);
    run.camera1 = CameraArgument(camera1);
    run.same_camera = camera2.is_none();
    run.camera2 = run.same_camera ? run.camera1 : CameraArgument(camera2);
    return run;
}

PairResult Orient(const py::object& keypoints1, const py::object& keypoints2,
                  const py::object& camera1, const py::object& camera2, double ratio, bool mutual,
                  const py::object& seed, double sigma, std::optional<double> threshold,
                  double confidence, const py::object& threads) {
    PairResult out;
    out.run = Run(camera1, camera2, seed, sigma, threshold, confidence, threads);
    out.run.ratio = RatioArgument(ratio);
    out.run.mutual = mutual;
    KeypointArgument first = Keypoints(keypoints1, "keypoints1");
    KeypointArgument second = Keypoints(keypoints2, "keypoints2");
    out.run.keys1_file = first.from_file ? first.keys.file : "";
    out.run.keys2_file = second.from_file ? second.keys.file : "";
    std::vector<std::string> problems;
    std::string mismatch;
    {
        py::gil_scoped_release release;
        if (first.from_file && second.from_file) {
            problems = pair_run::ReadKeypointFiles(first.keys, second.keys);
        } else {
            for (KeypointArgument* argument : {&first, &second}) {
                if (!argument->from_file) continue;
                std::string problem = pair_run::ReadKeypointFile(argument->keys);
                if (!problem.empty()) problems.push_back(std::move(problem));
            }
        }
        if (problems.empty()) mismatch = pair_run::DescriptorMismatch(first.keys, second.keys);
        if (problems.empty() && mismatch.empty()) {
            pair_run::PairOrientation pair = pair_run::OrientPair(first.keys, second.keys, out.run);
            out.result = std::move(pair.result);
            out.tie_points = std::move(pair.tie_points);
        }
    }
    if (!problems.empty()) {
        std::string message;
        for (const std::string& problem : problems) {
            message += (message.empty() ? "" : "\n") + problem;
        }
        ThrowInputError(message);
    }
    if (!mismatch.empty()) ThrowInputError(mismatch);
    return out;
}

PairResult OrientTiePoints(const py::object& points1, const py::object& points2,
                           const py::object& camera1, const py::object& camera2,
                           const py::object& seed, double sigma, std::optional<double> threshold,
                           double confidence, const py::object& threads) {
    PairResult out;
    out.run = Run(camera1, camera2, seed, sigma, threshold, confidence, threads);
    std::vector<ro::TiePoint> tie_points = TiePointList(points1, points2);
    {
        py::gil_scoped_release release;
        pair_run::PairOrientation pair = pair_run::OrientTiePoints(tie_points, out.run);
        out.result = std::move(pair.result);
        out.tie_points = std::move(pair.tie_points);
    }
    return out;
}

}  // namespace

void BindPair(py::module_& module) {
    BindCamera(module);
    BindResult(module);
    const ro::EstimationOptions defaults;
    const py::int_ default_seed(defaults.ransac.seed);
    const double default_ratio = keypoints::DistanceRatio{}.Value();

    module.def("read_keypoints", &ReadKeypoints, py::arg("path"), R"doc(
Reads a key file (str or os.PathLike; '-' is standard input) as the programs read it.

Returns (positions, descriptors): positions an N x 4 float32 array of row, column, scale,
orientation; descriptors an N x D uint8 array, D the file's descriptor length. Raises
InputError naming the file when it cannot be read or parsed, or holds a descriptor value
outside 0 to 255.)doc");

    module.def("match", &Match, py::arg("descriptors1"), py::arg("descriptors2"),
               py::arg("ratio") = default_ratio, py::arg("mutual") = false,
               py::arg("threads") = py::none(), R"doc(
Matches two descriptor arrays (N x D integers) with the programs' exact matcher.

A descriptor of the first list is matched to its nearest one in the second when the
nearest distance is below ratio times the second-nearest; with mutual=True only mutual
nearest neighbours are kept. Returns an M x 2 int64 array of (index1, index2), in the order
of the first list; the same for every thread count (None: one per core).)doc");

    module.def(
        "orient", &Orient, py::arg("keypoints1"), py::arg("keypoints2"),
        py::arg("camera1") = py::none(), py::arg("camera2") = py::none(), py::kw_only(),
        py::arg("ratio") = default_ratio, py::arg("mutual") = false, py::arg("seed") = default_seed,
        py::arg("sigma") = defaults.sigma_px, py::arg("threshold") = py::none(),
        py::arg("confidence") = defaults.ransac.confidence, py::arg("threads") = py::none(), R"doc(
Orients photograph 2 relative to photograph 1 from their keypoints, as orient does.

keypoints1, keypoints2: a key file path (str or os.PathLike), or (positions, descriptors)
as read_keypoints returns them (the JSON document then names no file). camera1: a Camera,
a camera file path, or None for the built-in camera; camera2: None for camera1's. ratio,
mutual, seed, sigma (a-priori pixels), threshold (pixels; None: 4 sigma), confidence and
threads (None: one per core) are orient's options with its defaults; bad values raise
ValueError with orient's reason. Unreadable files raise InputError naming them. The GIL is
released while the files are read, matched and the orientation estimated. Returns a Result
whether or not an orientation was found (see Result.outcome).)doc");

    module.def("orient_tie_points", &OrientTiePoints, py::arg("points1"), py::arg("points2"),
               py::arg("camera1") = py::none(), py::arg("camera2") = py::none(), py::kw_only(),
               py::arg("seed") = default_seed, py::arg("sigma") = defaults.sigma_px,
               py::arg("threshold") = py::none(),
               py::arg("confidence") = defaults.ransac.confidence, py::arg("threads") = py::none(),
               R"doc(
Orients photograph 2 relative to photograph 1 from tie points matched elsewhere.

points1, points2: N x 2 arrays of (row, column) in pixels, as key files state positions,
row k of both the same object point. The cameras and settings are orient()'s; the
estimation is the same, without matching. Result.indices is -1 throughout.)doc");
}

}  // namespace relative_orientation_python
