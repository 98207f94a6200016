// The advanced editor window's behaviour, whatever draws it: the table of contents ("Listed
// files") and the chain of data entries ("Available data") of one archive side by side, one
// block of 1,000 each, and the three edits, each written to the file at once.
#pragma once

#include "archive/raw_archive.h"
#include "logic/blocks.h"
#include "logic/face.h"
#include "logic/window_description.h"
#include "logic/work.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace kvb::logic {

// What the logic asks of the advanced window's controls; its progress row (a bar, btnCancel and
// lblStatus, for a large file appended) is TWorkView's.
class TAdvancedView : public TWorkView {
public:
    using TTableRow = std::array<std::string, 2>; // Filename, Data
    using TDataRow = std::array<std::string, 3>;  // #, Name, File length

    enum class TList { None, Table, Data };

    virtual ~TAdvancedView() = default;
    virtual void SetInfoLines(const std::vector<std::string> &lines) = 0;
    // cmbTable and cmbHeader, as the main window's cmbList.
    virtual void SetTableBlockLabels(const std::vector<std::string> &labels) = 0;
    virtual void SetDataBlockLabels(const std::vector<std::string> &labels) = 0;
    virtual void SelectTableBlockLabel(int index) = 0;
    virtual void SelectDataBlockLabel(int index) = 0;
    virtual int ChosenTableBlockLabel() const = 0;
    virtual int ChosenDataBlockLabel() const = 0;
    virtual int DataBlockLabelCount() const = 0;
    // lstTable and lstHeader: every row replaced with painting suspended; one row added at the
    // end; one table row's Data text replaced.
    virtual void SetTableRows(const std::vector<TTableRow> &rows) = 0;
    virtual void SetDataRows(const std::vector<TDataRow> &rows) = 0;
    virtual void AddDataRow(const TDataRow &row) = 0;
    virtual void SetTableRowData(int row, const std::string &data) = 0;
    virtual int SelectedTableRow() const = 0;
    virtual int SelectedDataRow() const = 0;
    // The text a table row shows in its Data column.
    virtual std::string TableRowData(int row) const = 0;
    // Selects row and scrolls it into view; focus says whether the list takes the focus too.
    virtual void SelectTableRow(int row, bool focus) = 0;
    virtual void SelectDataRow(int row, bool focus) = 0;
    // The list that has the keyboard focus.
    virtual TList FocusedList() const = 0;
    // Shows the window modally; returns once it has closed.
    virtual void ShowModal() = 0;
    virtual void Close() = 0;
};

class TAdvancedLogic {
public:
    TAdvancedLogic(TAdvancedView &view, TDialogs &dialogs);
    ~TAdvancedLogic();

    // The window's controls and where they stand, and its keys, which both faces draw and bind
    // to the handlers below.
    static const TWindowDescription<TAdvancedLogic> &Description();

    // Opens the archive for editing and fills the window. False when the user declines to make
    // a read-only archive writable; failures to open it are raised.
    bool OpenForEdit(const std::string &path);
    // Shows the window modally (the main window's "Advanced..." after OpenForEdit).
    void ShowModal() { view_.ShowModal(); }

    // Handlers.
    void FormShow();
    void FormClose();
    void FillBlockCombos();
    void cmbTableChange();
    void cmbHeaderChange();
    void FillTableList();
    void FillHeaderList();
    void lstTableClick();
    void btnLinkClick();
    void btnAppendClick();
    void btnTruncateClick();
    void btnQuitClick();
    // Long work (reading a large file to append): btnCancel and Escape stop it; the close
    // button asks first.
    void btnCancelClick();
    void EscapePressed();
    bool FormCloseQuery();
    // Ctrl+F and F3, as in the main window, in the list that has the focus (the table of
    // contents when neither has).
    void FindClick();
    void FindNextClick();
    // Files dropped on the window: after a list of them to confirm, each is appended as
    // "Append data" appends a file, one after the other; folders and links are left out and
    // named. AcceptsDrop: whether the window takes the drop now (the face refuses it otherwise).
    bool AcceptsDrop(const std::vector<std::string> &paths) const;
    void FilesDropped(const std::vector<std::string> &paths);

    // The archive being edited, or none while the window is closed.
    const TRawKVBFile *RawFile() const { return rawFile_.get(); }

    TFileDialog opnAny;

private:
    TRawKVBFile &Raw();
    // Remembers which list the searches go through: the one with the focus, if either has it.
    void NoteFocusedList();
    // Info lines 4 and 5, after an edit changed the counts.
    void ReplaceCountLines();
    // Appends the file at path (through a link only when followLinks); false when cancelled
    // before anything was written.
    bool AppendFile(const std::string &path, bool followLinks);

    TAdvancedView &view_;
    TDialogs &dialogs_;
    std::unique_ptr<TRawKVBFile> rawFile_;
    std::string fileName_;    // the archive's name without folder
    TBlockedList tableBlock_; // cmbTable's Tag
    TBlockedList dataBlock_;  // cmbHeader's Tag
    TFind find_;
    bool findInData_ = false;
    TWork work_;
};

} // namespace kvb::logic
