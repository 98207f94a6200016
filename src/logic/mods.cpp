// The main window's mods: a mod package applied to the open archive once the user has seen what
// it changes, a mod that an undo package beside the archive records taken out again, and the
// info lines that name the mods recorded there.
#include "logic/main_window.h"

#include "archive/info_lines.h"
#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/paths.h"
#include "platform/stream.h"
#include "tools/creation.h"
#include "tools/mod_package.h"

namespace kvb::logic {

namespace {

// A box that lists hundreds of entries would not fit the screen: the first few, then how many
// more there are (kvb mod apply --json gives each).
constexpr size_t kMismatchesListed = 10;

// "Better fonts 1.2", or the name alone for a mod without a version.
std::string Titled(const std::string &name, const std::string &version)
{
    return version.empty() ? name : name + " " + version;
}

std::string Counted(size_t n, const std::string &one, const std::string &many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "3 entries replaced, 1 added", "1 entry added": what a change did to how many, without the
// part that counts none.
std::string CountedChanges(size_t first, const std::string &firstDone, size_t second,
                           const std::string &secondDone)
{
    if (second == 0)
        return Counted(first, "entry", "entries") + " " + firstDone;
    if (first == 0)
        return Counted(second, "entry", "entries") + " " + secondDone;
    return Counted(first, "entry", "entries") + " " + firstDone + ", " + std::to_string(second) + " " +
           secondDone;
}

// Replacements and additions of a plan or of what applying did.
std::string AppliedChanges(const std::vector<TModChange> &changes)
{
    size_t added = 0;
    for (const TModChange &change : changes)
        added += change.OldLength ? 0 : 1;
    return CountedChanges(changes.size() - added, "replaced", added, "added");
}

std::string SizeCell(const std::optional<int64_t> &length)
{
    return length ? std::to_string(*length) : "-";
}

// Why the plan cannot be carried out, one paragraph per reason.
std::vector<std::string> WhyItDoesNotFit(const TModPlan &plan, const std::string &archive)
{
    // Applied, the archive holds what the mod wrote, not what it expects: that says all.
    if (plan.AlreadyApplied)
        return {"It is applied already: its undo package " + FileNameOf(plan.UndoPackage) +
                " is beside the archive, and the archive holds what the mod wrote."};
    std::vector<std::string> why;
    if (!plan.Mismatches.empty()) {
        std::string text = archive + " is not the version of the archive the mod was made for; " +
                           Counted(plan.Mismatches.size(), "entry is", "entries are") +
                           " not what the mod expects:";
        const size_t listed = std::min(plan.Mismatches.size(), kMismatchesListed);
        for (size_t i = 0; i < listed; ++i)
            text += "\n" + plan.Mismatches[i].Text;
        if (plan.Mismatches.size() > listed)
            text += "\nand " + std::to_string(plan.Mismatches.size() - listed) + " more";
        why.push_back(text);
    }
    if (plan.MissingTemplate)
        why.push_back(kNoTemplateMessage + "\n" + *plan.MissingTemplate);
    return why;
}

} // namespace

std::vector<std::string> TKVBEditorLogic::AppliedModLines(const std::string &archive) const
{
    std::vector<std::string> lines;
    try {
        for (const TAppliedMod &mod : AppliedMods(archive))
            lines.push_back("Mod applied: " + Titled(mod.Name, mod.Version) +
                            (mod.InPlace ? "" : " (the archive does not hold all it wrote)"));
    } catch (const std::exception &e) {
        // The archive was just read; what keeps its undo packages from being read is told here
        // rather than keeping the archive from being shown.
        const std::string why = e.what();
        lines.push_back("Mods applied: unknown (" + why.substr(0, why.find('\n')) + ")");
    }
    return lines;
}

void TKVBEditorLogic::mnuApplyModClick()
{
    if (!catalogue_) {
        dialogs_.Notice("No archive is open. Open a KVB file first!");
        return;
    }
    const std::optional<std::string> package = dialogs_.OpenFile(opnMod);
    if (!package)
        return;
    const std::string archive = catalogue_->FileName();
    const std::string packageName = FileNameOf(*package);

    // The plan: what the mod would change and what of it does not fit, writing nothing.
    // Its size and time of change tell whether it is written again while the plan is shown.
    const std::optional<TFileStamp> seen = FileStamp(*package);
    TModPlan plan;
    if (!work_.Run([&] { plan = PlanModApply(archive, *package); },
                   "Looking at " + packageName + "...")) {
        view_.SetStatus("Cancelled: nothing was written.");
        return;
    }
    const std::string mod = "mod " + Titled(plan.Name, plan.Version) + " (" + packageName + ")";
    std::vector<std::string> said = plan.Notes;

    // A mod that does not fit is not offered: the user learns why, and nothing is written.
    if (!plan.CanApply()) {
        said.insert(said.begin(),
                    "The " + mod + " cannot be applied to " + openedFileName_ + "; nothing was written.");
        const std::vector<std::string> why = WhyItDoesNotFit(plan, openedFileName_);
        said.insert(said.end(), why.begin(), why.end());
        dialogs_.Notice(JoinLines(said));
        return;
    }

    // Shown as a list, one row per entry, before anything is written.
    TListQuestion question;
    question.Caption = "Apply mod";
    question.Columns = {"Record", "Entry", "Change", "Old size", "New size"};
    for (const TModChange &change : plan.Changes)
        question.Rows.push_back({std::to_string(change.TocIndex + 1), ShownText(change.Name),
                                 change.OldLength ? "replaced" : "added", SizeCell(change.OldLength),
                                 SizeCell(change.NewLength)});
    said.insert(said.begin(), "The archive file " + openedFileName_ + " will be rewritten with the " +
                                  mod + ": " + AppliedChanges(plan.Changes) +
                                  ". What it replaces is kept in " + FileNameOf(plan.UndoPackage) +
                                  " beside the archive, from which \"Revert mod...\" puts it back.");
    said.push_back("Continue?");
    question.Text = JoinLines(said);
    if (!dialogs_.ConfirmList(question))
        return;
    // Only what the list showed: a package written again meanwhile may hold another mod.
    if (FileStamp(*package) != seen)
        throw EKVBError("The mod package " + *package +
                        " has changed since its plan was shown; nothing was written");

    // The one rebuild; the undo package is written before the new archive takes its place.
    TModPlan done;
    if (!work_.Run(
            [&] {
                done = ApplyMod(archive, *package, {}, [this](int32_t position, int32_t maximum) {
                    ShowProgress(position, maximum);
                });
            },
            "Applying " + Titled(plan.Name, plan.Version) + " to " + openedFileName_ + "...")) {
        view_.SetStatus("Cancelled: " + openedFileName_ + " was left as it was.");
        return;
    }
    if (std::unique_ptr<TKVBFile> reread = ReadCatalogue(archive))
        ShowCatalogue(std::move(reread), archive);
    if (!done.Changes.empty())
        ShowRecord(done.Changes.front().TocIndex);
    view_.SetStatus(Titled(done.Name, done.Version) + " applied to " + openedFileName_ + ": " +
                    AppliedChanges(done.Changes) + "; undo package " + FileNameOf(done.UndoPackage));
    if (!done.Notes.empty())
        dialogs_.Notice(JoinLines(done.Notes));
}

std::optional<TAppliedMod> TKVBEditorLogic::ChooseAppliedMod(const std::string &archive)
{
    const std::vector<TAppliedMod> mods = AppliedMods(archive);
    if (mods.empty()) {
        dialogs_.Notice("No mod is recorded as applied to " + openedFileName_ +
                        ": there is no undo package of a mod beside it.");
        return std::nullopt;
    }
    if (mods.size() == 1)
        return mods.front();
    // Several: the user picks the undo package of one in the archive's folder, where they lie.
    opnUndo.Folder = ParentFolderOf(archive);
    const std::optional<std::string> chosen = dialogs_.OpenFile(opnUndo);
    if (!chosen)
        return std::nullopt;
    const TFileIdentity identity = TFileStream(*chosen, TFileStream::Mode::OpenRead).Identity();
    for (const TAppliedMod &mod : mods)
        if (TFileStream(mod.UndoPackage, TFileStream::Mode::OpenRead).Identity() == identity)
            return mod;
    std::string names;
    for (const TAppliedMod &mod : mods)
        names += (names.empty() ? "" : ", ") + FileNameOf(mod.UndoPackage);
    dialogs_.Notice(FileNameOf(*chosen) + " is not the undo package of a mod applied to " +
                    openedFileName_ + ". Those beside it are: " + names + ".");
    return std::nullopt;
}

void TKVBEditorLogic::mnuRevertModClick()
{
    if (!catalogue_) {
        dialogs_.Notice("No archive is open. Open a KVB file first!");
        return;
    }
    const std::string archive = catalogue_->FileName();
    const std::optional<TAppliedMod> mod = ChooseAppliedMod(archive);
    if (!mod)
        return;
    const std::string title = Titled(mod->Name, mod->Version);

    // What the undo package puts back, in words, before anything is written.
    const TModManifest undo = ReadModPackage(mod->UndoPackage, false);
    std::string question =
        "The archive file " + openedFileName_ + " will be rewritten without mod " + title + ": " +
        CountedChanges(undo.Entries.size(), "put back as they were", undo.Added.size(), "removed") +
        ", from the undo package " + FileNameOf(mod->UndoPackage) + ", which is removed afterwards.";
    if (!mod->InPlace)
        question += " Not all the mod wrote is in the archive now: if entries were changed since it "
                    "was applied, nothing is written, and they are named.";
    if (!dialogs_.Question(question + " Continue?", "Revert mod"))
        return;

    // The one rebuild; the undo package goes once the archive is in place.
    TModRevert done;
    if (!work_.Run(
            [&] {
                done = RevertMod(archive, mod->UndoPackage, [this](int32_t position, int32_t maximum) {
                    ShowProgress(position, maximum);
                });
            },
            "Reverting " + title + " on " + openedFileName_ + "...")) {
        view_.SetStatus("Cancelled: " + openedFileName_ + " was left as it was.");
        return;
    }
    if (std::unique_ptr<TKVBFile> reread = ReadCatalogue(archive))
        ShowCatalogue(std::move(reread), archive);
    size_t removed = 0;
    for (const TModChange &change : done.Changes)
        removed += change.NewLength ? 0 : 1;
    view_.SetStatus(
        done.Changes.empty()
            ? "Nothing of " + title + " was in " + openedFileName_ + "; its undo package " +
                  FileNameOf(mod->UndoPackage) + " was removed."
            : title + " reverted on " + openedFileName_ + ": " +
                  CountedChanges(done.Changes.size() - removed, "put back", removed, "removed") + ".");
    if (!done.Notes.empty())
        dialogs_.Notice(JoinLines(done.Notes));
}

} // namespace kvb::logic
