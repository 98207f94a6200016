// Runs the built kvb binary and captures what it prints.
#pragma once

#include "support/archive_builder.h"

#include <cstdio>
#include <string>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace kvb::test {

struct RunResult {
    int exitCode = -1;
    std::string out, err;
};

#ifdef _WIN32
// Quoted the way Windows programs split their command line (CommandLineToArgvW).
inline std::wstring CommandLineQuote(const std::wstring &s)
{
    std::wstring q = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : s) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        q.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        q += c;
    }
    q.append(2 * backslashes, L'\\');
    return q + L"\"";
}

inline std::wstring WideOf(const std::string &utf8)
{
    std::wstring out(utf8.size(), L'\0');
    out.resize(size_t(
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), int(out.size()))));
    return out;
}

// Without fork: the program runs with its standard output on a pipe read here and its
// standard error in a file of dir.
inline RunResult RunProgram(const std::string &binary, const TempDir &dir,
                            std::initializer_list<std::string> args)
{
    std::wstring command = CommandLineQuote(WideOf(binary));
    for (const auto &a : args)
        command += L' ' + CommandLineQuote(WideOf(a));
    const std::string errFile = dir / ".stderr";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readOut = nullptr, writeOut = nullptr;
    ::CreatePipe(&readOut, &writeOut, &inherit, 0);
    ::SetHandleInformation(readOut, HANDLE_FLAG_INHERIT, 0);
    HANDLE err = ::CreateFileW(WideOf(errFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeOut;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    RunResult result;
    const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          nullptr, &startup, &process);
    ::CloseHandle(writeOut);
    ::CloseHandle(err);
    if (started) {
        char buffer[65536];
        DWORD n = 0;
        while (::ReadFile(readOut, buffer, sizeof buffer, &n, nullptr) && n > 0)
            result.out.append(buffer, n);
        ::WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        ::GetExitCodeProcess(process.hProcess, &code);
        result.exitCode = int(code);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(readOut);
    result.err = ReadFile(PathFromUtf8(errFile));
    return result;
}
#else
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
#endif

inline RunResult RunKvb(const TempDir &dir, std::initializer_list<std::string> args)
{
    return RunProgram(KVB_BINARY, dir, args);
}

} // namespace kvb::test
