// kvb mod: the entries a mod changes or adds, packaged to share, applied to an archive and
// reverted.
#include "cli/commands.h"
#include "cli/json_output.h"

#include "archive/checksum.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "tools/mod_package.h"

#include <iostream>
#include <memory>

namespace kvb::cli {

namespace {

std::string Length(const std::optional<int64_t> &length)
{
    return length ? std::to_string(*length) : "-";
}

ordered_json Optional(const std::optional<int64_t> &value)
{
    return value ? ordered_json(*value) : ordered_json(nullptr);
}

// One line per change: record number, name, old length, new length ("-" for none).
void PrintChanges(const std::vector<TModChange> &changes)
{
    for (const TModChange &change : changes)
        std::cout << change.TocIndex + 1 << '\t' << PrintableName(change.Name) << '\t'
                  << Length(change.OldLength) << '\t' << Length(change.NewLength) << '\n';
}

ordered_json ChangesJson(const std::vector<TModChange> &changes)
{
    ordered_json out = ordered_json::array();
    for (const TModChange &change : changes) {
        ordered_json item;
        item["number"] = change.TocIndex + 1;
        PutArchiveText(item, "name", change.Name);
        item["old_length"] = Optional(change.OldLength);
        item["new_length"] = Optional(change.NewLength);
        out.push_back(item);
    }
    return out;
}

void PrintNotes(const std::vector<std::string> &notes)
{
    for (const std::string &note : notes)
        std::cerr << "kvb: " << note << '\n';
}

void Create(const std::string &original, const std::string &modded, const std::string &folder,
            const std::string &output, const std::string &name, const std::string &version)
{
    if (modded.empty() == folder.empty())
        throw CLI::ValidationError("MODDED", "give either MODDED or --from-folder FOLDER");
    const std::vector<std::string> warnings =
        folder.empty() ? CreateModPackage(original, modded, output, name, version)
                       : CreateModPackageFromFolder(original, folder, output, name, version);
    for (const std::string &warning : warnings)
        std::cerr << "kvb: warning: " << warning << '\n';
}

ordered_json InfoJson(const TModManifest &mod, const std::string &package)
{
    ordered_json out;
    out["package"] = package;
    out["name"] = mod.Name;
    out["version"] = mod.Version;
    out["original"] = {{"file", mod.OriginalFile},
                       {"size", mod.OriginalSize},
                       {"checksum", mod.OriginalChecksum
                                        ? ordered_json(ChecksumText(*mod.OriginalChecksum))
                                        : ordered_json(nullptr)},
                       {"count", mod.OriginalCount}};
    out["replaces"] = ordered_json::array();
    out["adds"] = ordered_json::array();
    for (const TModEntry &entry : mod.Entries) {
        ordered_json item;
        if (entry.Replaces) {
            for (const TModOriginalEntry &original : mod.Originals)
                if (original.Index == *entry.Replaces) {
                    item["number"] = original.Index + 1;
                    PutArchiveText(item, "name", original.Name);
                    item["occurrence"] = original.Occurrence + 1;
                    item["old_length"] = original.Length;
                    item["old_checksum"] = ChecksumText(original.Checksum);
                }
        } else {
            PutArchiveText(item, "name", entry.AddedName);
        }
        item["length"] = entry.Length;
        item["checksum"] = ChecksumText(entry.Checksum);
        out[entry.Replaces ? "replaces" : "adds"].push_back(item);
    }
    return out;
}

void Info(const std::string &package, bool json)
{
    const TModManifest mod = ReadModPackage(package, true);
    if (json) {
        PrintJson(InfoJson(mod, package));
        return;
    }
    size_t added = 0;
    for (const TModEntry &entry : mod.Entries)
        added += entry.Replaces ? 0 : 1;
    std::cout << "mod: " << mod.Name << "\nversion: " << mod.Version << "\nmade for: " << mod.OriginalFile
              << ", " << mod.OriginalSize << " bytes, " << mod.OriginalCount
              << " entries\nreplaces: " << mod.Originals.size() << "\nadds: " << added << '\n';
    for (const TModEntry &entry : mod.Entries) {
        if (!entry.Replaces) {
            std::cout << "adds\t-\t" << PrintableName(entry.AddedName) << "\t-\t" << entry.Length << '\n';
            continue;
        }
        for (const TModOriginalEntry &original : mod.Originals)
            if (original.Index == *entry.Replaces)
                std::cout << "replaces\t" << original.Index + 1 << '\t' << PrintableName(original.Name)
                          << '\t' << original.Length << '\t' << entry.Length << '\n';
    }
}

ordered_json PlanJson(const TModPlan &plan, const std::string &archive, const std::string &package,
                      bool dryRun)
{
    ordered_json out;
    out["archive"] = archive;
    out["package"] = package;
    out["name"] = plan.Name;
    out["version"] = plan.Version;
    out["dry_run"] = dryRun;
    out["undo_package"] = plan.UndoPackage;
    out["changes"] = ChangesJson(plan.Changes);
    out["mismatches"] = ordered_json::array();
    for (const TModMismatch &mismatch : plan.Mismatches)
        out["mismatches"].push_back(mismatch.Text);
    out["missing_template"] = plan.MissingTemplate ? ordered_json(*plan.MissingTemplate)
                                                   : ordered_json(nullptr);
    out["already_applied"] = plan.AlreadyApplied;
    return out;
}

void Apply(const std::string &archive, const std::string &package,
           const std::vector<std::string> &templates, bool dryRun, bool json)
{
    const TModPlan plan = dryRun ? PlanModApply(archive, package, templates)
                                 : ApplyMod(archive, package, templates);
    PrintNotes(plan.Notes);
    if (json)
        PrintJson(PlanJson(plan, archive, package, dryRun));
    else if (plan.CanApply())
        PrintChanges(plan.Changes);
    CheckApplicable(archive, plan);
}

void Revert(const std::string &archive, const std::string &package, bool json)
{
    const TModRevert reverted = RevertMod(archive, package);
    PrintNotes(reverted.Notes);
    if (!json) {
        PrintChanges(reverted.Changes);
        return;
    }
    ordered_json out;
    out["archive"] = archive;
    out["package"] = package;
    out["changes"] = ChangesJson(reverted.Changes);
    PrintJson(out);
}

} // namespace

void RegisterModCommands(CLI::App &app)
{
    struct Args {
        std::string original, modded, folder, output, name, version = "1", archive, package;
        std::vector<std::string> templates;
        bool dryRun = false, json = false;
    };
    auto args = std::make_shared<Args>();

    auto *mod = app.add_subcommand("mod",
                                   "Share a mod as a package of the entries it changes or adds, apply "
                                   "one to an archive and revert it");
    mod->require_subcommand(1);

    auto *create = mod->add_subcommand("create",
                                       "Package what MODDED (or an export's FOLDER) changes or adds "
                                       "to ORIGINAL");
    create->add_option("ORIGINAL", args->original, "The archive the mod is made for")->required();
    create->add_option("MODDED", args->modded, "The same archive with the mod in it");
    create
        ->add_option(
            "--from-folder", args->folder,
            "Take the changed files of this folder, written by kvb export from ORIGINAL, instead "
            "of MODDED")
        ->type_name("FOLDER");
    create
        ->add_option("-o,--output", args->output,
                     "The package to write (NAME.kvbmod); a file there is replaced once it is complete")
        ->type_name("PACKAGE")
        ->required();
    create->add_option("--name", args->name, "The mod's name (default: the package's file name)")
        ->type_name("NAME");
    create->add_option("--version", args->version, "The mod's version")
        ->type_name("VERSION")
        ->capture_default_str();
    create->callback([args] {
        Create(args->original, args->modded, args->folder, args->output, args->name, args->version);
    });

    auto *apply = mod->add_subcommand("apply",
                                      "Put the entries of PACKAGE into ARCHIVE, keeping what they "
                                      "replace in an undo package beside it");
    apply->add_option("ARCHIVE", args->archive, "The archive to change")->required();
    apply->add_option("PACKAGE", args->package, "The mod package (.kvbmod)")->required();
    apply
        ->add_option("--templates", args->templates,
                     "Further folder to look for the template KVB.<count> in, for a mod that adds "
                     "entries (repeatable)")
        ->type_name("DIR");
    apply->add_flag(
        "--dry-run", args->dryRun,
        "Print entry, name, old length and new length (- for none) per change; write nothing");
    apply->add_flag("--json", args->json, "One JSON object with the changes and what does not fit");
    apply->callback(
        [args] { Apply(args->archive, args->package, args->templates, args->dryRun, args->json); });

    auto *revert = mod->add_subcommand("revert",
                                       "Put back into ARCHIVE what applying PACKAGE replaced, from "
                                       "the undo package beside it");
    revert->add_option("ARCHIVE", args->archive, "The archive the mod was applied to")->required();
    revert->add_option("PACKAGE", args->package, "The mod package (.kvbmod) that was applied")
        ->required();
    revert->add_flag("--json", args->json, "One JSON object with the changes");
    revert->callback([args] { Revert(args->archive, args->package, args->json); });

    auto *info = mod->add_subcommand("info", "What a mod package holds and which archive it is made for");
    info->add_option("PACKAGE", args->package, "The mod package (.kvbmod)")->required();
    info->add_flag("--json", args->json, "One JSON object with every entry");
    info->callback([args] { Info(args->package, args->json); });
}

} // namespace kvb::cli
