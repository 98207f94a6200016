#include "logic/advanced_window.h"

#include "archive/info_lines.h"
#include "logic/dropped_files.h"
#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/paths.h"

#include <charconv>

namespace kvb::logic {

TAdvancedLogic::TAdvancedLogic(TAdvancedView &view, TDialogs &dialogs)
    : opnAny{"All files|*.*", {}, {}, {}},
      view_(view),
      dialogs_(dialogs),
      find_(dialogs, "Find the next record whose name contains:"),
      work_(view, dialogs)
{
}

TAdvancedLogic::~TAdvancedLogic() = default;

TRawKVBFile &TAdvancedLogic::Raw()
{
    if (!rawFile_)
        throw EKVBError("No archive is open for editing");
    return *rawFile_;
}

bool TAdvancedLogic::OpenForEdit(const std::string &path)
{
    // The file's attributes.
    const std::optional<TFileAttributes> attributes = FileAttributes(path);
    if (!attributes)
        throw EKVBError("Couldn't retrieve file properties!");

    // A read-only archive is edited only after Yes; the attribute then stays cleared, also
    //    when opening fails below.
    if (attributes->ReadOnly) {
        if (!dialogs_.Question("This file is read-only. You can only use advanced edit on files "
                               "that are writeable. Do you want to remove the read-only property "
                               "of this file?",
                               "Error!"))
            return false;
        ClearReadOnly(path);
    }

    // The archive, open for writing; the lock of one still held would keep it from opening.
    rawFile_.reset();
    rawFile_ = std::make_unique<TRawKVBFile>(path);
    fileName_ = FileNameOf(path);
    if (rawFile_->RecoveryNote())
        dialogs_.Notice(*rawFile_->RecoveryNote());

    // The info lines, then both lists at their block 0; the status line has no word yet on
    //    this opening's edits.
    view_.SetInfoLines(RawInfoLines(*rawFile_, fileName_));
    view_.SetStatus({});
    FillBlockCombos();
    return true;
}

void TAdvancedLogic::FormShow()
{
    dialogs_.Notice("Warning! Edits to the KVB file in this mode are IMMEDIATE and CANNOT be "
                    "undone. I recommend you keep a backup copy of any files to be edited!");
}

void TAdvancedLogic::FormClose()
{
    rawFile_.reset();
}

void TAdvancedLogic::btnQuitClick()
{
    view_.Close();
}

void TAdvancedLogic::btnCancelClick()
{
    work_.Cancel();
}

void TAdvancedLogic::EscapePressed()
{
    if (work_.Running())
        work_.Cancel();
    else
        view_.Close();
}

bool TAdvancedLogic::FormCloseQuery()
{
    return work_.CloseQuery("A file is still being read to be appended. Cancel it and close the window?");
}

void TAdvancedLogic::FillBlockCombos()
{
    view_.SetDataBlockLabels(BlockLabels(Raw().DataCount()));
    view_.SetTableBlockLabels(BlockLabels(Raw().TocCount()));
    tableBlock_.Reset();
    dataBlock_.Reset();
    view_.SelectDataBlockLabel(0);
    view_.SelectTableBlockLabel(0);
    cmbTableChange();
    cmbHeaderChange();
}

void TAdvancedLogic::cmbTableChange()
{
    if (tableBlock_.Take(view_.ChosenTableBlockLabel()))
        FillTableList();
}

void TAdvancedLogic::cmbHeaderChange()
{
    if (dataBlock_.Take(view_.ChosenDataBlockLabel()))
        FillHeaderList();
}

void TAdvancedLogic::FillTableList()
{
    const TRawKVBFile &file = Raw();
    std::vector<TAdvancedView::TTableRow> rows;
    for (int t = tableBlock_.First(); t < tableBlock_.End(file.TocCount()); ++t) {
        const TKVB_TocRecord record = file.GetTocRecord(t);
        TAdvancedView::TTableRow row{ShownText(NameFromField(record.Name)), {}};
        // The first data record whose Position is the record's Offset.
        if (const int32_t j = file.FindDataRecordAt(record.Offset); j >= 0)
            row[1] = ShownText(LinkedDataText(j + 1, NameFromField(file.GetDataRecord(j).Name)));
        rows.push_back(std::move(row));
    }
    view_.SetTableRows(rows);
}

void TAdvancedLogic::FillHeaderList()
{
    const TRawKVBFile &file = Raw();
    std::vector<TAdvancedView::TDataRow> rows;
    for (int j = dataBlock_.First(); j < dataBlock_.End(file.DataCount()); ++j) {
        const TKVB_DataRecord record = file.GetDataRecord(j);
        rows.push_back({std::to_string(j + 1), ShownText(NameFromField(record.Name)),
                        std::to_string(record.Length)});
    }
    view_.SetDataRows(rows);
}

void TAdvancedLogic::lstTableClick()
{
    // The number before the first ")" of the selected row's Data text.
    const int row = view_.SelectedTableRow();
    if (row < 0)
        return;
    const std::string data = view_.TableRowData(row);
    const size_t bracket = data.find(')');
    if (bracket == std::string::npos)
        return;
    int number = 0;
    const auto [end, ec] = std::from_chars(data.data(), data.data() + bracket, number);
    if (ec != std::errc() || end != data.data() + bracket)
        return;
    // Selected only when it lies in the data block shown; the focus stays.
    if (const int target = dataBlock_.RowOf(number - 1); target >= 0)
        view_.SelectDataRow(target, false);
}

void TAdvancedLogic::btnLinkClick()
{
    // The status line speaks of this edit only, or of none when it is not made.
    view_.SetStatus({});
    // A row in both lists.
    const int tableRow = view_.SelectedTableRow();
    const int dataRow = view_.SelectedDataRow();
    if (tableRow < 0 || dataRow < 0) {
        dialogs_.Notice("Select an item in BOTH lists before trying to link them!");
        return;
    }
    // The record points at the data entry's header, in the file at once.
    const int t = tableBlock_.RecordOf(tableRow);
    const int h = dataBlock_.RecordOf(dataRow);
    Raw().LinkTocRecord(t, h);
    // The row's Data text names the entry now.
    const std::string linked =
        ShownText(LinkedDataText(h + 1, NameFromField(Raw().GetDataRecord(h).Name)));
    view_.SetTableRowData(tableRow, linked);
    view_.SetStatus(ShownText(NameFromField(Raw().GetTocRecord(t).Name)) + " now points at " + linked +
                    ".");
}

void TAdvancedLogic::btnAppendClick()
{
    view_.SetStatus({});
    // The file.
    const std::optional<std::string> chosen = dialogs_.OpenFile(opnAny);
    if (!chosen)
        return;
    AppendFile(*chosen, true);
}

bool TAdvancedLogic::AcceptsDrop(const std::vector<std::string> &paths) const
{
    return rawFile_ && !work_.Running() && !paths.empty();
}

void TAdvancedLogic::FilesDropped(const std::vector<std::string> &paths)
{
    if (!AcceptsDrop(paths))
        return;
    view_.SetStatus({});
    const TDroppedFiles dropped = SortDroppedFiles(paths);
    if (dropped.Files.empty()) {
        std::vector<std::string> said{"Nothing was appended:"};
        said.insert(said.end(), dropped.Refused.begin(), dropped.Refused.end());
        dialogs_.Notice(JoinLines(said));
        return;
    }

    // Asked first, with what each append writes: edits here are immediate.
    TListQuestion question;
    question.Caption = "Append data";
    question.Columns = {"File", "Size"};
    for (const TDroppedFile &file : dropped.Files)
        question.Rows.push_back({file.Name, std::to_string(file.Size)});
    std::vector<std::string> said{"The " + std::to_string(dropped.Files.size()) +
                                  " files will be appended to " + fileName_ +
                                  " as new data entries, in this order. The edit is IMMEDIATE and "
                                  "CANNOT be undone."};
    if (!dropped.Refused.empty()) {
        said.push_back("Left out:");
        said.insert(said.end(), dropped.Refused.begin(), dropped.Refused.end());
    }
    said.push_back("Continue?");
    question.Text = JoinLines(said);
    if (!dialogs_.ConfirmList(question))
        return;

    // One after the other; a cancel keeps those appended before it.
    size_t appended = 0;
    for (const TDroppedFile &file : dropped.Files) {
        if (!AppendFile(file.Path, false)) {
            view_.SetStatus("Cancelled: " + std::to_string(appended) + " of the " +
                            std::to_string(dropped.Files.size()) + " files dropped were appended.");
            return;
        }
        ++appended;
    }
    if (appended > 1)
        view_.SetStatus(std::to_string(appended) + " files appended.");
}

bool TAdvancedLogic::AppendFile(const std::string &path, bool followLinks)
{
    // Read whole, appended, and let go of. A cancel while the file is read leaves the
    //    archive untouched; once the write begins it goes to the end.
    TRawKVBFile &file = Raw();
    {
        TAppendFile input;
        if (!work_.Run(
                [&] {
                    input = ReadFileForAppend(
                        path,
                        [this](int32_t position, int32_t maximum) { work_.Report(position, maximum); },
                        followLinks);
                },
                "Reading " + FileNameOf(path) + "...")) {
            view_.SetStatus("Cancelled: nothing was appended.");
            return false;
        }
        work_.Run([&] { file.AppendData(input.Record()); }, "Appending " + FileNameOf(path) + "...");
        view_.SetStatus(FileNameOf(path) + " appended.");
    }
    // A row for it when the last data block is shown; its length shows once the block is
    //    filled again.
    const TKVB_DataRecord added = file.GetDataRecord(file.DataCount() - 1);
    if (dataBlock_.Shown() == view_.DataBlockLabelCount() - 1)
        view_.AddDataRow({std::to_string(file.DataCount()), ShownText(NameFromField(added.Name)), {}});
    // The counts.
    ReplaceCountLines();
    return true;
}

void TAdvancedLogic::btnTruncateClick()
{
    view_.SetStatus({});
    // The selected data record.
    const int row = view_.SelectedDataRow();
    if (row < 0) {
        dialogs_.Notice("Select an item to start deletion from!");
        return;
    }
    TRawKVBFile &file = Raw();
    const int a = dataBlock_.RecordOf(row);
    const TKVB_DataRecord data = file.GetDataRecord(a);

    // Asked first; cut on Yes.
    if (!dialogs_.Question(TruncateQuestion(a, NameFromField(data.Name), file.DataCount()), "Warning!"))
        return;
    const int32_t following = file.DataCount() - a - 1;
    file.TruncateFrom(a);
    view_.SetStatus("Deleted item " + std::to_string(a + 1) + " (" + ShownText(NameFromField(data.Name)) +
                    ") and the " + std::to_string(following) + " items following it.");

    // Both lists from block 0, then the counts.
    FillBlockCombos();
    ReplaceCountLines();
}

void TAdvancedLogic::NoteFocusedList()
{
    if (const TAdvancedView::TList focused = view_.FocusedList(); focused != TAdvancedView::TList::None)
        findInData_ = focused == TAdvancedView::TList::Data;
}

void TAdvancedLogic::FindClick()
{
    // The list searched is the one that has the focus now: the question takes it away, and the
    // window may not have it back when the search begins.
    NoteFocusedList();
    if (find_.Ask())
        FindNextClick();
}

void TAdvancedLogic::FindNextClick()
{
    if (!find_.Text())
        return;
    const TRawKVBFile &file = Raw();
    NoteFocusedList();
    if (findInData_) {
        const int found = find_.Next(file.DataCount(), dataBlock_.RecordOf(view_.SelectedDataRow()),
                                     [&](int j) { return NameFromField(file.GetDataRecord(j).Name); });
        if (found < 0)
            return;
        view_.SelectDataBlockLabel(TBlockedList::BlockOf(found));
        cmbHeaderChange();
        view_.SelectDataRow(dataBlock_.RowOf(found), true);
    } else {
        const int found = find_.Next(file.TocCount(), tableBlock_.RecordOf(view_.SelectedTableRow()),
                                     [&](int t) { return NameFromField(file.GetTocRecord(t).Name); });
        if (found < 0)
            return;
        view_.SelectTableBlockLabel(TBlockedList::BlockOf(found));
        cmbTableChange();
        view_.SelectTableRow(tableBlock_.RowOf(found), true);
    }
}

void TAdvancedLogic::ReplaceCountLines()
{
    std::vector<std::string> lines = RawInfoLines(Raw(), fileName_);
    view_.SetInfoLines(lines);
}

} // namespace kvb::logic
