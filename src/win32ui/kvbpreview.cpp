#include "win32ui/kvbpreview.h"

#include "platform/win32/wide.h"

#include <windowsx.h>

#include <algorithm>
#include <string>
#include <tuple>

namespace kvb::win32ui {

namespace {

constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_HSCROLL | WS_VSCROLL;

// How far a key or a notch of the wheel scrolls, in pixels at 100 %.
constexpr int kLineStep = 32;

// How long after it appeared an activation of the preview is the system's, not the user's.
constexpr DWORD kAppearingMs = 1500;
// Posted to give the activation back once the system's activation of the preview is done.
constexpr UINT kGiveBackActivation = WM_APP + 1;
// Ends the while in which the window does not take the activation.
constexpr UINT_PTR kAppearedTimer = 1;

SCROLLINFO ScrollInfo(UINT mask)
{
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = mask;
    return info;
}

} // namespace

TfrmTexView::TfrmTexView(logic::TDialogs &dialogs, HWND beside)
    : TForm(dialogs),
      beside_(beside),
      controls_(*this, {}, {}),
      logic_(*this, dialogs)
{
    const auto &description = logic::TTexViewLogic::Description();
    Create(L"TfrmTexView", description.Caption, kStyle, 0, nullptr, ::GetSysColorBrush(COLOR_BTNFACE));
    Ready(description.Width, description.Height);
    ::SetWindowPos(Handle(), nullptr, Scale(434), Scale(229), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowScrollBar(Handle(), SB_BOTH, FALSE);
    SetAccelerators(Accelerators(description));
}

logic::TRect TfrmTexView::Room() const
{
    RECT main{};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (beside_ && ::GetWindowRect(beside_, &main) &&
        ::GetMonitorInfoW(::MonitorFromWindow(beside_, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT &work = monitor.rcWork;
        return logic::RoomBeside({work.left, work.top, work.right - work.left, work.bottom - work.top},
                                 {main.left, main.top, main.right - main.left, main.bottom - main.top});
    }
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return {work.left, work.top, work.right - work.left, work.bottom - work.top};
}

SIZE TfrmTexView::FrameExtra() const
{
    RECT frame{0, 0, 0, 0};
    ::AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

int TfrmTexView::TitleWidth() const
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return 0;
    const int length = ::GetWindowTextLengthW(Handle());
    std::wstring title(size_t(length) + 1, L'\0');
    title.resize(size_t(::GetWindowTextW(Handle(), title.data(), length + 1)));
    HFONT font = ::CreateFontIndirectW(&metrics.lfCaptionFont);
    HDC dc = ::GetDC(Handle());
    HGDIOBJ old = ::SelectObject(dc, font);
    SIZE text{};
    ::GetTextExtentPoint32W(dc, title.c_str(), int(title.size()), &text);
    ::SelectObject(dc, old);
    ::ReleaseDC(Handle(), dc);
    ::DeleteObject(font);
    // The icon and the minimise, maximise and close buttons, each with a little room beside it.
    const int icon = ::GetSystemMetrics(SM_CXSMICON) + ::GetSystemMetrics(SM_CXEDGE) * 2;
    const int buttons = 3 * (metrics.iCaptionWidth + ::GetSystemMetrics(SM_CXEDGE));
    return int(text.cx) + icon + buttons + int(FrameExtra().cx) + 2 * ::GetSystemMetrics(SM_CYCAPTION);
}

logic::TRect TfrmTexView::FreeArea() const
{
    logic::TRect room = Room();
    room.Width -= FrameExtra().cx;
    room.Height -= FrameExtra().cy;
    return room;
}

void TfrmTexView::ShowPicture(const TTexImage &texture, int percent, const std::string &caption)
{
    picture_ = TTexDib(texture);
    const logic::TSize scaled = logic::ScaledSize(texture.Width, texture.Height, percent);
    size_ = {scaled.Width, scaled.Height};
    ::SetWindowTextW(Handle(), win32::Wide(caption).c_str());

    // The client area fits the picture within the room beside the main window; scroll bars
    // show the rest.
    const logic::TSize client = logic::ClientSizeFor(scaled, FreeArea(), ::GetSystemMetrics(SM_CYHSCROLL),
                                                     ::GetSystemMetrics(SM_CXVSCROLL));
    const SIZE frame = FrameExtra();
    const bool hidden = !::IsWindowVisible(Handle());
    const logic::TRect room = Room();
    // A picture narrower than the title leaves room beside it rather than cutting the title off.
    const int width = std::max(client.Width + int(frame.cx), std::min(TitleWidth(), room.Width));
    ::SetWindowPos(Handle(), nullptr, room.Left, room.Top, width, client.Height + frame.cy,
                   SWP_NOACTIVATE | SWP_NOZORDER | (hidden ? 0 : SWP_NOMOVE));
    // In front of the other windows, without taking the keyboard focus from the main window.
    if (const HWND active = ::GetActiveWindow(); active && active != Handle()) {
        keptActive_ = active;
        keptFocus_ = ::GetFocus();
        shownAt_ = ::GetTickCount();
        // The window manager is asked not to activate it as it appears (Wine's hands a window
        // that takes no activation no focus); a click of the user's ends that, as does a while.
        NotActivated(true);
        ::SetTimer(Handle(), kAppearedTimer, kAppearingMs, nullptr);
    }
    if (hidden)
        ::ShowWindow(Handle(), SW_SHOWNOACTIVATE);
    else
        ::SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
    Relayout();
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TfrmTexView::Layout(int width, int height)
{
    // The scroll bars come and go with the room the picture needs; each takes room from the
    // other's direction, so the ranges are set twice.
    for (int pass = 0; pass < 2; ++pass) {
        RECT client{};
        ::GetClientRect(Handle(), &client);
        width = client.right;
        height = client.bottom;
        for (auto [bar, page, whole] :
             {std::tuple{SB_HORZ, width, size_.cx}, std::tuple{SB_VERT, height, size_.cy}}) {
            SCROLLINFO info = ScrollInfo(SIF_RANGE | SIF_PAGE);
            info.nMin = 0;
            info.nMax = whole - 1;
            info.nPage = UINT(std::max(0, page));
            ::SetScrollInfo(Handle(), bar, &info, TRUE);
        }
    }
}

SIZE TfrmTexView::MinimumClientSize() const
{
    return {1, 1};
}

POINT TfrmTexView::ScrollPosition() const
{
    return {::GetScrollPos(Handle(), SB_HORZ), ::GetScrollPos(Handle(), SB_VERT)};
}

void TfrmTexView::Scroll(int bar, int request, int track)
{
    SCROLLINFO info = ScrollInfo(SIF_ALL);
    ::GetScrollInfo(Handle(), bar, &info);
    const int line = Scale(kLineStep), page = std::max(1, int(info.nPage));
    int position = info.nPos;
    switch (request) {
    case SB_LINEUP: position -= line; break;
    case SB_LINEDOWN: position += line; break;
    case SB_PAGEUP: position -= page; break;
    case SB_PAGEDOWN: position += page; break;
    case SB_TOP: position = 0; break;
    case SB_BOTTOM: position = info.nMax; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: position = track; break;
    }
    position = std::clamp(position, 0, std::max(0, info.nMax - page + 1));
    if (position == info.nPos)
        return;
    info.fMask = SIF_POS;
    info.nPos = position;
    ::SetScrollInfo(Handle(), bar, &info, TRUE);
    ::InvalidateRect(Handle(), nullptr, FALSE);
}

void TfrmTexView::Paint()
{
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(Handle(), &paint);
    const POINT scrolled = ScrollPosition();
    RECT client{};
    ::GetClientRect(Handle(), &client);
    picture_.Draw(dc, -scrolled.x, -scrolled.y, size_.cx, size_.cy);
    // The room around a picture smaller than the window.
    ::ExcludeClipRect(dc, -scrolled.x, -scrolled.y, size_.cx - scrolled.x, size_.cy - scrolled.y);
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
    ::EndPaint(Handle(), &paint);
}

LRESULT TfrmTexView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: Paint(); return 0;
    case WM_HSCROLL:
    case WM_VSCROLL: {
        SCROLLINFO info = ScrollInfo(SIF_TRACKPOS);
        const int bar = message == WM_HSCROLL ? SB_HORZ : SB_VERT;
        ::GetScrollInfo(Handle(), bar, &info);
        Scroll(bar, LOWORD(wParam), info.nTrackPos);
        return 0;
    }
    case WM_MOUSEWHEEL: {
        const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
        if (GET_KEYSTATE_WPARAM(wParam) & MK_CONTROL) {
            Guarded([&] { notches > 0 ? logic_.ZoomIn() : logic_.ZoomOut(); });
            return 0;
        }
        for (int i = 0; i < std::abs(notches); ++i)
            Scroll(SB_VERT, notches > 0 ? SB_LINEUP : SB_LINEDOWN);
        return 0;
    }
    case WM_CONTEXTMENU: ShowPictureMenu(lParam); return 0;
    case WM_MOUSEACTIVATE:
        // The user's click: the preview takes the activation and keeps it.
        keptActive_ = nullptr;
        NotActivated(false);
        break;
    case WM_TIMER:
        if (wParam != kAppearedTimer)
            break;
        NotActivated(false);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_ACTIVE && keptActive_ && ::GetTickCount() - shownAt_ < kAppearingMs)
            ::PostMessageW(Handle(), kGiveBackActivation, 0, 0);
        break;
    case kGiveBackActivation: GiveBackActivation(); return 0;
    case WM_CLOSE:
        // Closing only hides it.
        ::ShowWindow(Handle(), SW_HIDE);
        return 0;
    }
    return TForm::OnMessage(message, wParam, lParam);
}

void TfrmTexView::NotActivated(bool on)
{
    if (!on)
        ::KillTimer(Handle(), kAppearedTimer);
    const LONG_PTR style = ::GetWindowLongPtrW(Handle(), GWL_EXSTYLE);
    ::SetWindowLongPtrW(Handle(), GWL_EXSTYLE,
                        on ? style | WS_EX_NOACTIVATE : style & ~LONG_PTR(WS_EX_NOACTIVATE));
}

void TfrmTexView::GiveBackActivation()
{
    const HWND active = keptActive_, focus = keptFocus_;
    keptActive_ = keptFocus_ = nullptr;
    if (!active || !::IsWindow(active) || !::IsWindowVisible(active) || ::GetActiveWindow() != Handle())
        return;
    ::SetForegroundWindow(active);
    ::SetActiveWindow(active);
    if (focus && ::IsWindow(focus) && ::GetAncestor(focus, GA_ROOT) == active)
        ::SetFocus(focus);
}

void TfrmTexView::ShowPictureMenu(LPARAM at)
{
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at == -1) {
        point = {0, 0};
        ::ClientToScreen(Handle(), &point);
    }
    HMENU menu = DescribedMenu(logic::TTexViewLogic::Description(), logic_);
    ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, point.x, point.y, 0, Handle(), nullptr);
    ::DestroyMenu(menu);
}

void TfrmTexView::OnCommand(int id, int code, HWND)
{
    RunCommand(logic::TTexViewLogic::Description(), controls_, logic_, id, code, Guard());
}

void TfrmTexView::Hide()
{
    ::ShowWindow(Handle(), SW_HIDE);
}

bool TfrmTexView::OnKey(const MSG &message)
{
    const bool control = ::GetKeyState(VK_CONTROL) < 0;
    if (RunKey(logic::TTexViewLogic::Description(), controls_, logic_, message, Guard()))
        return true;
    switch (message.wParam) {
    case VK_LEFT: Scroll(SB_HORZ, SB_LINEUP); return true;
    case VK_RIGHT: Scroll(SB_HORZ, SB_LINEDOWN); return true;
    case VK_UP: Scroll(SB_VERT, SB_LINEUP); return true;
    case VK_DOWN: Scroll(SB_VERT, SB_LINEDOWN); return true;
    case VK_PRIOR: Scroll(SB_VERT, SB_PAGEUP); return true;
    case VK_NEXT: Scroll(SB_VERT, SB_PAGEDOWN); return true;
    case VK_HOME: Scroll(control ? SB_VERT : SB_HORZ, SB_TOP); return true;
    case VK_END: Scroll(control ? SB_VERT : SB_HORZ, SB_BOTTOM); return true;
    }
    return false;
}

} // namespace kvb::win32ui
