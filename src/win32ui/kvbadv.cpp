#include "win32ui/kvbadv.h"

#include "platform/win32/wide.h"
#include "win32ui/controls.h"

#include <commctrl.h>

#include <algorithm>

namespace kvb::win32ui {

namespace {

const logic::TWindowDescription<logic::TAdvancedLogic> &Description()
{
    return logic::TAdvancedLogic::Description();
}

TStackSizes Sizes()
{
    TStackSizes sizes;
    sizes.Margin = 8;
    sizes.RowGap = 5;
    return sizes;
}

} // namespace

TfrmAdvanced::TfrmAdvanced(logic::TDialogs &dialogs, HWND owner)
    : TForm(dialogs),
      owner_(owner),
      silver_(::CreateSolidBrush(RGB(0xC0, 0xC0, 0xC0))),
      logic_(*this, dialogs)
{
    Create(L"TfrmAdvanced", Description().Caption,
           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX | WS_CLIPCHILDREN,
           WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES, owner, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    CreateControls();
    SetAccelerators(Accelerators(Description()));
    // At least its described size, and as much more as its rows need (the least size is kept
    // by WM_GETMINMAXINFO), and at first wide enough for every column of both lists; at 200,
    // 108 on the screen.
    auto columns = [](HWND list) {
        int width = ::GetSystemMetrics(SM_CXVSCROLL) + 2 * ::GetSystemMetrics(SM_CXEDGE);
        for (int i = 0; i < 3; ++i)
            width += int(::SendMessageW(list, LVM_GETCOLUMNWIDTH, WPARAM(i), 0));
        return width;
    };
    const TStackSizes sizes = Sizes();
    const int lists = 2 * std::max(columns(lstTable), columns(lstHeader)) + TextSize(Label3, "Link").cx +
                      Scale(2 * sizes.RowGap + 2 * sizes.Margin);
    Ready(std::max(Description().Width, ::MulDiv(lists, 96, Scale(96))), Description().Height);
    ::SetWindowPos(Handle(), nullptr, Scale(200), Scale(108), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmAdvanced::CreateControls()
{
    controls_ =
        std::make_unique<TDescribedControls>(*this, Description().Looks(), Description().Layout, Sizes());
    const TDescribedControls &c = *controls_;
    lstInfo = c.Find("lstInfo");
    lstTable = c.Find("lstTable");
    lstHeader = c.Find("lstHeader");
    btnLink = c.Find("btnLink");
    btnAppend = c.Find("btnAppend");
    btnQuit = c.Find("btnQuit");
    btnTruncate = c.Find("btnTruncate");
    cmbTable = c.Find("cmbTable");
    cmbHeader = c.Find("cmbHeader");
    Label1 = c.Find("Label1");
    Label2 = c.Find("Label2");
    Label3 = c.Find("Label3");
    Label4 = c.Find("Label4");
    lblStatus = c.Find("lblStatus");
    Status = c.Find("Status");
    btnCancel = c.Find("btnCancel");
}

SIZE TfrmAdvanced::MinimumClientSize() const
{
    return controls_->LeastClientSize(Scale(Description().LeastWidth));
}

void TfrmAdvanced::Layout(int width, int height)
{
    controls_->Place(width, height);
}

LRESULT TfrmAdvanced::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CTLCOLORLISTBOX:
        if (reinterpret_cast<HWND>(lParam) != lstInfo)
            break;
        ::SetBkColor(reinterpret_cast<HDC>(wParam), RGB(0xC0, 0xC0, 0xC0));
        return reinterpret_cast<LRESULT>(silver_.get());
    case WM_CLOSE: {
        bool close = true;
        GuardedDuringWork([&] { close = logic_.FormCloseQuery(); });
        if (close)
            EndModal();
        return 0;
    }
    case WM_DROPFILES: {
        const std::vector<std::string> paths = TakeDroppedFiles(reinterpret_cast<HDROP>(wParam));
        if (logic_.AcceptsDrop(paths))
            Guarded([&] { logic_.FilesDropped(paths); });
        return 0;
    }
    }
    return TForm::OnMessage(message, wParam, lParam);
}

void TfrmAdvanced::OnCommand(int id, int code, HWND)
{
    RunCommand(Description(), *controls_, logic_, id, code, Guard());
}

LRESULT TfrmAdvanced::OnNotify(const NMHDR &header)
{
    RunNotify(Description(), *controls_, logic_, header, Guard());
    return 0;
}

bool TfrmAdvanced::OnKey(const MSG &message)
{
    return RunKey(Description(), *controls_, logic_, message, Guard());
}

void TfrmAdvanced::ShowModal()
{
    // The warning comes up every time the window is shown.
    ShowModalOver(owner_, lstTable, [this] { Guarded([this] { logic_.FormShow(); }); });
}

void TfrmAdvanced::ModalEnded()
{
    logic_.FormClose();
}

void TfrmAdvanced::Close()
{
    EndModal();
}

void TfrmAdvanced::CloseWindow()
{
    ::PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

void TfrmAdvanced::SetInfoLines(const std::vector<std::string> &lines)
{
    FillListBox(lstInfo, lines);
}

void TfrmAdvanced::SetTableBlockLabels(const std::vector<std::string> &labels)
{
    FillComboBox(cmbTable, labels);
}

void TfrmAdvanced::SetDataBlockLabels(const std::vector<std::string> &labels)
{
    FillComboBox(cmbHeader, labels);
}

void TfrmAdvanced::SelectTableBlockLabel(int index)
{
    ::SendMessageW(cmbTable, CB_SETCURSEL, WPARAM(index), 0);
}

void TfrmAdvanced::SelectDataBlockLabel(int index)
{
    ::SendMessageW(cmbHeader, CB_SETCURSEL, WPARAM(index), 0);
}

int TfrmAdvanced::ChosenTableBlockLabel() const
{
    return ComboSelection(cmbTable);
}

int TfrmAdvanced::ChosenDataBlockLabel() const
{
    return ComboSelection(cmbHeader);
}

int TfrmAdvanced::DataBlockLabelCount() const
{
    return int(::SendMessageW(cmbHeader, CB_GETCOUNT, 0, 0));
}

void TfrmAdvanced::SetTableRows(const std::vector<TTableRow> &rows)
{
    FillReportList(lstTable, rows);
}

void TfrmAdvanced::SetDataRows(const std::vector<TDataRow> &rows)
{
    FillReportList(lstHeader, rows);
}

void TfrmAdvanced::AddDataRow(const TDataRow &row)
{
    AddReportRow(lstHeader, {row.begin(), row.end()});
}

void TfrmAdvanced::SetTableRowData(int row, const std::string &data)
{
    SetCellText(lstTable, row, 1, data);
}

int TfrmAdvanced::SelectedTableRow() const
{
    return SelectedRow(lstTable);
}

int TfrmAdvanced::SelectedDataRow() const
{
    return SelectedRow(lstHeader);
}

std::string TfrmAdvanced::TableRowData(int row) const
{
    return CellText(lstTable, row, 1);
}

void TfrmAdvanced::SelectTableRow(int row, bool focus)
{
    SelectRow(lstTable, row, focus);
}

void TfrmAdvanced::SelectDataRow(int row, bool focus)
{
    SelectRow(lstHeader, row, focus);
}

TfrmAdvanced::TList TfrmAdvanced::FocusedList() const
{
    const HWND focus = ::GetFocus();
    if (focus == lstHeader)
        return TList::Data;
    if (focus == lstTable)
        return TList::Table;
    return TList::None;
}

void TfrmAdvanced::SetProgressMaximum(int32_t maximum)
{
    ::SendMessageW(Status, PBM_SETRANGE32, 0, maximum);
}

void TfrmAdvanced::SetProgressPosition(int32_t position)
{
    ::SendMessageW(Status, PBM_SETPOS, WPARAM(position), 0);
}

void TfrmAdvanced::SetBusy(bool busy)
{
    controls_->SetBusy(busy);
    if (busy)
        ::SetFocus(btnCancel);
    else if (const HWND focus = ::GetFocus(); !focus || focus == btnCancel)
        ::SetFocus(lstHeader);
}

void TfrmAdvanced::LetEventsRun()
{
    RunWaitingMessages();
}

void TfrmAdvanced::SetStatus(const std::string &text)
{
    SetStatusText(lblStatus, text);
}

} // namespace kvb::win32ui
