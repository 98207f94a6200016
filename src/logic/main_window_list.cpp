// The main window's entry list: the block it shows, the rows selected and what the entry menu
// offers for them, find, extract, and rows dragged out.
#include "logic/main_window.h"

#include "archive/extract.h"
#include "archive/info_lines.h"
#include "media/media_player.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "preview/entry_preview.h"

namespace kvb::logic {

void TKVBEditorLogic::cmbListChange()
{
    if (shownBlock_.Take(view_.ChosenBlockLabel()))
        FillFileList();
}

void TKVBEditorLogic::FillFileList()
{
    if (!catalogue_)
        return;
    std::vector<TMainView::TEntryRow> rows;
    const int end = shownBlock_.End(catalogue_->EntryCount());
    rows.reserve(size_t(std::max(0, end - shownBlock_.First())));
    for (int index = shownBlock_.First(); index < end; ++index) {
        const TKVB_Entry entry = catalogue_->GetEntry(index);
        rows.push_back(
            {ShownText(entry.Name), std::to_string(entry.Offset), std::to_string(entry.Length)});
    }
    view_.SetEntryRows(rows);
}

int TKVBEditorLogic::SelectedIndex(const std::string &notice)
{
    const int row = view_.SelectedEntryRow();
    if (row < 0 || !catalogue_) {
        dialogs_.Notice(notice);
        return -1;
    }
    return shownBlock_.RecordOf(row);
}

std::vector<int> TKVBEditorLogic::SelectedIndices(const std::string &notice)
{
    // The list selects one row at a time.
    const int index = SelectedIndex(notice);
    return index < 0 ? std::vector<int>{} : std::vector<int>{index};
}

void TKVBEditorLogic::ShowRecord(int index)
{
    view_.SelectBlockLabel(TBlockedList::BlockOf(index));
    cmbListChange();
    if (const int row = shownBlock_.RowOf(index); row >= 0)
        view_.SelectEntryRow(row);
}

TEntryMenu TKVBEditorLogic::EntryMenu() const
{
    TEntryMenu menu;
    const int row = view_.SelectedEntryRow();
    menu.Selected = row >= 0 && catalogue_;
    if (menu.Selected) {
        const std::string extension =
            PreviewExtension(ShownText(catalogue_->GetEntry(shownBlock_.RecordOf(row)).Name));
        menu.Texture = extension == ".TEX";
        menu.Music = extension == ".MID" && renderWav_;
    }
    menu.Playing = Media.QueryMode() == MediaMode::Playing;
    menu.Open = catalogue_ != nullptr;
    return menu;
}

void TKVBEditorLogic::btnExtractClick()
{
    // The selected row's entry.
    const int index = SelectedIndex("Select a file to extract first!");
    if (index < 0)
        return;
    const TKVB_Entry entry = catalogue_->GetEntry(index);

    // The save dialog offers the entry's name; only a plain one, since anything else would
    //    point the dialog outside its folder.
    savAny.FileName = IsSafeEntryName(entry.Name) ? ShownText(entry.Name) : std::string();
    const std::optional<std::string> target = dialogs_.SaveFile(savAny);
    if (!target)
        return;

    // One read stream on the archive for the one entry.
    TFileStream source(catalogue_->FileName(), TFileStream::Mode::OpenRead);
    ExtractEntry(source, entry, *target);
}

void TKVBEditorLogic::btnExtractAllClick()
{
    if (!catalogue_) {
        dialogs_.Notice("No archive is open. Open a KVB file first!");
        return;
    }
    if (!selFolder.Execute())
        return;
    // Files extracted before a cancel or an error stay; the status line says how many.
    const std::string folder = selFolder.Path();
    const std::string count = std::to_string(catalogue_->EntryCount());
    auto extracted = [&] { return std::to_string(std::max(0, work_.Position())) + " of " + count; };
    try {
        if (work_.Run(
                [&] {
                    ExtractAll(*catalogue_, folder, [this](int32_t position, int32_t maximum) {
                        ShowProgress(position, maximum);
                    });
                },
                "Extracting " + count + " files to " + folder + "..."))
            view_.SetStatus(count + " files extracted to " + folder);
        else
            view_.SetStatus("Cancelled: " + extracted() + " files extracted to " + folder);
    } catch (const EUnextractedNames &e) {
        // Every other entry is written: the status line counts them and names what is missing.
        view_.SetStatus(e.what());
        throw;
    } catch (const std::exception &) {
        view_.SetStatus("Stopped by an error: " + extracted() + " files extracted to " + folder);
        throw;
    }
}

void TKVBEditorLogic::FindClick()
{
    if (find_.Ask())
        FindNextClick();
}

void TKVBEditorLogic::FindNextClick()
{
    if (!find_.Text() || !catalogue_)
        return;
    const int found = find_.Next(catalogue_->EntryCount(), shownBlock_.RecordOf(view_.SelectedEntryRow()),
                                 [this](int i) { return catalogue_->GetEntry(i).Name; });
    if (found >= 0)
        ShowRecord(found);
}

std::string TKVBEditorLogic::ExtractForDrag(int row)
{
    if (!catalogue_)
        throw EKVBError("No archive is open");
    return ExtractToDragFile(*catalogue_, shownBlock_.RecordOf(row));
}

} // namespace kvb::logic
