// The main window's folder round trip: every entry exported into a folder for editing in other
// programs (textures as PNG pictures), and the files changed there put back in one rebuild,
// after the user has seen the plan.
#include "logic/main_window.h"

#include "archive/info_lines.h"
#include "tools/export.h"
#include "tools/update.h"

namespace kvb::logic {

namespace {

// What the plan's colour column says of a change.
std::string ColoursCell(const TUpdateChange &change)
{
    if (change.Format != TFileFormat::Png)
        return {};
    if (change.Colours.Pixels == 0)
        return "exact";
    return std::to_string(change.Colours.Pixels) + " of " + std::to_string(change.Colours.Of) +
           " pixels take the nearest colour (by up to " + std::to_string(change.Colours.Largest) + ")";
}

// The folder of the round trip for the open archive; nothing (after a notice) without one, or
// when the chooser is cancelled.
std::optional<std::string> ChooseFolderFor(TDialogs &dialogs, const TKVBFile *catalogue,
                                           const std::string &title)
{
    if (!catalogue) {
        dialogs.Notice("No archive is open. Open a KVB file first!");
        return std::nullopt;
    }
    return dialogs.ChooseFolder(title);
}

} // namespace

void TKVBEditorLogic::mnuExportForEditingClick()
{
    const std::optional<std::string> folder =
        ChooseFolderFor(dialogs_, catalogue_.get(), "Export for editing: choose a folder");
    if (!folder)
        return;

    // Textures go out as pictures, which any painting program opens.
    const std::string count = std::to_string(catalogue_->EntryCount());
    TExportResult result;
    try {
        if (!work_.Run(
                [&] {
                    result = ExportArchive(catalogue_->FileName(), *folder, TExportOptions{true},
                                           [this](int32_t position, int32_t maximum) {
                                               ShowProgress(position, maximum);
                                           });
                },
                "Exporting " + count + " entries to " + *folder + "...")) {
            view_.SetStatus("Cancelled: the files written to " + *folder +
                            " have no manifest, and cannot be put back from there.");
            return;
        }
    } catch (const std::exception &) {
        view_.SetStatus("Stopped by an error: the files written to " + *folder + " have no manifest.");
        throw;
    }
    view_.SetStatus(std::to_string(result.Written) + " files exported to " + *folder +
                    " for editing; \"Update from folder...\" puts the changed ones back.");

    // Whatever did not go out as asked.
    std::vector<std::string> said;
    if (result.Note)
        said.push_back(*result.Note);
    said.insert(said.end(), result.Warnings.begin(), result.Warnings.end());
    if (result.PassedOver)
        said.push_back(*result.PassedOver);
    if (!said.empty())
        dialogs_.Notice(JoinLines(said));
}

void TKVBEditorLogic::mnuUpdateFromFolderClick()
{
    const std::optional<std::string> folder =
        ChooseFolderFor(dialogs_, catalogue_.get(), "Update from folder: choose the export's folder");
    if (!folder)
        return;
    const std::string archive = catalogue_->FileName();
    const TProgress progress = [this](int32_t position, int32_t maximum) {
        ShowProgress(position, maximum);
    };

    // The plan: what would change, reading everything and writing nothing.
    TUpdatePlan plan;
    if (!work_.Run([&] { plan = PlanUpdate(archive, *folder, {}, progress); },
                   "Looking at the files of " + *folder + "...")) {
        view_.SetStatus("Cancelled: nothing was written.");
        return;
    }
    std::vector<std::string> said = plan.Notes;
    if (!plan.Missing.empty())
        said.push_back(std::to_string(plan.Missing.size()) + " files of the export are missing from " +
                       *folder + " (" + plan.Missing.front() + (plan.Missing.size() > 1 ? ", ..." : "") +
                       "); their entries stay as they are.");
    if (plan.Changes.empty()) {
        said.push_back("Nothing to update: the files of " + *folder + " hold what " + openedFileName_ +
                       " holds.");
        dialogs_.Notice(JoinLines(said));
        return;
    }

    // Shown as a list, one row per entry, before anything is written.
    TListQuestion question;
    question.Caption = "Update from folder";
    question.Columns = {"Record", "Entry", "File", "Old size", "New size", "Colours"};
    bool mapped = false;
    for (const TUpdateChange &change : plan.Changes) {
        question.Rows.push_back({std::to_string(change.TocIndex + 1), ShownText(change.Name), change.File,
                                 std::to_string(change.OldLength), std::to_string(change.NewLength),
                                 ColoursCell(change)});
        mapped = mapped || change.Colours.Pixels > 0;
    }
    said.insert(said.begin(),
                "The archive file " + openedFileName_ + " will be rewritten, with the data of " +
                    std::to_string(plan.Changes.size()) + " entries replaced by the files of " + *folder +
                    ". Everything else stays as it is.");
    if (mapped)
        said.push_back("Colours that a texture's palette lacks are shown in its nearest colours.");
    said.push_back("Continue?");
    question.Text = JoinLines(said);
    if (!dialogs_.ConfirmList(question))
        return;

    // The one rebuild, of just what was shown.
    TUpdatePlan done;
    if (!work_.Run([&] { done = UpdateArchive(archive, *folder, {}, {}, progress, &plan.Changes); },
                   "Rewriting " + openedFileName_ + "...")) {
        view_.SetStatus("Cancelled: " + openedFileName_ + " was left as it was.");
        return;
    }
    if (std::unique_ptr<TKVBFile> reread = ReadCatalogue(archive))
        ShowCatalogue(std::move(reread), archive);
    if (!done.Changes.empty())
        ShowRecord(done.Changes.front().TocIndex);
    view_.SetStatus(std::to_string(done.Changes.size()) + " entries updated from " + *folder + "; " +
                    openedFileName_ + " was rewritten.");
    if (!done.Notes.empty())
        dialogs_.Notice(JoinLines(done.Notes));
}

} // namespace kvb::logic
