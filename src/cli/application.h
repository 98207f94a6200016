// kvb's command line as a whole: its subcommands and options, its exit codes and the
// environment it reads. --help shows them, and the manual page is generated from the same
// definitions, so that the two never differ.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace kvb::cli {

// The exit codes, as scripts see them.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// diff answers a question, as cmp does: 1 when the archives differ, 2 for every trouble.
constexpr int kExitDifferent = 1;
constexpr int kExitTrouble = 2;

// Thrown by a command whose answer is its exit code, once its output is written, so that kvb
// still makes sure the output got out.
struct TAnswer {
    int ExitCode = kExitSuccess;
};
// The exit code of a failure of the command on app's command line: kExitTrouble for diff,
// whose 1 is an answer; kExitFailure for every other.
int FailureExitCode(const CLI::App &app);

struct TDocumentedItem {
    std::string Name, Meaning;
};
const std::vector<TDocumentedItem> &ExitCodes();
const std::vector<TDocumentedItem> &EnvironmentVariables();

// Sets app up as kvb: description, --version, every subcommand, and a footer with the exit
// codes and the environment.
void DescribeKvb(CLI::App &app);

// The one line a usage error prints (without "kvb: "): what is wrong, and where the help is.
// arguments are the command line without the program's name.
std::string UsageErrorText(const CLI::App &app, const CLI::ParseError &error,
                           const std::vector<std::string> &arguments);

} // namespace kvb::cli
