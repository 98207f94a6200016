// TfrmReport: the report window as Qt draws it, modal over the main window. It builds the
// controls, forwards every event to the window's logic (logic/report_window.h) and shows what
// the logic asks for.
#pragma once

#include "logic/face.h"
#include "logic/report_window.h"

#include <QDialog>

#include <memory>

class QListWidget;
class QPushButton;

namespace kvb::ui {

class TDescribedControls;

class TfrmReport : public QDialog, public logic::TReportView {
    Q_OBJECT
public:
    explicit TfrmReport(logic::TDialogs &dialogs, QWidget *parent = nullptr);
    ~TfrmReport() override;

    logic::TReportLogic &Logic() { return logic_; }

    // The controls the window's description names.
    QListWidget *lstReport;
    QPushButton *btnCopy, *btnClose;

    // Every way of closing the dialog ends here.
    void done(int result) override;

    // TReportView.
    void SetCaption(const std::string &caption) override;
    void SetReportLines(const std::vector<std::string> &lines) override;
    void CopyText(const std::string &text) override;
    void ShowModal() override;
    void Close() override;

private:
    logic::TDialogs &dialogs_;
    std::unique_ptr<TDescribedControls> controls_;
    logic::TReportLogic logic_;
};

} // namespace kvb::ui
