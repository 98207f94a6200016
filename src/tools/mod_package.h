// Mod packages (.kvbmod): the entries a mod changes or adds, in one zip file with a manifest
// naming the archive it applies to, so that a mod can be shared without the archive; and the undo
// packages (.kvbundo) that applying one leaves beside the archive, holding what it replaced. The
// layout of both is in docs/format.md.
//
// An entry the mod replaces is found in the target archive by its name, byte for byte, and by
// its place among the records of that name where the name repeats (the rule of diff.h), and must
// hold the length and checksum the original held. The archive's size and checksum are recorded
// for the reader only, so that a mod applies after another that changed other entries.
#pragma once

#include "archive/progress.h"
#include "tools/mod_manifest.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvb {

// One entry that applying (or reverting) changes.
struct TModChange {
    int32_t TocIndex = 0;             // the record in the target archive, from 0
    std::string Name;                 // as stored
    std::optional<int64_t> OldLength; // nothing for an added entry
    std::optional<int64_t> NewLength; // nothing for a removed one
};

// An entry of the target archive that is not what the package expects, in words:
// "entry 5 (FONT.TEX): 1234 bytes, checksum 0123456789abcdef; the mod expects 1772 bytes,
// checksum ...", or "entry FONT.TEX: not in the archive".
struct TModMismatch {
    std::string Name;
    std::string Text;
};

// What applying a package to an archive would do, found without writing anything.
struct TModPlan {
    std::string Name, Version;
    std::vector<TModChange> Changes; // replacements in record order, then additions
    std::vector<TModMismatch> Mismatches;
    // Set when entries are added and no validation template for the new count is found: what
    // it needs and where it was looked for ("Applying NAME adds 2 entries: the archive of 2,607
    // entries needs the template KVB.2607, which is in none of these folders: ..."), the detail
    // of the ENoTemplateError that applying raises.
    std::optional<std::string> MissingTemplate;
    // An undo package beside the archive records this mod as applied, and the archive holds it.
    bool AlreadyApplied = false;
    std::string UndoPackage;        // where applying writes the undo package
    std::vector<std::string> Notes; // what opening the archive found beside it
    bool CanApply() const { return Mismatches.empty() && !MissingTemplate && !AlreadyApplied; }
};

// kvb mod create: the package of what modded changes or adds to original, written to output
// through the safe writer (never over either archive). Entries that only original holds are
// refused (a mod does not remove entries), and so are changes the rebuild could not make where
// records share data. name and version describe the mod (name: the output's file name without
// its extension when empty). Returns warnings: differences the package does not carry (the
// header's creator, the description, a validation block changed without a change of count).
std::vector<std::string> CreateModPackage(const std::string &original, const std::string &modded,
                                          const std::string &output, const std::string &name,
                                          const std::string &version, const TProgress &progress = {});
// The same from the changed files of an export's folder made from original (PlanUpdate's rules,
// pictures encoded as kvb update encodes them).
std::vector<std::string> CreateModPackageFromFolder(const std::string &original,
                                                    const std::string &folder, const std::string &output,
                                                    const std::string &name, const std::string &version,
                                                    const TProgress &progress = {});

// The manifest of a package, read and checked against its own entries (every entry named is in
// the zip with the manifest's size; with checkData, also with its checksum). Refuses, naming the
// package: no zip, no manifest or one that cannot be read, a path that is no "entries/<n>", a size
// beyond an archive entry's, a name an archive cannot hold, a record replaced twice, an entry the
// zip lacks or whose size or checksum is not the manifest's.
TModManifest ReadModPackage(const std::string &package, bool checkData = true);

// What ApplyMod would do, writing nothing; templateFolders as for CreateArchive.
TModPlan PlanModApply(const std::string &archive, const std::string &package,
                      const std::vector<std::string> &templateFolders = {});

// Raises what ApplyMod raises when plan cannot be applied to archive: that the mod is applied
// already, that entries differ (each listed in the detail), that a template is missing.
void CheckApplicable(const std::string &archive, const TModPlan &plan);

// kvb mod apply: checks every entry the package replaces against the original's length and
// checksum and refuses, listing each one that differs and writing nothing, when any does (or
// when the mod is applied already, or the template for the new count is missing:
// ENoTemplateError). Otherwise one rebuild (ReplaceEntries' guarantees: locked from the first read
// to the last write, the old archive or the new one after any interruption) replaces the data and
// appends the added entries with the validation block for the new count; before the new archive
// takes its place the undo package is written beside it (UndoPackagePath). Returns the plan carried out.
TModPlan ApplyMod(const std::string &archive, const std::string &package,
                  const std::vector<std::string> &templateFolders = {}, const TProgress &progress = {});

// kvb mod revert: with the undo package that applying package left beside archive, puts back
// the bytes the mod replaced, removes the entries it added and restores the validation block, in
// one rebuild; byte for byte the archive as it was when nothing else changed since. Refuses,
// naming the entries and writing nothing, when any entry the mod wrote holds something else now.
// The undo package is removed once the archive is in place, and also when the archive is found
// to hold none of the mod (an apply cut short before its archive took its place).
// package may also be that undo package itself, which names the mod as the mod package does: the
// window reverts what AppliedMods lists without asking for the mod package.
struct TModRevert {
    std::vector<TModChange> Changes; // records put back, then records removed
    std::vector<std::string> Notes;  // what opening the archive found, and a stale undo package removed
};
TModRevert RevertMod(const std::string &archive, const std::string &package,
                     const TProgress &progress = {});

// The undo package that applying the mod named modName to archive writes:
// "<archive>.<modName's first 64 bytes, every one but ASCII letters, digits, '-' and '_' as
// '_'>.kvbundo".
std::string UndoPackagePath(const std::string &archive, const std::string &modName);

// A mod recorded as applied by an undo package beside the archive.
struct TAppliedMod {
    std::string Name, Version;
    std::string UndoPackage;
    // The archive holds every entry the mod wrote; false for the undo package of an apply cut
    // short before its archive took its place, or of a mod whose entries were changed since.
    bool InPlace = false;
};
// The undo packages beside archive, in file-name order; one that cannot be read is passed over.
std::vector<TAppliedMod> AppliedMods(const std::string &archive);

} // namespace kvb
