// TfrmReport: the report window as Win32 draws it, modal over the main window. It builds the
// controls, forwards every event to the window's logic (logic/report_window.h) and shows what
// the logic asks for.
#pragma once

#include "logic/report_window.h"
#include "win32ui/described_form.h"
#include "win32ui/form.h"

#include <memory>

namespace kvb::win32ui {

class TfrmReport : public TForm, public logic::TReportView {
public:
    // owner: the main window, which takes no input while this one is shown.
    TfrmReport(logic::TDialogs &dialogs, HWND owner);

    logic::TReportLogic &Logic() { return logic_; }
    bool Shown() const { return ModalShown(); }

    // The controls the window's description names.
    HWND lstReport = nullptr, btnCopy = nullptr, btnClose = nullptr;

    // TReportView.
    void SetCaption(const std::string &caption) override;
    void SetReportLines(const std::vector<std::string> &lines) override;
    void CopyText(const std::string &text) override;
    void ShowModal() override;
    void Close() override;

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnNotify(const NMHDR &header) override;
    void Layout(int width, int height) override;
    SIZE MinimumClientSize() const override;
    bool OnKey(const MSG &message) override;

private:
    void ModalEnded() override;

    HWND owner_;
    std::unique_ptr<TDescribedControls> controls_;
    std::unique_ptr<std::remove_pointer_t<HBRUSH>, TGdiDeleter> silver_;
    logic::TReportLogic logic_;
};

} // namespace kvb::win32ui
