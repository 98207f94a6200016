// kvb run under strace, which can kill it or fail one of its system calls at a chosen moment
// from outside, so that nothing in the program knows it is tested.
#pragma once

#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace kvb::test {

// The calls that change files or names; each is a place where a kill or an error can land.
// AddressSanitizer checks memory by writing to a pipe of its own, and an error injected into one
// of those writes fails the sanitizer, not kvb: its builds leave write out (kvb writes files
// with pwrite; its write calls are those of standard output and error).
#if defined(__SANITIZE_ADDRESS__)
inline const char *const kWritingCalls = "pwrite64,writev,pwritev,fsync,fdatasync,ftruncate,"
#else
inline const char *const kWritingCalls = "write,pwrite64,writev,pwritev,fsync,fdatasync,ftruncate,"
#endif
                                         "rename,renameat,renameat2,link,linkat,unlink,unlinkat,"
                                         "copy_file_range,splice";

inline std::string Quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct TracedRun {
    int exitCode = -1; // -1 when a signal ended it
    std::string err;
};

// Runs kvb with args through wrapper (a shell command that runs the one after it); stdout is
// dropped, stderr kept.
inline TracedRun RunWrapped(const std::string &wrapper, const std::vector<std::string> &args,
                            const std::string &logs)
{
    std::string command = wrapper + " " + Quote(KVB_BINARY);
    for (const std::string &a : args)
        command += ' ' + Quote(a);
    const std::string errFile = logs + "/stderr";
    command += " >/dev/null 2>" + Quote(errFile) + " </dev/null";
    const int status = std::system(command.c_str());
    TracedRun run;
    if (WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    run.err = ReadFile(errFile);
    return run;
}

// Runs kvb with args under strace with the given strace options.
inline TracedRun RunTraced(const std::vector<std::string> &straceOptions,
                           const std::vector<std::string> &args, const std::string &logs)
{
    std::string strace = "strace -f -qq";
    for (const std::string &o : straceOptions)
        strace += ' ' + Quote(o);
    return RunWrapped(strace + " --", args, logs);
}

// How often each writing call is made by a run of args that nothing disturbs.
inline std::map<std::string, int> CountCalls(const std::vector<std::string> &args,
                                             const std::string &logs)
{
    const std::string trace = logs + "/trace";
    const TracedRun run =
        RunTraced({"-o", trace, "-e", std::string("trace=") + kWritingCalls}, args, logs);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::map<std::string, int> counts;
    std::ifstream in(trace);
    for (std::string line; std::getline(in, line);) {
        // "PID name(...": under -f every line starts with the process's number, padded.
        const size_t name = line.find_first_not_of(" 0123456789");
        line = name == std::string::npos ? std::string() : line.substr(name);
        const size_t paren = line.find('(');
        if (paren != std::string::npos && paren > 0)
            ++counts[line.substr(0, paren)];
    }
    return counts;
}

inline bool HaveStrace()
{
    return std::system("strace -V >/dev/null 2>&1") == 0;
}

} // namespace kvb::test
