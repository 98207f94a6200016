// The main window's entry list: the block it shows, its sort and filter, the rows selected and
// what the entry menu offers for them, find, extract, and rows dragged out.
#include "logic/main_window.h"

#include "archive/extract.h"
#include "archive/info_lines.h"
#include "archive/text.h"
#include "media/media_player.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "preview/entry_preview.h"

namespace kvb::logic {

namespace {

// What each column of the list sorts by: Filename, Table start, File length, #, Size.
constexpr TSortKey kColumnKeys[] = {TSortKey::Name, TSortKey::Position, TSortKey::Length,
                                    TSortKey::Record, TSortKey::Length};

// Names end at their first NUL, so a part that holds one is found in none.
const std::string kFoundNowhere(1, '\0');

} // namespace

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
    const int end = shownBlock_.End(listed_.Size());
    rows.reserve(size_t(std::max(0, end - shownBlock_.First())));
    for (int position = shownBlock_.First(); position < end; ++position) {
        const int index = listed_.RecordAt(position);
        const TKVB_Entry entry = catalogue_->GetEntry(index);
        rows.push_back({ShownText(entry.Name), std::to_string(entry.Offset), std::to_string(entry.Length),
                        std::to_string(index + 1), HumanSize(entry.Length)});
    }
    view_.SetEntryRows(rows);
}

void TKVBEditorLogic::ShowListing()
{
    // Unfiltered, the labels are those of the archive's count, as they have always been.
    view_.SetBlockLabels(BlockLabels(listed_.Filtered() ? listed_.Size() : catalogue_->Count()));
    shownBlock_.Reset();
    view_.SelectBlockLabel(0);
    cmbListChange();
    view_.SetFilterCount(listed_.Filtered()
                             ? GroupedNumber(listed_.Size()) + " of " + GroupedNumber(listed_.Total())
                             : std::string());
    view_.ShowSortColumn(sortColumn_, listed_.Descending());
}

void TKVBEditorLogic::lstFilesColumnClick(int column)
{
    if (!catalogue_ || column < 0 || column >= int(std::size(kColumnKeys)))
        return;
    listed_.SortBy(kColumnKeys[column]);
    sortColumn_ = listed_.Key() == TSortKey::Record && !listed_.Descending() ? -1 : column;
    ShowListing();
}

void TKVBEditorLogic::edtFilterChange()
{
    // Setting the text from code may report a change too: only a new text lists anew.
    const std::string text = view_.FilterText();
    if (text == filterText_)
        return;
    filterText_ = text;
    if (!catalogue_)
        return;
    // Typed in UTF-8, stored in Windows-1252: a text the archive cannot hold matches nothing.
    listed_.SetFilter(Utf8ToCp1252(text).value_or(kFoundNowhere));
    ShowListing();
}

void TKVBEditorLogic::lstFilesSelectAll()
{
    view_.SelectAllEntryRows();
}

int TKVBEditorLogic::RecordOfRow(int row) const
{
    return row < 0 ? -1 : listed_.RecordAt(shownBlock_.RecordOf(row));
}

int TKVBEditorLogic::SelectedIndex(const std::string &notice)
{
    const std::vector<int> rows = view_.SelectedEntryRows();
    if (rows.empty() || !catalogue_) {
        dialogs_.Notice(notice);
        return -1;
    }
    if (rows.size() > 1) {
        dialogs_.Notice("Select only one file for this!");
        return -1;
    }
    return RecordOfRow(rows.front());
}

std::vector<int> TKVBEditorLogic::SelectedIndices(const std::string &notice)
{
    std::vector<int> indices;
    if (catalogue_)
        for (const int row : view_.SelectedEntryRows())
            indices.push_back(RecordOfRow(row));
    if (indices.empty())
        dialogs_.Notice(notice);
    std::sort(indices.begin(), indices.end());
    return indices;
}

void TKVBEditorLogic::ShowRecord(int index)
{
    ShowPosition(listed_.PositionOf(index));
}

void TKVBEditorLogic::ShowPosition(int position)
{
    if (position < 0)
        return;
    view_.SelectBlockLabel(TBlockedList::BlockOf(position));
    cmbListChange();
    if (const int row = shownBlock_.RowOf(position); row >= 0)
        view_.SelectEntryRow(row);
}

TEntryMenu TKVBEditorLogic::EntryMenu() const
{
    TEntryMenu menu;
    const std::vector<int> rows = catalogue_ ? view_.SelectedEntryRows() : std::vector<int>{};
    menu.Selected = !rows.empty();
    menu.One = rows.size() == 1;
    menu.Texture = menu.Music = menu.Selected;
    for (const int row : rows) {
        const std::string extension =
            PreviewExtension(ShownText(catalogue_->GetEntry(RecordOfRow(row)).Name));
        menu.Texture = menu.Texture && extension == ".TEX";
        menu.Music = menu.Music && extension == ".MID";
    }
    menu.Music = menu.Music && renderWav_;
    menu.Playing = Media.QueryMode() == MediaMode::Playing;
    menu.Open = catalogue_ != nullptr;
    return menu;
}

void TKVBEditorLogic::btnExtractClick()
{
    // The selected rows' entries, or the entry of the one row selected.
    if (catalogue_ && view_.SelectedEntryRows().size() > 1)
        ExtractRecords(SelectedIndices("Select a file to extract first!"));
    else if (const int index = SelectedIndex("Select a file to extract first!"); index >= 0)
        ExtractRecords({index});
}

void TKVBEditorLogic::ExtractRecords(const std::vector<int> &indices)
{
    if (indices.size() > 1) {
        ExtractSeveral(indices);
        return;
    }
    if (indices.empty() || !catalogue_)
        return;
    const TKVB_Entry entry = catalogue_->GetEntry(indices.front());

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
    ExtractInto(selFolder.Path(), nullptr);
}

void TKVBEditorLogic::ExtractSeveral(const std::vector<int> &indices)
{
    if (indices.empty() || !selFolder.Execute())
        return;
    ExtractInto(selFolder.Path(), &indices);
}

void TKVBEditorLogic::ExtractInto(const std::string &folder, const std::vector<int> *indices)
{
    // Files extracted before a cancel or an error stay; the status line says how many.
    const std::string count = std::to_string(indices ? int(indices->size()) : catalogue_->EntryCount());
    auto extracted = [&] { return std::to_string(std::max(0, work_.Position())) + " of " + count; };
    const TProgress progress = [this](int32_t position, int32_t maximum) {
        ShowProgress(position, maximum);
    };
    try {
        if (work_.Run(
                [&] {
                    if (indices)
                        ExtractEntries(*catalogue_, folder, *indices, progress);
                    else
                        ExtractAll(*catalogue_, folder, progress);
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
    // In the order the list shows, from the row after the selected one.
    const int found =
        find_.Next(listed_.Size(), shownBlock_.RecordOf(view_.SelectedEntryRow()),
                   [this](int i) { return catalogue_->GetEntry(listed_.RecordAt(i)).Name; });
    if (found >= 0)
        ShowPosition(found);
}

std::vector<std::string> TKVBEditorLogic::ExtractForDrag(const std::vector<int> &rows)
{
    if (!catalogue_)
        throw EKVBError("No archive is open");
    std::vector<std::string> files;
    for (const int row : rows)
        files.push_back(ExtractToDragFile(*catalogue_, RecordOfRow(row)));
    return files;
}

} // namespace kvb::logic
