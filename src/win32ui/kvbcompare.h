// TfrmCompare: the compare window as Win32 draws it, modal over the main window. It builds the
// controls, forwards every event to the window's logic (logic/compare_window.h) and shows what
// the logic asks for.
#pragma once

#include "logic/compare_window.h"
#include "win32ui/described_form.h"
#include "win32ui/form.h"

#include <memory>

namespace kvb::win32ui {

class TfrmCompare : public TForm, public logic::TCompareView {
public:
    // owner: the main window, which takes no input while this one is shown.
    TfrmCompare(logic::TDialogs &dialogs, HWND owner);

    logic::TCompareLogic &Logic() { return logic_; }
    bool Shown() const { return ModalShown(); }
    // The list's context menu for the selected row; its commands reach the window.
    HMENU RowMenu() const;

    // The controls the window's description names.
    HWND lblSummary = nullptr, lstDiff = nullptr, btnClose = nullptr;

    // TCompareView.
    void SetCaption(const std::string &caption) override;
    void SetSummary(const std::string &text) override;
    void SetDiffRows(const std::vector<TDiffRow> &rows) override;
    int SelectedDiffRow() const override;
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
    void ShowRowMenu(LPARAM at);
    // Every way of closing ends here, so the second archive is never kept.
    void ModalEnded() override;

    HWND owner_;
    std::unique_ptr<TDescribedControls> controls_;
    logic::TCompareLogic logic_;
};

} // namespace kvb::win32ui
