// TForm: what the three Win32 windows share. One window procedure per window, the controls'
// font, sizes in pixels of the window's screen (the program is aware of each monitor's scale),
// the keys of a window (its accelerators, Enter and Escape) and the one message loop that every
// wait of the program runs: the program's own, a modal window's, and long work's.
#pragma once

#include "logic/face.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace kvb::win32ui {

struct TGdiDeleter {
    void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
};
using TFont = std::unique_ptr<std::remove_pointer_t<HFONT>, TGdiDeleter>;

struct TAcceleratorDeleter {
    void operator()(HACCEL table) const { ::DestroyAcceleratorTable(table); }
};
using TAccelerators = std::unique_ptr<std::remove_pointer_t<HACCEL>, TAcceleratorDeleter>;

class TForm {
public:
    virtual ~TForm();
    TForm(const TForm &) = delete;
    TForm &operator=(const TForm &) = delete;

    HWND Handle() const { return hwnd_; }
    // The controls' font: Verdana, 11 pixels high at 100 % (another face where it is missing).
    HFONT Font() const { return font_.get(); }
    // pixels at 100 % as pixels on the window's screen.
    int Scale(int pixels) const;

    // The program's message loop: runs until WM_QUIT, and returns its exit code.
    static int RunMessageLoop();
    // Handles the messages waiting, then returns (long work lets the windows run between its
    // steps). A WM_QUIT among them is put back for the loop that waits for it.
    static void RunWaitingMessages();
    // Runs until done() holds (a modal window's loop); false when WM_QUIT came first, which is
    // put back for the program's loop.
    template <typename Done>
    static bool RunMessagesUntil(Done done)
    {
        MSG message;
        while (!done()) {
            const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
            if (got == 0) {
                ::PostQuitMessage(int(message.wParam));
                return false;
            }
            if (got > 0)
                Dispatch(message);
        }
        return true;
    }

protected:
    // dialogs shows the errors of the window's events.
    explicit TForm(logic::TDialogs &dialogs);

    // Creates the window of class className (registered here on first use) with the caption
    // and styles given, hidden. Its messages reach OnMessage once Ready says that its controls
    // are there.
    void Create(const wchar_t *className, const std::string &caption, DWORD style, DWORD exStyle,
                HWND owner, HBRUSH background);
    // The controls are made: the window takes its client area (at 100 %, or the least its
    // controls need when that is more) and lays them out.
    void Ready(int clientWidth, int clientHeight);
    // A child control with the window's font.
    HWND Control(const wchar_t *className, const std::string &text, DWORD style, int id,
                 DWORD exStyle = 0);
    // The window's keys: a table of accelerators whose commands reach OnCommand.
    void SetAccelerators(const std::vector<ACCEL> &keys);

    // A window's messages; the default is the system's. Commands (WM_COMMAND) from controls,
    // menus and accelerators, and notifications (WM_NOTIFY), are handed on below.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // code is the notification (BN_CLICKED, CBN_SELCHANGE, ...), 1 for an accelerator.
    virtual void OnCommand(int id, int code, HWND control);
    virtual LRESULT OnNotify(const NMHDR &header);
    // Places the controls for the client area's size.
    virtual void Layout(int width, int height) = 0;
    // The smallest client area, in pixels of the window's screen.
    virtual SIZE MinimumClientSize() const = 0;
    // The font was made again for a screen of another scale and given to every control.
    virtual void FontChanged() {}
    // Enter and Escape before the controls see them: true when the window took the key.
    virtual bool OnKey(const MSG &message);
    // Whether Tab and the arrow keys move between the controls, as in a dialog.
    virtual bool MovesBetweenControls() const { return true; }

    // Runs an event's handler inside the error guard; Guarded ignores it during long work.
    void Guarded(const std::function<void()> &handler);
    void GuardedDuringWork(const std::function<void()> &handler);
    // Both as one call: guard(handler, duringWork), for the described window's dispatch.
    auto Guard()
    {
        return [this](const std::function<void()> &handler, bool duringWork) {
            duringWork ? GuardedDuringWork(handler) : Guarded(handler);
        };
    }
    logic::TDialogs &Dialogs() { return dialogs_; }
    // The window procedure's default for a message.
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);
    // Places the controls again for the current client area.
    void Relayout();
    // Moves the window to the middle of the screen's work area, its top left corner kept on it.
    void CentreOnWorkArea();

    // Shows the window modally over owner, which takes no input meanwhile, with the keyboard at
    // focus; runs whenShown, then the messages until EndModal, and returns once the window has
    // closed (a WM_QUIT first closes it all the same).
    void ShowModalOver(HWND owner, HWND focus, const std::function<void()> &whenShown = {});
    // Every way of closing a modal window ends here: ModalEnded lets go of what the window held,
    // then the owner takes input again before this window goes, so that it becomes the active one.
    // Nothing when no modal showing runs.
    void EndModal();
    virtual void ModalEnded() {}
    bool ModalShown() const { return modalShown_; }

private:
    // Makes the controls a window's description names.
    friend class TDescribedControls;

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static void Dispatch(MSG &message);
    // The window's keys for a message bound for it or one of its controls.
    bool TranslateKeys(MSG &message);
    void MakeFont();

    logic::TDialogs &dialogs_;
    HWND hwnd_ = nullptr;
    bool ready_ = false;
    TFont font_;
    TAccelerators accelerators_;
    HWND modalOwner_ = nullptr;
    bool modalShown_ = false;
};

} // namespace kvb::win32ui
