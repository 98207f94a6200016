#include "win32ui/kvbreport.h"

#include "platform/errors.h"
#include "platform/win32/wide.h"
#include "win32ui/controls.h"

#include <algorithm>

namespace kvb::win32ui {

namespace {

const logic::TWindowDescription<logic::TReportLogic> &Description()
{
    return logic::TReportLogic::Description();
}

TStackSizes Sizes()
{
    TStackSizes sizes;
    sizes.Margin = 8;
    return sizes;
}

} // namespace

TfrmReport::TfrmReport(logic::TDialogs &dialogs, HWND owner)
    : TForm(dialogs),
      owner_(owner),
      silver_(::CreateSolidBrush(RGB(0xC0, 0xC0, 0xC0))),
      logic_(*this)
{
    Create(L"TfrmReport", Description().Caption,
           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX | WS_CLIPCHILDREN,
           WS_EX_CONTROLPARENT, owner, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    controls_ =
        std::make_unique<TDescribedControls>(*this, Description().Looks(), Description().Layout, Sizes());
    lstReport = controls_->Find("lstReport");
    btnCopy = controls_->Find("btnCopy");
    btnClose = controls_->Find("btnClose");
    SetAccelerators(Accelerators(Description()));
    Ready(Description().Width, Description().Height);

    CentreOnWorkArea();
}

SIZE TfrmReport::MinimumClientSize() const
{
    return controls_->LeastClientSize(Scale(Description().LeastWidth));
}

void TfrmReport::Layout(int width, int height)
{
    controls_->Place(width, height);
}

LRESULT TfrmReport::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CTLCOLORLISTBOX:
        // Grey, as the main window's info lines that hold the same report.
        if (reinterpret_cast<HWND>(lParam) != lstReport)
            break;
        ::SetBkColor(reinterpret_cast<HDC>(wParam), RGB(0xC0, 0xC0, 0xC0));
        return reinterpret_cast<LRESULT>(silver_.get());
    case WM_CLOSE: EndModal(); return 0;
    }
    return TForm::OnMessage(message, wParam, lParam);
}

void TfrmReport::OnCommand(int id, int code, HWND)
{
    RunCommand(Description(), *controls_, logic_, id, code, Guard());
}

LRESULT TfrmReport::OnNotify(const NMHDR &header)
{
    RunNotify(Description(), *controls_, logic_, header, Guard());
    return 0;
}

bool TfrmReport::OnKey(const MSG &message)
{
    return RunKey(Description(), *controls_, logic_, message, Guard());
}

void TfrmReport::ShowModal()
{
    ShowModalOver(owner_, btnClose);
}

void TfrmReport::ModalEnded()
{
    logic_.FormClose();
}

void TfrmReport::Close()
{
    EndModal();
}

void TfrmReport::SetCaption(const std::string &caption)
{
    ::SetWindowTextW(Handle(), win32::Wide(caption).c_str());
}

void TfrmReport::SetReportLines(const std::vector<std::string> &lines)
{
    FillListBox(lstReport, lines);
}

void TfrmReport::CopyText(const std::string &text)
{
    if (!CopyToClipboard(Handle(), text))
        throw EKVBError("The report could not be copied: another program holds the clipboard");
}

} // namespace kvb::win32ui
