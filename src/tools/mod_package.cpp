#include "tools/mod_package.h"

#include "archive/checksum.h"
#include "archive/edit_journal.h"
#include "archive/format.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/listing.h"
#include "platform/paths.h"
#include "tools/creation.h"
#include "tools/mod_file.h"
#include "tools/mod_state.h"
#include "tools/rebuild.h"

#include <algorithm>
#include <map>

namespace kvb {

namespace {

// Applying one package to one archive: what it finds in the archive, the rebuild that follows,
// and the undo package written before the new archive takes its place.
class TModApply {
public:
    TModApply(const std::string &archive, const std::string &package,
              const std::vector<std::string> &templateFolders, bool checkData)
        : archive_(archive),
          package_(package, "Mod package", checkData),
          templateFolders_(templateFolders)
    {
        const TModManifest &mod = package_.Manifest();
        if (mod.Undo)
            package_.Refuse("it is an undo package, which kvb mod revert reads beside the archive");
        plan_.Name = mod.Name;
        plan_.Version = mod.Version;
        plan_.UndoPackage = UndoPackagePath(archive, mod.Name);
    }

    TModPlan &Plan() { return plan_; }

    // Looks at the archive, as the rebuild holds it or as a plan reads it.
    void Examine(const TFileStream &file)
    {
        file_ = &file;
        state_.emplace(file);
        const TModManifest &mod = package_.Manifest();
        CheckUndoPackage();
        std::map<int32_t, int32_t> targets; // the original's record -> the archive's
        for (const TModOriginalEntry &original : mod.Originals) {
            int32_t index = -1;
            if (std::optional<TModMismatch> mismatch =
                    state_->CompareNamed(original, "the mod expects", &index))
                plan_.Mismatches.push_back(std::move(*mismatch));
            else
                targets[original.Index] = index;
        }
        for (const TModEntry &entry : mod.Entries) {
            if (!entry.Replaces) {
                added_.push_back(&entry);
                continue;
            }
            const auto target = targets.find(*entry.Replaces);
            if (target == targets.end())
                continue;
            replaced_.push_back({&entry, &Original(*entry.Replaces), target->second});
        }
        std::sort(replaced_.begin(), replaced_.end(),
                  [](const TReplaced &a, const TReplaced &b) { return a.target < b.target; });
        for (const TReplaced &r : replaced_)
            plan_.Changes.push_back({r.target, r.original->Name, r.original->Length, r.entry->Length});
        const int32_t count = state_->Count();
        for (size_t a = 0; a < added_.size(); ++a)
            plan_.Changes.push_back(
                {count + int32_t(a), added_[a]->AddedName, std::nullopt, added_[a]->Length});
        if (!added_.empty())
            FindTemplate();
    }

    // The rebuild that applies the mod; Examine found nothing against it.
    TRebuild Rebuild() const
    {
        TRebuild changes;
        for (const TReplaced &r : replaced_)
            changes.Replacements.emplace_back(r.target, r.entry->Length,
                                              [this, entry = r.entry] { return package_.Read(*entry); });
        for (const TModEntry *entry : added_)
            changes.Appended.push_back({NameToField(entry->AddedName), entry->Reserved1, entry->Reserved2,
                                        entry->Length, [this, entry] { return package_.Read(*entry); }});
        if (!added_.empty())
            changes.Validation = validation_;
        changes.Sources = {&package_.Stream()};
        return changes;
    }

    // Before the new archive takes its place: what it replaces, in the undo package beside it.
    void WriteUndo() const
    {
        const TModManifest &mod = package_.Manifest();
        const TArchiveState &state = *state_;
        TModManifest undo;
        undo.Undo = true;
        undo.Name = mod.Name;
        undo.Version = mod.Version;
        undo.OriginalFile = FileNameOf(archive_);
        undo.OriginalCount = state.Count() + int32_t(added_.size());
        int64_t size = file_->Size() + int64_t(added_.size()) * kTocRecordSize;
        TPackageWriter writer(plan_.UndoPackage, TOutputKind::Durable, {file_, &package_.Stream()},
                              false);
        for (const TReplaced &r : replaced_) {
            TModOriginalEntry written = *r.original;
            written.Index = r.target;
            written.Length = r.entry->Length;
            written.Checksum = r.entry->Checksum;
            undo.Originals.push_back(written);
            const int64_t position = DataPosition(state.OffsetOf(r.target));
            TModEntry kept = writer.Add(state.Data(position, r.original->Length));
            if (kept.Checksum != r.original->Checksum)
                throw EKVBError("Archive " + archive_ + " changed while " + mod.Name +
                                " was being applied");
            kept.Replaces = r.target;
            undo.Entries.push_back(kept);
            size += r.entry->Length - r.original->Length;
        }
        std::map<std::string, int32_t> names;
        for (size_t a = 0; a < added_.size(); ++a) {
            const TModEntry &entry = *added_[a];
            int32_t &seen =
                names.try_emplace(entry.AddedName, state.RecordsNamed(entry.AddedName)).first->second;
            undo.Added.push_back(
                {state.Count() + int32_t(a), entry.AddedName, seen++, entry.Length, entry.Checksum});
            size += EntryEnd(0, entry.Length);
        }
        if (!added_.empty()) {
            const int64_t start = TocEnd(state.Count());
            undo.Validation =
                writer.Add(kUndoValidationName, state.Data(start, state.FirstData() - start));
            size += int64_t(validation_.size()) - undo.Validation->Length;
        }
        undo.OriginalSize = size;
        writer.Finish(undo);
    }

private:
    struct TReplaced {
        const TModEntry *entry;
        const TModOriginalEntry *original;
        int32_t target;
    };

    const TModOriginalEntry &Original(int32_t index) const
    {
        for (const TModOriginalEntry &original : package_.Manifest().Originals)
            if (original.Index == index)
                return original;
        throw EKVBError("Mod package " + package_.Path() + " has no record " + std::to_string(index + 1));
    }

    // An undo package already where this mod's goes: this mod's, applied (refused), or left by an
    // apply cut short or a revert cut short (replaced); another mod's is never replaced.
    void CheckUndoPackage()
    {
        if (!LookUpEntry(TOpenFolder(ParentOf(plan_.UndoPackage)), FileNameOf(plan_.UndoPackage)))
            return;
        const TPackageFile undo(plan_.UndoPackage, "Undo package", false);
        if (!undo.Manifest().Undo || undo.Manifest().Name != plan_.Name)
            undo.Refuse("it stands where the undo package of " + plan_.Name +
                        " goes, and is not that; move it away to apply the mod");
        if (ChangedSinceApplied(undo.Manifest(), *state_).empty())
            plan_.AlreadyApplied = true;
        else if (!HoldsWhatTheModReplaced(undo.Manifest(), *state_))
            undo.Refuse("it records " + plan_.Name +
                        " as applied, and the archive holds neither the mod nor what it replaced; "
                        "revert it or move the undo package away to apply the mod again");
    }

    static std::string ParentOf(const std::string &path)
    {
        const std::string parent = ParentFolderOf(path);
        return parent.empty() ? "." : parent;
    }

    void FindTemplate()
    {
        const int32_t count = state_->Count() + int32_t(added_.size());
        const std::string purpose = "Applying " + plan_.Name + " adds " +
                                    Grouped(int64_t(added_.size())) +
                                    (added_.size() == 1 ? " entry" : " entries") + ": the archive of " +
                                    Grouped(count) + " entries";
        try {
            const std::unique_ptr<TFileStream> found = OpenTemplate(count, templateFolders_, purpose);
            const int64_t size = found->OpenedSize();
            if (size > INT32_MAX)
                throw EKVBError("Template " + found->FileName() + " is too large for an archive");
            validation_.assign(size_t(size), '\0');
            if (found->ReadAt(0, validation_.data(), size) != size)
                throw EReadError("Reading " + found->FileName() + ": it ends before its size says");
        } catch (const ENoTemplateError &e) {
            plan_.MissingTemplate = e.Detail();
        }
    }

    std::string archive_;
    TPackageFile package_;
    std::vector<std::string> templateFolders_;
    TModPlan plan_;
    const TFileStream *file_ = nullptr;
    std::optional<TArchiveState> state_;
    std::vector<TReplaced> replaced_;
    std::vector<const TModEntry *> added_;
    std::string validation_;
};

} // namespace

void CheckApplicable(const std::string &archive, const TModPlan &plan)
{
    if (plan.AlreadyApplied)
        throw EKVBError("Mod " + plan.Name + " is applied to " + archive + " already (" +
                        plan.UndoPackage + " records it); nothing was written");
    if (!plan.Mismatches.empty())
        throw EKVBError("Mod " + plan.Name + " does not fit archive " + archive +
                            ", which is not the version it was made for; nothing was written",
                        JoinMismatches(plan.Mismatches));
    if (plan.MissingTemplate)
        throw ENoTemplateError(kNoTemplateMessage, *plan.MissingTemplate);
}

std::string UndoPackagePath(const std::string &archive, const std::string &modName)
{
    // Short enough that the name fits a file system's 255 bytes beside any usual archive name.
    constexpr size_t kMaxNameInFile = 64;
    std::string name;
    for (const char c : modName.substr(0, kMaxNameInFile)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '_';
        name += plain ? c : '_';
    }
    return archive + "." + name + kUndoPackageExtension;
}

TModManifest ReadModPackage(const std::string &package, bool checkData)
{
    return TPackageFile(package, "Mod package", checkData).Manifest();
}

TModPlan PlanModApply(const std::string &archive, const std::string &package,
                      const std::vector<std::string> &templateFolders)
{
    TModApply apply(archive, package, templateFolders, true);
    const TFileStream file(archive, TFileStream::Mode::OpenRead);
    if (std::optional<std::string> note = TEditJournal(archive).CheckBeforeReading(file))
        apply.Plan().Notes.push_back(*note);
    apply.Examine(file);
    if (apply.Plan().CanApply())
        PlanRebuild(file, archive, apply.Rebuild());
    return apply.Plan();
}

TModPlan ApplyMod(const std::string &archive, const std::string &package,
                  const std::vector<std::string> &templateFolders, const TProgress &progress)
{
    TModApply apply(archive, package, templateFolders, false);
    std::optional<std::string> note;
    RebuildArchive(
        archive,
        [&](const TFileStream &file) {
            apply.Examine(file);
            CheckApplicable(archive, apply.Plan());
            return apply.Rebuild();
        },
        "", progress, &note, [&](const std::string &) { apply.WriteUndo(); });
    if (note)
        apply.Plan().Notes.push_back(*note);
    return apply.Plan();
}

TModRevert RevertMod(const std::string &archive, const std::string &package, const TProgress &progress)
{
    const std::string name = ReadModPackage(package, false).Name;
    const std::string undoPath = UndoPackagePath(archive, name);
    if (!LookUpPlainFile(undoPath))
        throw EKVBError("Mod " + name + " is not recorded as applied to " + archive +
                        ": there is no undo package " + undoPath + " beside it");
    const TPackageFile undo(undoPath, "Undo package", false);
    const TModManifest &manifest = undo.Manifest();
    if (!manifest.Undo || manifest.Name != name)
        undo.Refuse("it is not the undo package of " + name);

    TModRevert result;
    bool stale = false;
    std::optional<std::string> note;
    RebuildArchive(
        archive,
        [&](const TFileStream &file) {
            const TArchiveState state(file);
            const std::vector<TModMismatch> changed = ChangedSinceApplied(manifest, state);
            if (!changed.empty()) {
                if (HoldsWhatTheModReplaced(manifest, state)) {
                    stale = true;
                    return TRebuild();
                }
                throw EKVBError("Mod " + name + " cannot be reverted on " + archive +
                                    ": entries have changed since it was applied; nothing was written",
                                JoinMismatches(changed));
            }
            TRebuild changes;
            for (const TModEntry &entry : manifest.Entries) {
                changes.Replacements.emplace_back(*entry.Replaces, entry.Length,
                                                  [&undo, &entry] { return undo.Read(entry); });
                const auto written = std::find_if(manifest.Originals.begin(), manifest.Originals.end(),
                                                  [&](const TModOriginalEntry &original) {
                                                      return original.Index == *entry.Replaces;
                                                  });
                result.Changes.push_back({*entry.Replaces, written->Name, written->Length, entry.Length});
            }
            for (const TModOriginalEntry &entry : manifest.Added)
                result.Changes.push_back({entry.Index, entry.Name, entry.Length, std::nullopt});
            changes.DropLast = int32_t(manifest.Added.size());
            if (manifest.Validation)
                changes.Validation = undo.Read(*manifest.Validation);
            changes.Sources = {&undo.Stream()};
            return changes;
        },
        "", progress, &note);
    if (note)
        result.Notes.push_back(*note);
    RemoveFileOrRaise(undoPath);
    if (stale)
        result.Notes.push_back(
            "Mod " + name + " was not applied to " + archive +
            ": it holds what the mod replaces, as an apply or a revert cut short leaves "
            "it; its undo package " +
            undoPath + " was removed");
    return result;
}

std::vector<TAppliedMod> AppliedMods(const std::string &archive)
{
    std::vector<TAppliedMod> mods;
    const std::string folder = ParentFolderOf(archive).empty() ? "." : ParentFolderOf(archive);
    const std::optional<std::vector<std::string>> names = ListPlainFiles(folder);
    if (!names)
        return mods;
    const std::string prefix = FileNameOf(archive) + ".";
    std::vector<std::string> undoFiles;
    for (const std::string &name : *names)
        if (name.size() > prefix.size() + std::string_view(kUndoPackageExtension).size() &&
            name.compare(0, prefix.size(), prefix) == 0 && name.ends_with(kUndoPackageExtension))
            undoFiles.push_back(name);
    std::sort(undoFiles.begin(), undoFiles.end());
    // Every archive opened in the window is looked at: without undo packages it is not read.
    if (undoFiles.empty())
        return mods;
    const TFileStream file(archive, TFileStream::Mode::OpenRead);
    TEditJournal(archive).CheckBeforeReading(file);
    const TArchiveState state(file);
    for (const std::string &name : undoFiles) {
        const std::string path = JoinPath(folder, name);
        try {
            const TPackageFile undo(path, "Undo package", false);
            if (!undo.Manifest().Undo ||
                FileNameOf(UndoPackagePath(archive, undo.Manifest().Name)) != name)
                continue;
            mods.push_back({undo.Manifest().Name, undo.Manifest().Version, path,
                            ChangedSinceApplied(undo.Manifest(), state).empty()});
        } catch (const EKVBError &) {
        }
    }
    return mods;
}

} // namespace kvb
