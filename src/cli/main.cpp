// kvb: the command-line face of the archive library.
#include "cli/application.h"

#include "platform/errors.h"
#include "platform/program_arguments.h"
#include "platform/standard_output.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

// An error as kvb prints it: the second line of a message (what was being done, on which file,
// and why) follows the system's own text after ": ".
std::string Printed(const std::exception &e)
{
    if (const auto *error = dynamic_cast<const kvb::EKVBError *>(&e); error && !error->Detail().empty()) {
        const std::string message = error->Message();
        const bool sentence = !message.empty() && (message.back() == '.' || message.back() == '!');
        return message + (sentence ? " " : ": ") + error->Detail();
    }
    return e.what();
}

// A command, --help and --version have succeeded (or given their answer) only once what they
// printed is out.
int Finished(int answer = kvb::cli::kExitSuccess, int failure = kvb::cli::kExitFailure)
{
    try {
        kvb::FinishStandardOutput();
    } catch (const std::exception &e) {
        std::cerr << "kvb: " << Printed(e) << '\n';
        return failure;
    }
    return answer;
}

} // namespace

int main(int argc, char **argv)
{
    using namespace kvb::cli;
    kvb::PrepareStandardStreams();
    kvb::CheckStandardOutputWrites();
    std::vector<std::string> arguments = kvb::ProgramArguments(argc, argv);
    std::vector<char *> utf8Argv;
    for (std::string &argument : arguments)
        utf8Argv.push_back(argument.data());
    CLI::App app;
    DescribeKvb(app);

    int answer = kExitSuccess;
    try {
        app.parse(int(utf8Argv.size()), utf8Argv.data());
    } catch (const TAnswer &given) {
        answer = given.ExitCode;
    } catch (const CLI::CallForVersion &e) {
        app.exit(e);
        return Finished();
    } catch (const CLI::CallForHelp &e) {
        app.exit(e);
        return Finished();
    } catch (const CLI::CallForAllHelp &e) {
        app.exit(e);
        return Finished();
    } catch (const CLI::ParseError &e) {
        const std::vector<std::string> given(arguments.begin() + (arguments.empty() ? 0 : 1),
                                             arguments.end());
        std::cerr << "kvb: " << UsageErrorText(app, e, given) << '\n';
        return kExitUsage;
    } catch (const std::exception &e) {
        // One error is enough: output that failed as well adds nothing the exit code does not say.
        std::cerr << "kvb: " << Printed(e) << '\n';
        return FailureExitCode(app);
    }
    return Finished(answer, FailureExitCode(app));
}
