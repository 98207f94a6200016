// Runs part of a test in a child process: for what must not touch the test process itself, such
// as a file-size limit, a private mount, or a second holder of a file lock.
#pragma once

#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace kvb::test {

// What the child's function returned, or how it failed. The function describes its outcome as
// text; an exception that escapes it is returned as "exception: <message>".
inline std::string RunInChild(const std::function<std::string()> &work)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return "no pipe";
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid < 0)
        return "no fork";
    if (pid == 0) {
        ::close(fds[0]);
        std::string text;
        try {
            text = work();
        } catch (const std::exception &e) {
            text = std::string("exception: ") + e.what();
        }
        for (size_t done = 0; done < text.size();) {
            ssize_t n = ::write(fds[1], text.data() + done, text.size() - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status))
        return "child died with status " + std::to_string(status);
    return text;
}

// "ok", or the message of the error the call raised.
template <typename Call>
std::string Outcome(Call call)
{
    try {
        call();
        return "ok";
    } catch (const std::exception &e) {
        return e.what();
    }
}

} // namespace kvb::test
