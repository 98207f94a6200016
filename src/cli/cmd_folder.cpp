// kvb export, update: a whole archive out into a folder of files, and the changed files back.
#include "cli/commands.h"
#include "cli/json_output.h"

#include "archive/extract.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "tools/export.h"
#include "tools/update.h"

#include <iostream>
#include <memory>

namespace kvb::cli {

namespace {

const char *FormatName(TFileFormat format)
{
    return format == TFileFormat::Png ? "png" : "bytes";
}

ordered_json ExportJson(const TExportResult &result, const std::string &archive,
                        const std::string &folder)
{
    ordered_json out;
    out["archive"] = archive;
    out["folder"] = folder;
    out["files"] = result.Written;
    out["entries"] = ordered_json::array();
    for (const TManifestEntry &entry : result.Manifest.Entries) {
        ordered_json item;
        item["number"] = entry.Index + 1;
        PutArchiveText(item, "name", entry.Name);
        item["length"] = entry.Length;
        item["file"] = entry.File ? ordered_json(*entry.File) : ordered_json(nullptr);
        item["format"] = entry.File ? ordered_json(FormatName(entry.Format)) : ordered_json(nullptr);
        out["entries"].push_back(item);
    }
    out["warnings"] = result.Warnings;
    return out;
}

void Export(const std::string &archive, const std::string &folder, bool png, bool json)
{
    const TExportResult result = ExportArchive(archive, folder, TExportOptions{png});
    if (result.Note)
        std::cerr << "kvb: " << *result.Note << '\n';
    for (const std::string &warning : result.Warnings)
        std::cerr << "kvb: warning: " << warning << '\n';
    if (json)
        PrintJson(ExportJson(result, archive, folder));
    if (result.PassedOver)
        throw EUnextractedNames(*result.PassedOver);
}

ordered_json UpdateJson(const TUpdatePlan &plan, const std::string &archive, const std::string &folder,
                        const std::string &output, bool dryRun)
{
    ordered_json out;
    out["archive"] = archive;
    out["folder"] = folder;
    out["output"] = output.empty() ? ordered_json(nullptr) : ordered_json(output);
    out["dry_run"] = dryRun;
    out["changes"] = ordered_json::array();
    for (const TUpdateChange &change : plan.Changes) {
        ordered_json item;
        item["number"] = change.TocIndex + 1;
        PutArchiveText(item, "name", change.Name);
        item["file"] = change.File;
        item["format"] = FormatName(change.Format);
        item["old_length"] = change.OldLength;
        item["new_length"] = change.NewLength;
        if (change.Format == TFileFormat::Png)
            item["colour_changes"] = {{"pixels", change.Colours.Pixels},
                                      {"of", change.Colours.Of},
                                      {"largest", change.Colours.Largest}};
        else
            item["colour_changes"] = nullptr;
        out["changes"].push_back(item);
    }
    out["unchanged"] = plan.Unchanged;
    out["read"] = plan.Read;
    out["missing"] = plan.Missing;
    out["ignored"] = plan.Ignored;
    return out;
}

void Update(const std::string &archive, const std::string &folder, const std::string &output,
            const TUpdateOptions &options, bool dryRun, bool json)
{
    const TUpdatePlan plan = dryRun ? PlanUpdate(archive, folder, options)
                                    : UpdateArchive(archive, folder, options, output);
    for (const std::string &note : plan.Notes)
        std::cerr << "kvb: " << note << '\n';
    for (const TUpdateChange &change : plan.Changes)
        if (change.Colours.Pixels > 0)
            std::cerr << "kvb: warning: entry " << change.TocIndex + 1 << " \""
                      << PrintableName(change.Name)
                      << "\": " << ColourChangeText(change.Colours, change.File)
                      << (options.NewPalette
                              ? " Its new palette holds at most as many colours as the old one."
                              : " They are shown in the nearest colours of the palette; "
                                "--new-palette makes a new palette instead.")
                      << '\n';
    if (json) {
        PrintJson(UpdateJson(plan, archive, folder, output, dryRun));
        return;
    }
    for (const TUpdateChange &change : plan.Changes)
        std::cout << change.TocIndex + 1 << '\t' << PrintableName(change.Name) << '\t' << change.OldLength
                  << '\t' << change.NewLength << '\t'
                  << (change.Format == TFileFormat::Png ? std::to_string(change.Colours.Pixels) : "-")
                  << '\n';
}

} // namespace

void RegisterFolderCommands(CLI::App &app)
{
    struct Args {
        std::string archive, folder, output;
        bool png = false, json = false, dryRun = false, newPalette = false, ignoreExtra = false;
    };
    auto args = std::make_shared<Args>();

    auto *exportCommand =
        app.add_subcommand("export",
                           "Copy every entry into FOLDER with a manifest, for kvb update to put back");
    exportCommand->add_option("ARCHIVE", args->archive, "The archive (.KVB) to read")->required();
    exportCommand
        ->add_option("FOLDER", args->folder,
                     "The folder to write the files and the manifest " + std::string(kManifestName) +
                         " into; made when missing")
        ->required();
    exportCommand->add_flag("--png", args->png,
                            "Write each texture (.TEX) as a PNG picture, NAME.png, where the "
                            "picture gives the texture back byte for byte");
    exportCommand->add_flag("--json", args->json, "One JSON object with every entry's file");
    exportCommand->callback([args] { Export(args->archive, args->folder, args->png, args->json); });

    auto *update =
        app.add_subcommand("update",
                           "Put every file of FOLDER that changed since kvb export back into ARCHIVE");
    update->add_option("ARCHIVE", args->archive, "The archive the folder was exported from")->required();
    update->add_option("FOLDER", args->folder, "The folder kvb export wrote")->required();
    update->add_option("--output", args->output, "Write the new archive here; ARCHIVE stays as it is")
        ->type_name("NEW");
    update->add_flag("--dry-run", args->dryRun,
                     "Print entry, name, old length, new length and the pixels that change "
                     "colour (- for a file of bytes) per change; write nothing");
    update->add_flag("--new-palette", args->newPalette,
                     "Give a picture with colours its texture's palette lacks a new palette of "
                     "at most as many colours, instead of mapping them to the nearest ones");
    update->add_flag("--ignore-extra", args->ignoreExtra,
                     "Pass over files that belong to no entry, instead of refusing the update");
    update->add_flag("--json", args->json, "One JSON object with the changes");
    update->callback([args] {
        Update(args->archive, args->folder, args->output,
               TUpdateOptions{args->newPalette, args->ignoreExtra}, args->dryRun, args->json);
    });
}

} // namespace kvb::cli
