// TfrmAdvanced: the in-place editor window. It shows the table of contents and the chain of data
// entries of one archive side by side, one block of 1,000 each, and re-points, appends and
// truncates in the file at once.
#pragma once

#include "archive/raw_archive.h"
#include "ui/dialogs.h"

#include <QDialog>

#include <memory>
#include <string>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QShowEvent;
class QTreeWidget;

namespace kvb::ui {

class TfrmAdvanced : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAdvanced(Dialogs &dialogs, QWidget *parent = nullptr);
    ~TfrmAdvanced() override;

    // Opens the archive for editing and fills the window. False when the user declines to make
    // a read-only archive writable; failures to open it are raised.
    bool OpenForEdit(const std::string &path);

    // Handlers. Those connected to controls run inside Guarded.
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
    // Ctrl+F and F3, as in the main window, in the list that has the focus (the table of
    // contents when neither has).
    void FindClick();
    void FindNextClick();

    // The archive being edited, or none while the window is closed.
    const TRawKVBFile *RawFile() const { return rawFile_.get(); }

    // Controls, in tab order where they take the focus.
    QListWidget *lstInfo;
    QTreeWidget *lstTable;
    QTreeWidget *lstHeader;
    QPushButton *btnLink;
    QPushButton *btnAppend;
    QPushButton *btnQuit;
    QPushButton *btnTruncate;
    QComboBox *cmbTable;
    QComboBox *cmbHeader;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;

    FileDialogOptions opnAny;

    // Every way of closing the dialog ends here, so the archive is never left open.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void BuildControls();
    TRawKVBFile &Raw();
    // Info lines 4 and 5, after an edit changed the counts.
    void ReplaceCountLines();

    Dialogs &dialogs_;
    std::unique_ptr<TRawKVBFile> rawFile_;
    QString findText_;
    bool findInData_ = false;
};

} // namespace kvb::ui
