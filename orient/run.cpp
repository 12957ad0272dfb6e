#include "orient/run.h"

#include <cstdio>
#include <future>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include "io/atomic_file.h"
#include "io/file_error.h"
#include "io/output_target.h"
#include "orient/command_line.h"
#include "orient/inputs.h"
#include "orient/plot_svg.h"
#include "orient/writers.h"
#include "pair_run/input_files.h"
#include "pair_run/json_report.h"
#include "pair_run/orient_pair.h"
#include "pair_run/tie_points_csv.h"

namespace orient {
namespace {

using pair_run::RunInfo;

void Message(const std::string& text) {
    const std::string line = "orient: " + text + "\n";
    std::fputs(line.c_str(), stderr);
}

// The cameras of both photographs; false (after the message) when a camera file failed.
bool ReadCameras(const OrientOptions& options, RunInfo& run) {
    run.camera1 = {ro::BuiltInCamera(), ""};
    if (!options.camera1_file.empty()) {
        auto read = pair_run::ReadCameraFile(options.camera1_file);
        if (auto* problem = std::get_if<std::string>(&read)) {
            Message(*problem);
            return false;
        }
        run.camera1 = {std::get<ro::Camera>(read), options.camera1_file};
    }
    run.camera2 = run.camera1;
    run.same_camera = options.camera2_file.empty();
    if (!run.same_camera) {
        auto read = pair_run::ReadCameraFile(options.camera2_file);
        if (auto* problem = std::get_if<std::string>(&read)) {
            Message(*problem);
            return false;
        }
        run.camera2 = {std::get<ro::Camera>(read), options.camera2_file};
    }
    return true;
}

// The texts of the outputs asked for. With more than one thread the points' CSV, one row
// per tie point, is formatted on a thread of its own beside the others.
struct OutputTexts {
    std::string json;
    std::string points;
    std::string plot;
    std::string report;
};

OutputTexts FormatOutputs(const OrientOptions& options, const ro::OrientationResult& result,
                          const RunInfo& run, const PlotPhotograph* photograph, bool report) {
    OutputTexts texts;
    std::future<std::string> points;
    if (!options.points_file.empty()) {
        points = std::async(options.threads > 1 ? std::launch::async : std::launch::deferred,
                            [&result] { return PointsCsv(result); });
    }
    if (!options.json_file.empty()) texts.json = pair_run::JsonReport(result, run);
    if (!options.plot_file.empty()) texts.plot = PlotSvg(result, run, photograph);
    if (report) texts.report = TextReport(result, run);
    if (points.valid()) texts.points = points.get();
    return texts;
}

// The outputs in order: JSON, points, plot, report. False (after the message) on the
// first that could not be written.
bool WriteOutputs(const OrientOptions& options, const ro::OrientationResult& result,
                  const RunInfo& run, const PlotPhotograph* photograph) {
    // Standard output holds one thing: an output sent there replaces the report.
    const bool stdout_taken =
        options.json_file == "-" || options.points_file == "-" || options.plot_file == "-";
    const bool report = !options.quiet && !stdout_taken;
    const OutputTexts texts = FormatOutputs(options, result, run, photograph, report);
    const std::pair<const std::string*, const std::string*> files[] = {
        {&options.json_file, &texts.json},
        {&options.points_file, &texts.points},
        {&options.plot_file, &texts.plot}};
    for (const auto& [path, text] : files) {
        if (path->empty()) continue;
        if (const std::optional<io::FileError> error = io::WriteFileAtomically(*path, *text)) {
            Message(error->Message());
            return false;
        }
    }
    if (report) {
        if (const std::optional<io::FileError> error = io::WriteFileAtomically("-", texts.report)) {
            Message(error->Message());
            return false;
        }
    }
    return true;
}

// Refuses, before any work, an output that would replace a file of another kind or a
// read-only one; false after the message.
bool OutputsWritable(const OrientOptions& options) {
    if (const std::optional<io::FileError> error =
            io::CheckOutputTargets({{options.json_file, io::OutputKind::json},
                                    {options.points_file, io::OutputKind::csv},
                                    {options.plot_file, io::OutputKind::svg}},
                                   options.force)) {
        Message(error->Message());
        return false;
    }
    return true;
}

// The pair from its keypoint files, matched; nullopt (after the messages) when a file failed.
std::optional<pair_run::PairOrientation> OrientKeypointFiles(const OrientOptions& options,
                                                             RunInfo& run,
                                                             const image::ImageHeader* image1) {
    pair_run::KeypointFile first{options.keys1_file, {}, 0};
    pair_run::KeypointFile second{options.keys2_file, {}, 0};
    const std::vector<std::string> problems = pair_run::ReadKeypointFiles(first, second);
    for (const std::string& problem : problems) Message(problem);
    if (!problems.empty()) return std::nullopt;
    if (const std::string mismatch = pair_run::DescriptorMismatch(first, second);
        !mismatch.empty()) {
        Message(mismatch);
        return std::nullopt;
    }
    return pair_run::OrientPair(first, second, run, options.image1_file, image1);
}

// The pair from tie points matched elsewhere; nullopt (after the message) when their file
// failed.
std::optional<pair_run::PairOrientation> OrientTiePointFile(const OrientOptions& options,
                                                            RunInfo& run) {
    auto read = pair_run::ReadTiePointsCsv(options.tie_points_file);
    if (auto* problem = std::get_if<std::string>(&read)) {
        Message(*problem);
        return std::nullopt;
    }
    run.tie_points_file = options.tie_points_file;
    return pair_run::OrientTiePoints(std::get<std::vector<ro::TiePoint>>(read), run);
}

int Run(const OrientOptions& options) {
    if (!OutputsWritable(options)) return kInputError;
    RunInfo run;
    run.keys1_file = options.keys1_file;
    run.keys2_file = options.keys2_file;
    run.ratio = options.ratio;
    run.mutual = options.mutual;
    run.estimation = options.estimation;
    run.threads = options.threads;
    run.points_file = options.points_file;
    if (!ReadCameras(options, run)) return kInputError;
    std::optional<PlotPhotograph> photograph;
    if (!options.image1_file.empty()) {
        auto read = ReadPhotograph(options.image1_file);
        if (auto* problem = std::get_if<std::string>(&read)) {
            Message(*problem);
            return kInputError;
        }
        photograph = std::move(std::get<PlotPhotograph>(read));
    }

    std::optional<pair_run::PairOrientation> pair =
        options.tie_points_file.empty()
            ? OrientKeypointFiles(options, run, photograph ? &photograph->header : nullptr)
            : OrientTiePointFile(options, run);
    if (!pair) return kInputError;
    const ro::OrientationResult& result = pair->result;
    for (std::size_t k = result.warnings.size() - pair->input_warnings; k < result.warnings.size();
         ++k) {
        Message("warning: " + result.warnings[k].message);
    }

    if (!WriteOutputs(options, result, run, photograph ? &*photograph : nullptr))
        return kInputError;
    if (result.outcome != ro::Outcome::oriented) {
        Message("no reliable orientation: " + result.reason);
        return kNotOriented;
    }
    return kOriented;
}

}  // namespace

int OrientMain(int argc, const char* const* argv) {
    try {
        const CommandLine line = ParseCommandLine(argc, argv, DefaultThreads());
        if (!line.run) {
            std::fputs(line.err.c_str(), stderr);
            if (!line.out.empty()) {
                if (const std::optional<io::FileError> error =
                        io::WriteFileAtomically("-", line.out)) {
                    Message(error->Message());
                    return kInputError;
                }
            }
            return line.status;
        }
        return Run(line.options);
    } catch (const std::bad_alloc&) {
        Message("out of memory");
    } catch (const std::system_error& error) {
        Message(std::string("cannot run: ") + error.what());
    }
    return kInputError;
}

}  // namespace orient
