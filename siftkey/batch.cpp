#include "siftkey/batch.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <new>
#include <opencv2/core.hpp>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "common/progress.h"
#include "common/thread_pool.h"
#include "siftkey/run.h"

namespace siftkey {
namespace {

namespace fs = std::filesystem;

struct Job {
    const std::string* photograph;
    std::string key_path;
    std::string camera_path;  // empty without --camera
};

void Say(std::FILE* err, const std::string& text) {
    std::fputs(("siftkey: " + text + "\n").c_str(), err);
    std::fflush(err);
}

std::string Photographs(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " photograph" : " photographs");
}

// Whether `output` exists and was written after `photograph` was last changed. A file of
// the same time counts as older: on a coarse clock the photograph may have changed after it.
bool NewerThan(const std::string& output, fs::file_time_type photograph) {
    std::error_code error;
    const fs::file_time_type written = fs::last_write_time(output, error);
    return !error && written > photograph;
}

bool UpToDate(const Job& job) {
    std::error_code error;
    const fs::file_time_type changed = fs::last_write_time(*job.photograph, error);
    if (error) return false;  // the run says why the photograph cannot be read
    return NewerThan(job.key_path, changed) &&
           (job.camera_path.empty() || NewerThan(job.camera_path, changed));
}

// Makes DIR when missing; the reason when it cannot be written into.
std::string MakeOutputDir(const std::string& dir) {
    std::error_code error;
    if (fs::is_directory(dir, error)) return {};
    if (fs::exists(dir, error)) return "cannot write into " + dir + ": it is not a folder";
    fs::create_directories(dir, error);
    if (error) return "cannot make the folder " + dir + ": " + error.message();
    return {};
}

int Run(const SiftkeyOptions& options, std::FILE* err) {
    const auto start = std::chrono::steady_clock::now();
    if (const std::string problem = MakeOutputDir(options.output_dir); !problem.empty()) {
        Say(err, problem);
        return kFailureStatus;
    }
    const std::string files = options.camera_beside ? "key and camera files" : "key files";
    const std::string its_files =
        options.camera_beside ? "its key and camera files" : "its key file";
    std::vector<Job> jobs;
    std::size_t up_to_date = 0;
    for (const std::string& photograph : options.photographs) {
        const fs::path base = fs::path(options.output_dir) / OutputName(photograph);
        Job job{&photograph, base.string() + ".key",
                options.camera_beside ? base.string() + ".cam" : std::string()};
        if (!options.force && UpToDate(job)) {
            ++up_to_date;
        } else {
            jobs.push_back(std::move(job));
        }
    }
    if (jobs.empty()) {
        if (!options.quiet) {
            Say(err, "every photograph already has " + its_files +
                         "; nothing to do (--force redoes them)");
        }
        return 0;
    }
    if (up_to_date > 0 && !options.quiet) {
        Say(err, std::to_string(up_to_date) + " of " + Photographs(options.photographs.size()) +
                     (up_to_date == 1 ? " already has " + its_files : " already have " + files) +
                     ", " + std::to_string(jobs.size()) + " to do");
    }

    // Parallel over photographs, so each detection keeps to its own thread: the thread
    // library would otherwise start a team of its own for every photograph.
    cv::setNumThreads(1);
    const int threads = options.threads > 0 ? options.threads : common::HardwareThreads();
    common::ProgressDisplay progress(err, common::ProgressModeFor(err, options.quiet),
                                     "siftkey: ", "photographs", jobs.size());
    std::atomic<std::size_t> failed{0};
    common::SharedPool().Run(jobs.size(), threads, [&](std::size_t k) {
        const Job& job = jobs[k];
        SiftkeyOptions one = options;
        one.photographs.clear();
        one.output_dir.clear();
        one.image_path = *job.photograph;
        one.key_path = job.key_path;
        one.camera_path = job.camera_path;
        one.threads = 0;
        one.quiet = true;
        std::ostringstream said;
        const bool ok = RunSiftkey(one, said) == 0;
        if (!ok) ++failed;
        if (std::string text = said.str(); !text.empty()) {
            if (text.back() == '\n') text.pop_back();
            progress.Message(text);
        }
        progress.Advance(!ok);
    });
    progress.Finish();

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", seconds);
    const std::size_t failures = failed.load();
    const std::string done = files + " of " + Photographs(jobs.size() - failures) + " written to " +
                             options.output_dir + " in " + time;
    if (failures == 0) {
        if (!options.quiet) Say(err, done);
        return 0;
    }
    Say(err, done + "; " + Photographs(failures) + " failed");
    return kFailureStatus;
}

}  // namespace

int RunSiftkeyBatch(const SiftkeyOptions& options, std::FILE* err) {
    // The decoders' messages are captured on descriptor 2 while a photograph is decoded;
    // the progress and the reports of the other threads go through a descriptor of their
    // own, so that they reach the user meanwhile instead of that capture.
    std::fflush(err);
    const int fd = ::fcntl(fileno(err), F_DUPFD_CLOEXEC, 3);
    std::FILE* own = fd >= 0 ? ::fdopen(fd, "w") : nullptr;
    if (own == nullptr && fd >= 0) ::close(fd);
    std::FILE* out = own != nullptr ? own : err;
    int status = kFailureStatus;
    try {
        status = Run(options, out);
    } catch (const std::bad_alloc&) {
        Say(out, "out of memory");
    } catch (const std::exception& e) {
        Say(out, e.what());
    }
    if (own != nullptr) std::fclose(own);
    return status;
}

}  // namespace siftkey
