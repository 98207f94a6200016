// kvb create, analyse: the archive tools of the main window.
#include "cli/commands.h"

#include "archive/catalogue.h"
#include "archive/format.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "tools/analysis.h"
#include "tools/creation.h"
#include "tools/rebuild.h"
#if KVB_WITH_QT
#include "qt/name_compare.h"
#else
#include "platform/collation.h"
#endif

#include <iostream>
#include <memory>

namespace kvb::cli {

namespace {

void Create(const std::string &folder, const std::string &output,
            const std::vector<std::string> &templateFolders)
{
    // The order the windows use, which comes from Qt; without Qt, the system's own.
#if KVB_WITH_QT
    CreateArchive(folder, output, templateFolders, LocaleNameCompare());
#else
    CreateArchive(folder, output, templateFolders, SystemNameCompare());
#endif
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

// ENTRY as typed: a record number, or a name as the archive compares names (ASCII case ignored)
// that exactly one record carries.
int32_t EntryIndex(const TKVBFile &catalogue, const std::string &entry)
{
    if (ParseDecimal(entry))
        return RecordIndex(entry, catalogue.EntryCount(), "entry");
    std::vector<int32_t> found;
    for (int32_t i = 0; i < catalogue.EntryCount(); ++i)
        if (SameName(catalogue.GetEntry(i).Name, entry))
            found.push_back(i);
    if (found.empty())
        throw EKVBError("The archive has no entry named " + entry);
    if (found.size() > 1) {
        std::string numbers;
        for (int32_t i : found)
            numbers += (numbers.empty() ? "" : ", ") + std::to_string(i + 1);
        throw EKVBError("Several records carry the name " + entry + " (" + numbers +
                        "); give the number of the one to replace");
    }
    return found.front();
}

void Replace(const std::string &archive, const std::vector<std::string> &pairs,
             const std::string &output, bool dryRun)
{
    std::vector<TReplacement> replacements;
    {
        TKVBFile catalogue(archive, false);
        for (size_t i = 0; i + 1 < pairs.size(); i += 2)
            replacements.push_back({EntryIndex(catalogue, pairs[i]), pairs[i + 1]});
    }
    const std::vector<TReplacedEntry> changes =
        dryRun ? PlanReplacement(archive, replacements)
               : ReplaceEntries(archive, replacements, output);
    for (const TReplacedEntry &change : changes)
        std::cout << change.TocIndex + 1 << '\t' << PrintableName(change.Name) << '\t'
                  << change.OldLength << '\t' << change.NewLength << '\n';
}

} // namespace

void RegisterToolCommands(CLI::App &app)
{
    struct Args {
        std::string folder, output, archive;
        std::vector<std::string> templates, pairs;
        bool dryRun = false;
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

    auto *replace = app.add_subcommand(
        "replace", "Rebuild ARCHIVE with the data of entries replaced by files, keeping all else");
    replace->add_option("ARCHIVE", args->archive)->required();
    replace
        ->add_option("ENTRY FILE", args->pairs,
                     "Entry (number from 1, or name) and the file that replaces its data; repeatable")
        ->required()
        ->expected(2, -1);
    replace->add_option("--output", args->output, "Write the new archive here; ARCHIVE stays as it is")
        ->type_name("NEW");
    replace->add_flag("--dry-run", args->dryRun,
                      "Print entry, name, old length and new length per replacement; write nothing");
    replace->callback([args] {
        if (args->pairs.size() % 2 != 0)
            throw CLI::ValidationError("ENTRY FILE", "each ENTRY needs a FILE");
        Replace(args->archive, args->pairs, args->output, args->dryRun);
    });

    auto *analyse = app.add_subcommand("analyse", "The structural report on an archive");
    analyse->add_option("ARCHIVE", args->archive)->required();
    analyse->callback([args] { Analyse(args->archive); });
}

} // namespace kvb::cli
