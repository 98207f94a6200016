// Runs the built kvb binary and captures what it prints.
#pragma once

#include "support/archive_builder.h"

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace kvb::test {

struct RunResult {
    int exitCode = -1;
    std::string out, err;
};

inline std::string ShellQuote(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// args are quoted one by one; stderr goes through a file in dir.
inline RunResult RunProgram(const std::string &binary, const TempDir &dir,
                            std::initializer_list<std::string> args)
{
    std::string errFile = dir / ".stderr";
    std::string command = ShellQuote(binary);
    for (const auto &a : args)
        command += ' ' + ShellQuote(a);
    command += " 2>" + ShellQuote(errFile);
    RunResult result;
    FILE *pipe = ::popen(command.c_str(), "r");
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = ReadFile(errFile);
    return result;
}

inline RunResult RunKvb(const TempDir &dir, std::initializer_list<std::string> args)
{
    return RunProgram(KVB_BINARY, dir, args);
}

} // namespace kvb::test
