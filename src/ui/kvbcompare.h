// TfrmCompare: the compare window as Qt draws it, modal over the main window. It builds the
// controls, forwards every event to the window's logic (logic/compare_window.h) and shows what
// the logic asks for.
#pragma once

#include "logic/compare_window.h"

#include <QDialog>

#include <memory>

class QLabel;
class QMenu;
class QPushButton;
class QTreeWidget;

namespace kvb::ui {

class TDescribedControls;

class TfrmCompare : public QDialog, public logic::TCompareView {
    Q_OBJECT
public:
    explicit TfrmCompare(logic::TDialogs &dialogs, QWidget *parent = nullptr);
    ~TfrmCompare() override;

    logic::TCompareLogic &Logic() { return logic_; }
    // The list's context menu for the selected row, as the window's description has it.
    std::unique_ptr<QMenu> RowMenu();

    // The controls the window's description names.
    QLabel *lblSummary;
    QTreeWidget *lstDiff;
    QPushButton *btnClose;

    // Every way of closing the dialog ends here, so the second archive is never kept.
    void done(int result) override;

    // TCompareView.
    void SetCaption(const std::string &caption) override;
    void SetSummary(const std::string &text) override;
    void SetDiffRows(const std::vector<TDiffRow> &rows) override;
    int SelectedDiffRow() const override;
    void ShowModal() override;
    void Close() override;

private:
    logic::TDialogs &dialogs_;
    std::unique_ptr<TDescribedControls> controls_;
    logic::TCompareLogic logic_;
};

} // namespace kvb::ui
