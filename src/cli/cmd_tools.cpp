// kvb create, analyse: the archive tools of the main window.
#include "cli/commands.h"

#include "archive/catalogue.h"
#include "tools/analysis.h"
#include "tools/creation.h"
#include "qt/name_compare.h"

#include <iostream>
#include <memory>

namespace kvb::cli {

namespace {

void Create(const std::string &folder, const std::string &output,
            const std::vector<std::string> &templateFolders)
{
    CreateArchive(folder, output, templateFolders, LocaleNameCompare());
}

void Analyse(const std::string &archive)
{
    TKVBFile catalogue(archive, true);
    std::vector<std::string> lines;
    // The lines before a failure are part of what the user sees.
    auto print = [&lines] {
        for (const auto &line : lines)
            std::cout << line << '\n';
    };
    try {
        AnalyseArchive(catalogue, ShownFileName(archive), lines);
    } catch (...) {
        print();
        throw;
    }
    print();
}

} // namespace

void RegisterToolCommands(CLI::App &app)
{
    struct Args {
        std::string folder, output, archive;
        std::vector<std::string> templates;
    };
    auto args = std::make_shared<Args>();

    auto *create = app.add_subcommand("create", "Build OUTPUT from every plain file of FOLDER");
    create->add_option("FOLDER", args->folder)->required();
    create->add_option("OUTPUT", args->output)->required();
    create->add_option("--templates", args->templates,
                       "Further folder to look for the template KVB.<count> in, after the "
                       "program's own folder (repeatable)")
        ->type_name("DIR");
    create->footer(kCreateWarning);
    create->callback([args] { Create(args->folder, args->output, args->templates); });

    auto *analyse = app.add_subcommand("analyse", "The structural report on an archive");
    analyse->add_option("ARCHIVE", args->archive)->required();
    analyse->callback([args] { Analyse(args->archive); });
}

} // namespace kvb::cli
