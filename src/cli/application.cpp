#include "cli/application.h"

#include "cli/commands.h"

#include <sstream>

namespace kvb::cli {

const std::vector<TDocumentedItem> &ExitCodes()
{
    static const std::vector<TDocumentedItem> codes = {
        {std::to_string(kExitSuccess), "Success. diff: the archives hold the same entries and bytes."},
        {std::to_string(kExitFailure),
         "Failure: the one line on standard error says what could not be done, on which file, "
         "and why. Also when extract-all --match matches no entry, when truncate is not "
         "confirmed, and when standard output cannot be written. diff: the archives differ."},
        {std::to_string(kExitUsage),
         "Usage error: an unknown command or option, a missing or malformed argument. Nothing "
         "was read or written. diff: also every failure, as cmp and diff give it."},
    };
    return codes;
}

const std::vector<TDocumentedItem> &EnvironmentVariables()
{
    static const std::vector<TDocumentedItem> variables = {
        {"KVB_SOUNDFONT", "The SoundFont (.sf2) midi2wav renders with, instead of "
                          "/usr/share/sounds/sf2/default-GM.sf2."},
        {"WINEPREFIX", "The Wine prefix game-folder looks in first (~/.wine when not set)."},
        {"HOME", "Where game-folder finds ~/.wine and the Steam libraries (~/.steam/steam, "
                 "~/.local/share/Steam, ~/.var/app/com.valvesoftware.Steam/.local/share/Steam)."},
    };
    return variables;
}

namespace {

// Items as --help shows options: the name in a column of its own, the meaning wrapped beside it.
std::string ItemList(const std::string &title, const std::vector<TDocumentedItem> &items)
{
    constexpr size_t kIndent = 20, kWidth = 96;
    std::string text = title + ":\n";
    for (const TDocumentedItem &item : items) {
        std::string line = "  " + item.Name;
        line.append(line.size() < kIndent ? kIndent - line.size() : 1, ' ');
        std::istringstream words(item.Meaning);
        bool first = true;
        for (std::string word; words >> word; first = false) {
            if (!first && line.size() + 1 + word.size() > kWidth) {
                text += line + '\n';
                line = std::string(kIndent, ' ');
                first = true;
            }
            line += (first ? "" : " ") + word;
        }
        text += line + '\n';
    }
    return text;
}

// CLI11's texts can run over several lines; the error is one line.
std::string OneLine(std::string text)
{
    for (char &c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

} // namespace

void DescribeKvb(CLI::App &app)
{
    app.name("kvb");
    app.description("Lists, extracts, builds, analyses and patches KVB archives.");
    app.set_version_flag("--version", "kvb " KVB_VERSION);
    app.require_subcommand(1);
    RegisterArchiveCommands(app);
    RegisterMediaCommands(app);
    RegisterToolCommands(app);
    RegisterFolderCommands(app);
    RegisterDiffCommand(app);
    RegisterModCommands(app);
    app.footer(ItemList("Exit status", ExitCodes()) + '\n' +
               ItemList("Environment", EnvironmentVariables()));
}

int FailureExitCode(const CLI::App &app)
{
    const std::vector<CLI::App *> parsed = app.get_subcommands();
    return !parsed.empty() && parsed.front()->get_name() == "diff" ? kExitTrouble : kExitFailure;
}

std::string UsageErrorText(const CLI::App &app, const CLI::ParseError &error,
                           const std::vector<std::string> &arguments)
{
    const std::vector<CLI::App *> parsed = app.get_subcommands();
    if (parsed.empty()) {
        // CLI11 calls a word that names no command a missing command; the word is what the
        // user needs to see.
        for (const std::string &argument : arguments)
            if (!argument.empty() && argument.front() != '-')
                return "unknown command \"" + argument + "\"; see kvb --help";
        for (const std::string &argument : arguments)
            if (!argument.empty())
                return "unknown option \"" + argument + "\"; see kvb --help";
        return "a command is needed; see kvb --help";
    }
    return OneLine(error.what()) + "; see kvb " + parsed.front()->get_name() + " --help";
}

} // namespace kvb::cli
