#include "testing/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace test_support {

namespace {

void ClosePair(int fds[2]) {
    close(fds[0]);
    close(fds[1]);
}

}  // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         double timeout_seconds, const std::string& cwd) {
    int out_pipe[2];
    int err_pipe[2];
    if (pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");
    if (pipe(err_pipe) != 0) {
        ClosePair(out_pipe);
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> argv_storage;
    argv_storage.push_back(program);
    argv_storage.insert(argv_storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_storage) argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) {
        ClosePair(out_pipe);
        ClosePair(err_pipe);
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        const int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        ClosePair(out_pipe);
        ClosePair(err_pipe);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);

    ProgramResult result;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_seconds);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_fds = 2;
    while (open_fds > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timed_out = true;
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
        for (int f = 0; f < 2; ++f) {
            if (fds[f].fd < 0 || (fds[f].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            char buffer[65536];
            const ssize_t got = read(fds[f].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[f]->append(buffer, static_cast<std::size_t>(got));
            } else {
                close(fds[f].fd);
                fds[f].fd = -1;
                --open_fds;
            }
        }
    }
    for (const pollfd& p : fds) {
        if (p.fd >= 0) close(p.fd);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

}  // namespace test_support
