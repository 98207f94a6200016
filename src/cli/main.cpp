// kvb: the command-line face of the archive library.
#include "cli/commands.h"

#include "platform/program_arguments.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    kvb::PrepareStandardStreams();
    std::vector<std::string> arguments = kvb::ProgramArguments(argc, argv);
    std::vector<char *> utf8Argv;
    for (std::string &argument : arguments)
        utf8Argv.push_back(argument.data());
    CLI::App app{"Lists, extracts, builds, analyses and patches KVB archives."};
    app.set_version_flag("--version", "kvb " KVB_VERSION);
    app.require_subcommand(1);
    kvb::cli::RegisterArchiveCommands(app);
    kvb::cli::RegisterMediaCommands(app);
    kvb::cli::RegisterToolCommands(app);

    try {
        app.parse(int(utf8Argv.size()), utf8Argv.data());
    } catch (const CLI::CallForVersion &e) {
        return app.exit(e);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        app.exit(e);
        return 2;
    } catch (const std::exception &e) {
        std::cerr << "kvb: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
