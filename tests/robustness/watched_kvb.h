// The built kvb run in the background as a user or a script would run it, watched: killed and
// reported when it hangs, with limits on its memory and file sizes where a test sets them.
#pragma once

#include "support/archive_builder.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kvb::test {

// Long enough for the slowest honest run (64 MiB under the sanitizers); a run still going then
// is taken to hang, killed, and reported as such.
inline constexpr auto kWatchdog = std::chrono::seconds(10);

struct Outcome {
    bool hung = false;
    int exitCode = -1; // -1 unless the program exited
    int signal = 0;    // the signal that ended it, if one did
    std::string out, err;
    size_t lines = 0; // line ends in out, counted also when out is not kept

    std::string Describe() const
    {
        return (hung ? "hung; " : "") + std::string("exit ") + std::to_string(exitCode) + " signal " +
               std::to_string(signal) + "; stderr: " + err;
    }
};

struct Options {
    std::string cwd;
    rlim_t addressSpace = RLIM_INFINITY;
    rlim_t fileSize = RLIM_INFINITY;
    bool keepOutput = true;
};

// kvb running in the background, with stdout read through a pipe and stderr kept in a file of
// its own folder (so that the folders a test lists hold only what kvb left there).
class Kvb {
public:
    Kvb(std::vector<std::string> args, const Options &options = {}) : options_(options)
    {
        args.insert(args.begin(), KVB_BINARY);
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string errPath = logs_ / "stderr";
        int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        int fds[2];
        if (errFd < 0 || nullFd < 0 || ::pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("cannot set up the child's files");
        std::fflush(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only calls that are safe between fork and exec.
            if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0)
                ::_exit(126);
            rlimit rl{};
            if (options.addressSpace != RLIM_INFINITY) {
                rl.rlim_cur = rl.rlim_max = options.addressSpace;
                ::setrlimit(RLIMIT_AS, &rl);
            }
            if (options.fileSize != RLIM_INFINITY) {
                ::getrlimit(RLIMIT_FSIZE, &rl);
                rl.rlim_cur = options.fileSize;
                ::setrlimit(RLIMIT_FSIZE, &rl);
            }
            for (int s : {SIGXFSZ, SIGTERM, SIGINT, SIGHUP, SIGPIPE})
                ::signal(s, SIG_DFL);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::dup2(nullFd, 0);
            ::dup2(fds[1], 1);
            ::dup2(errFd, 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        ::close(errFd);
        ::close(nullFd);
        out_ = fds[0];
        if (pid_ < 0)
            throw std::runtime_error("cannot fork");
    }
    ~Kvb()
    {
        if (!reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            ::close(out_);
    }

    void Signal(int sig) { ::kill(pid_, sig); }

    // Still running (an ended process that is not yet waited for counts as ended).
    bool Running() const
    {
        siginfo_t info{};
        return ::waitid(P_PID, id_t(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
    }

    Outcome Wait()
    {
        Outcome result;
        const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
        auto left = [&] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                         std::chrono::steady_clock::now())
                .count();
        };
        char buffer[65536];
        while (out_ >= 0 && left() > 0) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, int(std::min<long long>(left(), 100))) <= 0)
                continue;
            ssize_t n = ::read(out_, buffer, sizeof buffer);
            if (n <= 0) {
                ::close(out_);
                out_ = -1;
                break;
            }
            result.lines += size_t(std::count(buffer, buffer + n, '\n'));
            if (options_.keepOutput)
                result.out.append(buffer, size_t(n));
        }
        while (Running() && left() > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (Running()) {
            result.hung = true;
            ::kill(pid_, SIGKILL);
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        if (WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status))
            result.signal = WTERMSIG(status);
        result.err = ReadFile(logs_ / "stderr");
        return result;
    }

private:
    Options options_;
    TempDir logs_;
    pid_t pid_ = -1;
    int out_ = -1;
    bool reaped_ = false;
};

inline Outcome RunWatched(std::vector<std::string> args, const Options &options = {})
{
    return Kvb(std::move(args), options).Wait();
}

} // namespace kvb::test
