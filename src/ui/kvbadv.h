// TfrmAdvanced: the advanced editor window as Qt draws it. It builds the controls, forwards
// every event to the window's logic (logic/advanced_window.h) and shows what the logic asks for.
#pragma once

#include "logic/advanced_window.h"

#include <QDialog>

#include <memory>

class QCloseEvent;
class QComboBox;
class QDragEnterEvent;
class QDropEvent;
class QProgressBar;
class QLabel;
class QListWidget;
class QPushButton;
class QShowEvent;
class QTreeWidget;

namespace kvb::ui {

class TStatusLabel;

class TDescribedControls;

class TfrmAdvanced : public QDialog, public logic::TAdvancedView {
    Q_OBJECT
public:
    explicit TfrmAdvanced(logic::TDialogs &dialogs, QWidget *parent = nullptr);
    ~TfrmAdvanced() override;

    logic::TAdvancedLogic &Logic() { return logic_; }

    // The controls the window's description names. Status is the progress bar.
    QListWidget *lstInfo;
    QTreeWidget *lstTable;
    QTreeWidget *lstHeader;
    QPushButton *btnLink, *btnAppend, *btnQuit, *btnTruncate;
    QComboBox *cmbTable, *cmbHeader;
    QLabel *Label1, *Label2, *Label3, *Label4;
    TStatusLabel *lblStatus;
    QProgressBar *Status;
    QPushButton *btnCancel;

    // Every way of closing the dialog ends here, so the archive is never left open.
    void done(int result) override;

    // TAdvancedView.
    void SetInfoLines(const std::vector<std::string> &lines) override;
    void SetTableBlockLabels(const std::vector<std::string> &labels) override;
    void SetDataBlockLabels(const std::vector<std::string> &labels) override;
    void SelectTableBlockLabel(int index) override;
    void SelectDataBlockLabel(int index) override;
    int ChosenTableBlockLabel() const override;
    int ChosenDataBlockLabel() const override;
    int DataBlockLabelCount() const override;
    void SetTableRows(const std::vector<TTableRow> &rows) override;
    void SetDataRows(const std::vector<TDataRow> &rows) override;
    void AddDataRow(const TDataRow &row) override;
    void SetTableRowData(int row, const std::string &data) override;
    int SelectedTableRow() const override;
    int SelectedDataRow() const override;
    std::string TableRowData(int row) const override;
    void SelectTableRow(int row, bool focus) override;
    void SelectDataRow(int row, bool focus) override;
    TList FocusedList() const override;
    void ShowModal() override;
    void Close() override;
    void SetProgressMaximum(int32_t maximum) override;
    void SetProgressPosition(int32_t position) override;
    void SetBusy(bool busy) override;
    void LetEventsRun() override;
    void SetStatus(const std::string &text) override;
    void CloseWindow() override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    logic::TDialogs &dialogs_;
    std::unique_ptr<TDescribedControls> controls_;
    logic::TAdvancedLogic logic_;
};

} // namespace kvb::ui
