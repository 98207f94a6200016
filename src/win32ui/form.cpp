#include "win32ui/form.h"

#include "platform/errors.h"
#include "platform/win32/wide.h"

#include <commctrl.h>

#include <algorithm>

namespace kvb::win32ui {

namespace {

// The property of a top-level window that leads from its handle to its TForm: the message loop
// finds the keys of the window a message is bound for through it.
constexpr const wchar_t *kFormProperty = L"KvbForm";

// The window's dots per inch. Looked up at run time: the system's header declares it only for
// newer targets than the platform layer builds for, and the program must start without it.
UINT DpiOf(HWND hwnd)
{
    using TGetDpiForWindow = UINT(WINAPI *)(HWND);
    static const auto getDpi = reinterpret_cast<TGetDpiForWindow>(
        reinterpret_cast<void *>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi && hwnd)
        if (const UINT dpi = getDpi(hwnd); dpi > 0)
            return dpi;
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? UINT(dpi) : 96;
}

TForm *FormOf(HWND hwnd)
{
    return hwnd ? static_cast<TForm *>(::GetPropW(hwnd, kFormProperty)) : nullptr;
}

} // namespace

TForm::TForm(logic::TDialogs &dialogs) : dialogs_(dialogs)
{
}

TForm::~TForm()
{
    if (hwnd_) {
        ::RemovePropW(hwnd_, kFormProperty);
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

int TForm::Scale(int pixels) const
{
    return ::MulDiv(pixels, int(DpiOf(hwnd_)), 96);
}

void TForm::MakeFont()
{
    font_.reset(::CreateFontW(-Scale(11), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                              VARIABLE_PITCH | FF_SWISS, L"Verdana"));
}

void TForm::Create(const wchar_t *className, const std::string &caption, DWORD style, DWORD exStyle,
                   HWND owner, HBRUSH background)
{
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (!::GetClassInfoExW(instance, className, &windowClass)) {
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance;
        windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = background;
        windowClass.lpszClassName = className;
        if (!::RegisterClassExW(&windowClass))
            throw EKVBError("The window class could not be registered: " +
                            win32::SystemMessage(::GetLastError()));
    }
    hwnd_ = ::CreateWindowExW(exStyle, className, win32::Wide(caption).c_str(), style, 0, 0, 0, 0, owner,
                              nullptr, instance, this);
    if (!hwnd_)
        throw EKVBError("The window \"" + caption +
                        "\" could not be created: " + win32::SystemMessage(::GetLastError()));
    ::SetPropW(hwnd_, kFormProperty, this);
    MakeFont();
}

void TForm::Ready(int clientWidth, int clientHeight)
{
    ready_ = true;
    // No smaller than the controls need.
    const SIZE least = MinimumClientSize();
    RECT frame{0, 0, std::max<int>(Scale(clientWidth), least.cx),
               std::max<int>(Scale(clientHeight), least.cy)};
    ::AdjustWindowRectEx(&frame, DWORD(::GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                         DWORD(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
    ::SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Relayout();
}

HWND TForm::Control(const wchar_t *className, const std::string &text, DWORD style, int id, DWORD exStyle)
{
    HWND control = ::CreateWindowExW(exStyle, className, win32::Wide(text).c_str(),
                                     WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, hwnd_,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                     ::GetModuleHandleW(nullptr), nullptr);
    if (!control)
        throw EKVBError("A control of the window could not be created: " +
                        win32::SystemMessage(::GetLastError()));
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return control;
}

void TForm::SetAccelerators(const std::vector<ACCEL> &keys)
{
    std::vector<ACCEL> table = keys;
    accelerators_.reset(::CreateAcceleratorTableW(table.data(), int(table.size())));
}

void TForm::Guarded(const std::function<void()> &handler)
{
    logic::Guarded(dialogs_, handler);
}

void TForm::GuardedDuringWork(const std::function<void()> &handler)
{
    logic::GuardedDuringWork(dialogs_, handler);
}

LRESULT TForm::Default(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

void TForm::Relayout()
{
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    Layout(client.right, client.bottom);
}

void TForm::ShowModalOver(HWND owner, HWND focus, const std::function<void()> &whenShown)
{
    ::EnableWindow(owner, FALSE);
    modalOwner_ = owner;
    modalShown_ = true;
    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetForegroundWindow(hwnd_);
    ::SetFocus(focus);
    if (whenShown)
        whenShown();
    RunMessagesUntil([this] { return !modalShown_; });
    EndModal();
}

void TForm::EndModal()
{
    if (!modalShown_)
        return;
    modalShown_ = false;
    ModalEnded();
    ::EnableWindow(modalOwner_, TRUE);
    ::ShowWindow(hwnd_, SW_HIDE);
    if (modalOwner_)
        ::SetActiveWindow(modalOwner_);
}

void TForm::CentreOnWorkArea()
{
    RECT work{}, frame{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::GetWindowRect(hwnd_, &frame);
    const LONG w = frame.right - frame.left, h = frame.bottom - frame.top;
    ::SetWindowPos(hwnd_, nullptr, work.left + std::max(0L, (work.right - work.left - w) / 2),
                   work.top + std::max(0L, (work.bottom - work.top - h) / 2), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT TForm::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)); return 0;
    case WM_NOTIFY: return OnNotify(*reinterpret_cast<const NMHDR *>(lParam));
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED)
            Layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_GETMINMAXINFO: {
        const SIZE least = MinimumClientSize();
        RECT frame{0, 0, least.cx, least.cy};
        ::AdjustWindowRectEx(&frame, DWORD(::GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                             DWORD(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
        auto *limits = reinterpret_cast<MINMAXINFO *>(lParam);
        limits->ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
        return 0;
    }
    case WM_DPICHANGED: {
        // The window moves to a screen of another scale: the font and every size follow.
        MakeFont();
        for (HWND child = ::GetWindow(hwnd_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
        FontChanged();
        const RECT *suggested = reinterpret_cast<const RECT *>(lParam);
        ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                       suggested->right - suggested->left, suggested->bottom - suggested->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        Relayout();
        return 0;
    }
    }
    return Default(message, wParam, lParam);
}

void TForm::OnCommand(int, int, HWND)
{
}

LRESULT TForm::OnNotify(const NMHDR &)
{
    return 0;
}

bool TForm::OnKey(const MSG &)
{
    return false;
}

LRESULT CALLBACK TForm::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *form = static_cast<TForm *>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams);
        form->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto *form = reinterpret_cast<TForm *>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    // Nothing of the form before it is complete, or once it is being taken apart.
    if (!form || !form->ready_)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    return form->OnMessage(message, wParam, lParam);
}

bool TForm::TranslateKeys(MSG &message)
{
    if (message.message == WM_KEYDOWN && OnKey(message))
        return true;
    if (accelerators_ && ::TranslateAcceleratorW(hwnd_, accelerators_.get(), &message))
        return true;
    return MovesBetweenControls() && ::IsDialogMessageW(hwnd_, &message);
}

void TForm::Dispatch(MSG &message)
{
    if (message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST)
        if (TForm *form = FormOf(::GetAncestor(message.hwnd, GA_ROOT));
            form && form->TranslateKeys(message))
            return;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
}

int TForm::RunMessageLoop()
{
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0)
        Dispatch(message);
    return int(message.wParam);
}

void TForm::RunWaitingMessages()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(int(message.wParam));
            return;
        }
        Dispatch(message);
    }
}

} // namespace kvb::win32ui
