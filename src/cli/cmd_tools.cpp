// kvb create, analyse: the archive tools of the main window.
#include "cli/commands.h"
#include "cli/json_output.h"

#include "archive/catalogue.h"
#include "archive/edit_journal.h"
#include "archive/format.h"
#include "archive/text.h"
#include "game/game_folder.h"
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
#include <optional>

namespace kvb::cli {

namespace {

void Create(const std::string &folder, const std::string &output,
            const std::vector<std::string> &templateFolders)
{
    // The order the windows use, which comes from Qt; without Qt, the system's own.
#if KVB_WITH_QT
    const TCreatedArchive created = CreateArchive(folder, output, templateFolders, LocaleNameSort());
#else
    const TCreatedArchive created = CreateArchive(folder, output, templateFolders, SystemNameCompare());
#endif
    if (created.RecordNote)
        std::cerr << "kvb: " << *created.RecordNote << '\n';
    for (const std::string &warning : created.Warnings)
        std::cerr << "kvb: warning: " << warning << '\n';
}

ordered_json AnalysisJson(const TArchiveAnalysis &analysis, const std::string &archive)
{
    const auto optional = [](const std::optional<int64_t> &value) {
        return value ? ordered_json(*value) : ordered_json(nullptr);
    };
    ordered_json out;
    out["file"] = archive;
    out["header_size"] = analysis.HeaderSize;
    out["table_size"] = analysis.TableSize;
    out["validation_size"] = optional(analysis.ValidationSize);
    out["description_size"] = optional(analysis.DescriptionSize);
    out["name_mismatches"] = ordered_json::array();
    for (const TNameMismatch &mismatch : analysis.NameMismatches) {
        ordered_json entry;
        entry["number"] = mismatch.Index + 1;
        PutArchiveText(entry, "name", mismatch.Name);
        PutArchiveText(entry, "data_name", mismatch.DataName);
        out["name_mismatches"].push_back(entry);
    }
    out["gaps"] = ordered_json::array();
    for (const TDataGap &gap : analysis.Gaps) {
        ordered_json entry;
        entry["kind"] = gap.Size() > 0 ? "gap" : "overlap";
        entry["number"] = gap.Index + 1;
        PutArchiveText(entry, "name", gap.Name);
        entry["next_number"] = gap.NextIndex + 1;
        PutArchiveText(entry, "next_name", gap.NextName);
        entry["end"] = gap.End;
        entry["next_offset"] = gap.NextStart;
        entry["size"] = gap.Size() > 0 ? gap.Size() : -gap.Size();
        out["gaps"].push_back(entry);
    }
    out["lines"] = analysis.Lines;
    return out;
}

void Analyse(const std::string &archive, bool json)
{
    TKVBFile catalogue(archive, true);
    ShowNote(catalogue);
    const TArchiveAnalysis analysis = AnalyseArchive(catalogue, ShownFileName(archive));
    if (json) {
        PrintJson(AnalysisJson(analysis, archive));
        return;
    }
    for (const auto &line : analysis.Lines)
        std::cout << line << '\n';
}

void Replace(const std::string &archive, const std::vector<std::string> &pairs, const std::string &output,
             bool dryRun)
{
    std::vector<TReplacement> replacements;
    // The file that will be replaced has an interrupted edit settled before anything is read, so
    // that an archive cut short part way is put back and then rebuilt.
    if (!dryRun)
        if (std::optional<std::string> settled = SettleBeforeReplacing(output.empty() ? archive : output))
            std::cerr << "kvb: " << *settled << '\n';
    {
        TKVBFile catalogue(archive, false);
        ShowNote(catalogue);
        for (size_t i = 0; i + 1 < pairs.size(); i += 2)
            replacements.push_back({EntryIndex(catalogue, pairs[i], "replace"), pairs[i + 1]});
    }
    std::optional<std::string> note;
    const std::vector<TReplacedEntry> changes =
        dryRun ? PlanReplacement(archive, replacements)
               : ReplaceEntries(archive, replacements, output, {}, &note);
    if (note)
        std::cerr << "kvb: " << *note << '\n';
    for (const TReplacedEntry &change : changes)
        std::cout << change.TocIndex + 1 << '\t' << PrintableName(change.Name) << '\t' << change.OldLength
                  << '\t' << change.NewLength << '\n';
}

void GameFolder()
{
    const TGameFolderSearch search = SearchGameAppPath();
    if (!search.AppPath) {
        std::string searched;
        for (const std::string &file : search.Searched)
            searched += "\n  " + file;
        throw EKVBError("The game's install folder is recorded in none of these registry files:" +
                        searched);
    }
    std::cout << GameDataFolder(*search.AppPath) << "\n(from " << search.FoundIn << ")\n";
}

} // namespace

void RegisterToolCommands(CLI::App &app)
{
    struct Args {
        std::string folder, output, archive;
        std::vector<std::string> templates, pairs;
        bool dryRun = false, json = false;
    };
    auto args = std::make_shared<Args>();

    auto *create = app.add_subcommand("create", "Build OUTPUT from every plain file of FOLDER");
    create->add_option("FOLDER", args->folder, "The folder whose plain files become the entries")
        ->required();
    create
        ->add_option("OUTPUT", args->output,
                     "The archive to write; a file there is replaced once it is complete")
        ->required();
    create
        ->add_option("--templates", args->templates,
                     "Further folder to look for the template KVB.<count> in, after the "
                     "program's own folder (repeatable)")
        ->type_name("DIR");
    create->footer(kCreateWarning);
    create->callback([args] { Create(args->folder, args->output, args->templates); });

    auto *replace = app.add_subcommand(
        "replace", "Rebuild ARCHIVE with the data of entries replaced by files, keeping all else");
    replace->add_option("ARCHIVE", args->archive, "The archive to rebuild")->required();
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
    analyse->add_flag("--json", args->json, "One JSON object with the report's figures and lines");
    analyse->add_option("ARCHIVE", args->archive, "The archive (.KVB) to analyse")->required();
    analyse->callback([args] { Analyse(args->archive, args->json); });

    auto *gameFolder =
        app.add_subcommand("game-folder",
                           "The game's data folder, as the desktop program's start-up finds it");
    gameFolder->callback([] { GameFolder(); });
}

} // namespace kvb::cli
