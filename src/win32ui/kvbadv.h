// TfrmAdvanced: the advanced editor window as Win32 draws it, modal over the main window. It
// builds the controls, forwards every event to the window's logic (logic/advanced_window.h) and
// shows what the logic asks for.
#pragma once

#include "logic/advanced_window.h"
#include "win32ui/described_form.h"
#include "win32ui/form.h"

#include <memory>

namespace kvb::win32ui {

class TfrmAdvanced : public TForm, public logic::TAdvancedView {
public:
    // owner: the main window, which takes no input while this one is shown.
    TfrmAdvanced(logic::TDialogs &dialogs, HWND owner);

    logic::TAdvancedLogic &Logic() { return logic_; }
    bool Shown() const { return ModalShown(); }

    // The controls the window's description names. Status is the progress bar.
    HWND lstInfo = nullptr, lstTable = nullptr, lstHeader = nullptr, btnLink = nullptr,
         btnAppend = nullptr;
    HWND btnQuit = nullptr, btnTruncate = nullptr, cmbTable = nullptr, cmbHeader = nullptr;
    HWND Label1 = nullptr, Label2 = nullptr, Label3 = nullptr, Label4 = nullptr;
    HWND lblStatus = nullptr, Status = nullptr, btnCancel = nullptr;

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
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnNotify(const NMHDR &header) override;
    void Layout(int width, int height) override;
    SIZE MinimumClientSize() const override;
    bool OnKey(const MSG &message) override;

private:
    void CreateControls();
    // Every way of closing ends here, so the archive is never left open.
    void ModalEnded() override;

    HWND owner_;
    std::unique_ptr<TDescribedControls> controls_;
    std::unique_ptr<std::remove_pointer_t<HBRUSH>, TGdiDeleter> silver_;
    logic::TAdvancedLogic logic_;
};

} // namespace kvb::win32ui
