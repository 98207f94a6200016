#include "win32ui/kvbcompare.h"

#include "platform/win32/wide.h"
#include "win32ui/controls.h"

#include <commctrl.h>
#include <windowsx.h>

namespace kvb::win32ui {

namespace {

const logic::TWindowDescription<logic::TCompareLogic> &Description()
{
    return logic::TCompareLogic::Description();
}

TStackSizes Sizes()
{
    TStackSizes sizes;
    sizes.Margin = 8;
    return sizes;
}

} // namespace

TfrmCompare::TfrmCompare(logic::TDialogs &dialogs, HWND owner)
    : TForm(dialogs),
      owner_(owner),
      logic_(*this)
{
    Create(L"TfrmCompare", Description().Caption,
           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX | WS_CLIPCHILDREN,
           WS_EX_CONTROLPARENT, owner, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    controls_ =
        std::make_unique<TDescribedControls>(*this, Description().Looks(), Description().Layout, Sizes());
    lblSummary = controls_->Find("lblSummary");
    lstDiff = controls_->Find("lstDiff");
    btnClose = controls_->Find("btnClose");
    SetAccelerators(Accelerators(Description()));
    Ready(Description().Width, Description().Height);

    CentreOnWorkArea();
}

SIZE TfrmCompare::MinimumClientSize() const
{
    return controls_->LeastClientSize(Scale(Description().LeastWidth));
}

void TfrmCompare::Layout(int width, int height)
{
    controls_->Place(width, height);
}

LRESULT TfrmCompare::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) != lstDiff)
            break;
        ShowRowMenu(lParam);
        return 0;
    case WM_CLOSE: EndModal(); return 0;
    }
    return TForm::OnMessage(message, wParam, lParam);
}

void TfrmCompare::OnCommand(int id, int code, HWND)
{
    RunCommand(Description(), *controls_, logic_, id, code, Guard());
}

LRESULT TfrmCompare::OnNotify(const NMHDR &header)
{
    RunNotify(Description(), *controls_, logic_, header, Guard());
    return 0;
}

bool TfrmCompare::OnKey(const MSG &message)
{
    return RunKey(Description(), *controls_, logic_, message, Guard());
}

HMENU TfrmCompare::RowMenu() const
{
    return DescribedMenu(Description(), logic_);
}

void TfrmCompare::ShowRowMenu(LPARAM at)
{
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    // From the keyboard: at the selected row, or the list's corner.
    if (at == -1) {
        RECT row{LVIR_BOUNDS, 0, 0, 0};
        const int selected = SelectedDiffRow();
        if (selected < 0 ||
            !::SendMessageW(lstDiff, LVM_GETITEMRECT, WPARAM(selected), reinterpret_cast<LPARAM>(&row)))
            row = {0, 0, 0, 0};
        point = {row.left + Scale(8), row.bottom};
        ::ClientToScreen(lstDiff, &point);
    }
    Guarded([&] {
        HMENU menu = RowMenu();
        ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, point.x, point.y, 0, Handle(), nullptr);
        ::DestroyMenu(menu);
    });
}

void TfrmCompare::ShowModal()
{
    ShowModalOver(owner_, lstDiff);
}

void TfrmCompare::ModalEnded()
{
    logic_.FormClose();
}

void TfrmCompare::Close()
{
    EndModal();
}

void TfrmCompare::SetCaption(const std::string &caption)
{
    ::SetWindowTextW(Handle(), win32::Wide(caption).c_str());
}

void TfrmCompare::SetSummary(const std::string &text)
{
    ::SetWindowTextW(lblSummary, win32::Wide(text).c_str());
    // A longer summary takes more lines.
    Relayout();
}

void TfrmCompare::SetDiffRows(const std::vector<TDiffRow> &rows)
{
    FillReportList(lstDiff, rows);
}

int TfrmCompare::SelectedDiffRow() const
{
    return SelectedRow(lstDiff);
}

} // namespace kvb::win32ui
