// Writes kvb's manual page, or the table its bash completion works from, out of the same
// definitions that kvb's --help shows, so that neither can differ from the program.
//
//   kvb-docs man DATE      the page in troff, DATE (YYYY-MM-DD) as its date
//   kvb-docs completion    bash: the commands, each one's options and arguments
#include "cli/application.h"

#include <iostream>
#include <string>
#include <vector>

namespace {

using kvb::cli::TDocumentedItem;

// Text as troff prints it literally: no request at a line's start, no escapes, and every hyphen
// a minus sign, as in options and paths.
std::string Troff(const std::string &text)
{
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\''))
            out += "\\&";
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
        lineStart = c == '\n';
    }
    return out;
}

// Flags have no value, and so no name for it.
bool IsFlag(const CLI::Option *option)
{
    return option->get_type_name().empty();
}

std::vector<const CLI::Option *> Options(const CLI::App &command)
{
    return command.get_options([](const CLI::Option *o) { return o->nonpositional(); });
}

std::vector<const CLI::Option *> Positionals(const CLI::App &command)
{
    return command.get_options([](const CLI::Option *o) { return !o->nonpositional(); });
}

bool Repeated(const CLI::Option *positional)
{
    return positional->get_expected_max() > 1;
}

// "--output NEW" for an option that takes a value, "--yes" for a flag.
std::string OptionUsage(const CLI::Option *option)
{
    std::string names = option->get_name(false, true);
    for (size_t i = names.find(','); i != std::string::npos; i = names.find(',', i + 2))
        names.replace(i, 1, ", ");
    return IsFlag(option) ? names : names + " " + option->get_type_name();
}

std::vector<const CLI::App *> Subcommands(const CLI::App &app)
{
    const auto all = app.get_subcommands([](const CLI::App *) { return true; });
    return {all.begin(), all.end()};
}

// path: the words that lead to the command ("mod create").
std::string Synopsis(const CLI::App &command, const std::string &path)
{
    std::string text = "kvb " + path;
    for (const CLI::Option *option : Options(command))
        if (option->get_name() != "--help")
            text += " [" + OptionUsage(option) + "]";
    for (const CLI::Option *positional : Positionals(command)) {
        const std::string name = positional->get_name();
        text += " " + (positional->get_required() ? name : "[" + name + "]");
        if (Repeated(positional))
            text += " [" + name + "]...";
    }
    return text;
}

void ItemList(const std::string &section, const std::vector<TDocumentedItem> &items)
{
    std::cout << ".SH " << section << "\n";
    for (const TDocumentedItem &item : items)
        std::cout << ".TP\n.B " << Troff(item.Name) << "\n" << Troff(item.Meaning) << "\n";
}

void CommandSection(const CLI::App &command, const std::string &path)
{
    std::cout << ".SS \"" << Troff(Synopsis(command, path)) << "\"\n"
              << Troff(command.get_description()) << "\n";
    for (const CLI::Option *positional : Positionals(command))
        if (!positional->get_description().empty())
            std::cout << ".TP\n.I " << Troff(positional->get_name()) << "\n"
                      << Troff(positional->get_description()) << "\n";
    for (const CLI::Option *option : Options(command)) {
        if (option->get_name() == "--help")
            continue;
        std::cout << ".TP\n.B " << Troff(OptionUsage(option)) << "\n" << Troff(option->get_description());
        if (!option->get_default_str().empty())
            std::cout << " (default: " << Troff(option->get_default_str()) << ")";
        std::cout << "\n";
    }
    if (!command.get_footer().empty())
        std::cout << ".PP\n" << Troff(command.get_footer()) << "\n";
}

void ManualPage(const CLI::App &app, const std::string &date)
{
    // "Lists ... archives." as the one line of the page's name: "lists ... archives".
    std::string what = app.get_description();
    if (!what.empty() && what.back() == '.')
        what.pop_back();
    if (!what.empty() && what.front() >= 'A' && what.front() <= 'Z')
        what.front() = char(what.front() - 'A' + 'a');
    std::cout << ".TH KVB 1 \"" << date << "\" \"kvb " << KVB_VERSION << "\" \"User Commands\"\n"
              << ".SH NAME\nkvb \\- " << Troff(what) << "\n"
              << ".SH SYNOPSIS\n.B kvb\n.I COMMAND\n[\\fIOPTIONS\\fR] [\\fIARGUMENTS\\fR]\n"
              << ".br\n.B kvb\n\\-\\-help | \\-\\-version\n.br\n.B kvb\n.I COMMAND\n"
              << "\\-\\-help\n"
              << ".SH DESCRIPTION\n"
              << Troff(app.get_description()) << "\n"
              << "Each command is described below with its options and arguments; "
                 "\\fBkvb\\fR \\fICOMMAND\\fR \\fB\\-\\-help\\fR prints the same.\n"
              << ".SH OPTIONS\n";
    for (const CLI::Option *option : Options(app))
        std::cout << ".TP\n.B " << Troff(OptionUsage(option)) << "\n"
                  << Troff(option->get_description()) << "\n";
    std::cout << ".SH COMMANDS\n";
    for (const CLI::App *command : Subcommands(app)) {
        const std::vector<const CLI::App *> subcommands = Subcommands(*command);
        if (subcommands.empty()) {
            CommandSection(*command, command->get_name());
            continue;
        }
        // A command of several (kvb mod): its own line, then each of them.
        std::cout << ".SS \"kvb " << Troff(command->get_name()) << " COMMAND\"\n"
                  << Troff(command->get_description()) << "\n";
        for (const CLI::App *subcommand : subcommands)
            CommandSection(*subcommand, command->get_name() + " " + subcommand->get_name());
    }
    ItemList("EXIT STATUS", kvb::cli::ExitCodes());
    ItemList("ENVIRONMENT", kvb::cli::EnvironmentVariables());
    std::cout << ".SH \"SEE ALSO\"\n.BR kvbview (1)\n";
}

// One case of _kvb_command_table: the command's options, valued options and arguments, and the
// commands under it (kvb mod's).
void CompletionCase(const CLI::App &command, const std::string &path)
{
    std::string options, valued, arguments, subcommands;
    for (const CLI::Option *option : Options(command)) {
        for (const std::string &name : option->get_lnames())
            options += (options.empty() ? "--" : " --") + name;
        for (const std::string &name : option->get_snames())
            options += (options.empty() ? "-" : " -") + name;
        if (!IsFlag(option)) {
            for (const std::string &name : option->get_lnames())
                valued += (valued.empty() ? "--" : " --") + name + ":" + option->get_type_name();
            for (const std::string &name : option->get_snames())
                valued += (valued.empty() ? "-" : " -") + name + ":" + option->get_type_name();
        }
    }
    bool repeating = false;
    for (const CLI::Option *positional : Positionals(command)) {
        if (Repeated(positional) && !repeating) {
            arguments += arguments.empty() ? "..." : " ...";
            repeating = true;
        }
        // "ENTRY FILE" is one option of two values each time.
        arguments += (arguments.empty() ? "" : " ") + positional->get_name();
    }
    for (const CLI::App *subcommand : Subcommands(command))
        subcommands += (subcommands.empty() ? "" : " ") + subcommand->get_name();
    std::cout << "        '" << path << "')\n            _kvb_options='" << options
              << "'\n            _kvb_valued='" << valued << "'\n            _kvb_arguments='"
              << arguments << "'\n            _kvb_subcommands='" << subcommands << "'\n            ;;\n";
}

// bash: _kvb_commands, and _kvb_command_table COMMAND, which sets _kvb_options (every option),
// _kvb_valued (those that take a value, as OPTION:VALUE-NAME), _kvb_arguments (the arguments'
// names in order; a name after "..." repeats with those after it in turn) and _kvb_subcommands
// (the commands under it, looked up as "COMMAND SUBCOMMAND").
void CompletionTable(const CLI::App &app)
{
    const std::vector<const CLI::App *> commands = Subcommands(app);
    std::cout << "# Generated from kvb's own definitions of its commands.\n_kvb_commands='";
    for (size_t i = 0; i < commands.size(); ++i)
        std::cout << (i ? " " : "") << commands[i]->get_name();
    std::cout << "'\n_kvb_command_table()\n{\n    case $1 in\n";
    for (const CLI::App *command : commands) {
        CompletionCase(*command, command->get_name());
        for (const CLI::App *subcommand : Subcommands(*command))
            CompletionCase(*subcommand, command->get_name() + " " + subcommand->get_name());
    }
    std::cout << "        *) return 1 ;;\n    esac\n}\n";
}

} // namespace

int main(int argc, char **argv)
{
    CLI::App app;
    kvb::cli::DescribeKvb(app);
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "man" && argc == 3) {
        ManualPage(app, argv[2]);
    } else if (what == "completion" && argc == 2) {
        CompletionTable(app);
    } else {
        std::cerr << "usage: kvb-docs man DATE | kvb-docs completion\n";
        return 2;
    }
    return std::cout.flush() ? 0 : 1;
}
