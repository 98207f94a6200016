// How kvb fails where scripts and people see it: usage errors, standard output that cannot be
// written, and the question truncate asks on a terminal.
#include "run_kvb.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

// kvb with standard output on /dev/full: the exit code, and what it said on standard error.
RunResult RunIntoFullDevice(const TempDir &dir, std::initializer_list<std::string> args)
{
    std::string command = ShellQuote(KVB_BINARY);
    for (const auto &a : args)
        command += ' ' + ShellQuote(a);
    command += " >/dev/full 2>" + ShellQuote(dir / ".stderr");
    const int status = std::system(command.c_str());
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = ReadFile(dir / ".stderr");
    return result;
}

// kvb with standard input on a pseudo-terminal, as when a person runs it. answer is typed once
// the question has appeared on standard error (at most 30 s of waiting, for a loaded machine).
RunResult RunOnTerminal(const TempDir &dir, const std::vector<std::string> &args,
                        const std::string &answer)
{
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(terminal, 0);
    EXPECT_EQ(::grantpt(terminal), 0);
    EXPECT_EQ(::unlockpt(terminal), 0);
    const std::string side = ::ptsname(terminal);
    const std::string out = dir / ".stdout", err = dir / ".stderr";
    std::vector<std::string> argv = {KVB_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char *> pointers;
    for (std::string &a : argv)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        ::setsid();
        const int in = ::open(side.c_str(), O_RDWR);
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || o < 0 || e < 0 || ::dup2(in, 0) < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0)
            ::_exit(127);
        ::close(terminal);
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    RunResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int status = 0;
    bool answered = false, ended = false;
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        if (!answered && fs::exists(err) && ReadFile(err).find("[y/N] ") != std::string::npos) {
            EXPECT_EQ(::write(terminal, answer.data(), answer.size()), ssize_t(answer.size()));
            answered = true;
        }
        ended = ::waitpid(child, &status, WNOHANG) == child;
        if (!ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!ended) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        ADD_FAILURE() << "kvb did not end; answered: " << answered;
    }
    ::close(terminal);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

struct Archive {
    TempDir dir;
    std::string path = dir / "a.kvb";
    std::string bytes = TwoEntryArchive();
    Archive() { WriteFile(path, bytes); }
};

} // namespace

TEST(KvbUsage, EveryUsageErrorIsOneLineWithTheHelpToSeeAndExitsTwo)
{
    Archive a;
    struct Case {
        std::initializer_list<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"frobnicate"}, "kvb: unknown command \"frobnicate\"; see kvb --help\n"},
        {{"frobnicate", a.path}, "kvb: unknown command \"frobnicate\"; see kvb --help\n"},
        {{}, "kvb: a command is needed; see kvb --help\n"},
        {{"list"}, "kvb: ARCHIVE is required; see kvb list --help\n"},
        {{"list", "--bogus", a.path},
         "kvb: The following argument was not expected: --bogus; see kvb list --help\n"},
        {{"link", a.path, "0x1", "2"},
         "kvb: TOC_N: a record number is needed, in decimal digits; see kvb link --help\n"},
        {{"--bogus"}, "kvb: unknown option \"--bogus\"; see kvb --help\n"},
    };
    for (const Case &c : cases) {
        RunResult r = RunKvb(a.dir, c.args);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(ReadFile(a.path), a.bytes);
}

TEST(KvbOutput, AFullStandardOutputFailsWithTheSystemsReason)
{
    Archive a;
    const std::string full = "kvb: cannot write to standard output: No space left on device\n";
    for (const std::initializer_list<std::string> &args :
         {std::initializer_list<std::string>{"info", a.path},
          {"info", "--json", a.path},
          {"list", a.path},
          {"list", "--json", a.path},
          {"raw", a.path},
          {"raw", "--json", a.path},
          {"analyse", a.path},
          {"analyse", "--json", a.path},
          {"--help"},
          {"--version"}}) {
        RunResult r = RunIntoFullDevice(a.dir, args);
        EXPECT_EQ(r.exitCode, 1) << *args.begin();
        EXPECT_EQ(r.err, full) << *args.begin();
    }
}

TEST(KvbOutput, AFullStandardOutputStopsALongWalkToo)
{
    TempDir dir;
    ArchiveBuilder b;
    for (int i = 0; i < 5000; ++i)
        b.Add("ENTRY" + std::to_string(i), "x");
    WriteFile(dir / "big.kvb", b.Build());
    RunResult r = RunIntoFullDevice(dir, {"raw", dir / "big.kvb"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kvb: cannot write to standard output: No space left on device\n");
}

TEST(KvbTruncate, WithoutATerminalOrYesItRefusesAndChangesNothing)
{
    if (::isatty(0))
        GTEST_SKIP() << "the tests run on a terminal, which kvb would ask";
    Archive a;
    RunResult r = RunKvb(a.dir, {"truncate", a.path, "2"}); // standard input: the test's own
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "kvb: Not truncating " + a.path +
                         ": standard input is no terminal to ask on; add --yes to truncate\n");
    EXPECT_EQ(ReadFile(a.path), a.bytes);
}

TEST(KvbTruncate, OnATerminalItAsksAndOnlyYesTruncates)
{
    Archive a;
    const std::string question =
        "This will delete item 2 (SECOND.BIN) and all 0 of the items following it from the "
        "file. YOU WILL NOT BE ABLE TO RESTORE THE DATA AT ALL, IT WILL BE LOST. Continue? [y/N] ";
    for (const std::string no : {"\n", "n\n", "whatever\n"}) {
        RunResult r = RunOnTerminal(a.dir, {"truncate", a.path, "2"}, no);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, question + "kvb: Nothing changed: " + a.path + " was not truncated\n");
        EXPECT_EQ(ReadFile(a.path), a.bytes);
    }
    RunResult r = RunOnTerminal(a.dir, {"truncate", a.path, "2"}, "y\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, question);
    EXPECT_EQ(r.out, "File has 2 active files.\nFile has 1 data files in it.\n");
    EXPECT_LT(ReadFile(a.path).size(), a.bytes.size());
}
