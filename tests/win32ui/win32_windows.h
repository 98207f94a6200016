// The program's three Win32 windows, created in the test's own process as the program creates
// them, over scripted dialogs and a player that plays nothing, and driven with the messages a
// user's clicks and keys send. Every call is synchronous, so no test waits for anything but the
// system's news of a file saved by another program (WaitUntil).
#pragma once

#include "logic/scripted_face.h"
#include "platform/win32/wide.h"
#include "win32ui/app_windows.h"
#include "win32ui/controls.h"

#include <commctrl.h>

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace kvb::test {

// The scripted dialogs, and what the user does while a notice is up (the advanced window's
// warning comes up inside its modal loop: the test drives the window from there).
class Win32ScriptedDialogs : public ScriptedDialogs {
public:
    std::function<void()> duringNextNotice;
    void Notice(const std::string &text) override
    {
        ScriptedDialogs::Notice(text);
        if (duringNextNotice) {
            const std::function<void()> during = std::move(duringNextNotice);
            duringNextNotice = nullptr;
            during();
        }
    }
};

struct Win32Windows {
    Win32ScriptedDialogs dialogs;
    ScriptedPlayer player;
    std::vector<std::string> links;
    // "default <path>" and "chosen <path>": the files handed to other programs, and how each
    // hand-over ends (opened when none is given).
    std::vector<std::string> handed;
    std::deque<logic::TMainView::TOpened> openings;
    win32ui::TAppWindows windows = win32ui::CreateAppWindows(
        dialogs, player,
        [this](const std::string &url) {
            links.push_back(url);
            return true;
        },
        [this](const std::string &path, bool choose, HWND) {
            handed.push_back((choose ? "chosen " : "default ") + path);
            if (openings.empty())
                return logic::TMainView::TOpened::Opened;
            const logic::TMainView::TOpened answer = openings.front();
            openings.pop_front();
            return answer;
        });
    win32ui::TfrmKVBEditor &main = *windows.frmKVBEditor;
    win32ui::TfrmAdvanced &advanced = *windows.frmAdvanced;
    win32ui::TfrmTexView &preview = *windows.frmTexView;
    win32ui::TfrmGallery &gallery = *windows.frmGallery;
    TempDir dir;

    Win32Windows() { ::ShowWindow(main.Handle(), SW_SHOWNOACTIVATE); }

    std::string Write(const std::string &name, const std::string &bytes)
    {
        WriteFile(PathFromUtf8(dir / name), bytes);
        return dir / name;
    }
    // "Open KVB" on the file at path.
    void Open(const std::string &path)
    {
        dialogs.files.push_back(path);
        Click(main.btnOpen);
    }

    // Runs start, which shows a modal window, and inside that window's loop runs whenUp once
    // ready() holds: the work before the window runs messages too, so a timer looks each tick,
    // and lets go of its work before it runs it.
    static void WhileModal(std::function<bool()> ready, std::function<void()> whenUp,
                           const std::function<void()> &start)
    {
        struct TUp {
            std::function<bool()> Ready;
            std::function<void()> Run;
        };
        static TUp up;
        up = {std::move(ready), std::move(whenUp)};
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR self, DWORD) {
            if (!up.Ready || !up.Ready())
                return;
            ::KillTimer(nullptr, self);
            up.Ready = nullptr;
            const std::function<void()> run = std::move(up.Run);
            run();
        });
        start();
        ::KillTimer(nullptr, timer);
        up = {};
    }

    // Runs the program's messages (its timers' ticks among them) until done() holds; false when
    // it does not within a while.
    static bool WaitUntil(const std::function<bool()> &done)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            win32ui::TForm::RunWaitingMessages();
            ::Sleep(20);
        }
        return true;
    }

    // A click on a button: the button tells its window itself.
    static void Click(HWND button) { ::SendMessageW(button, BM_CLICK, 0, 0); }
    // A label chosen in a drop-down list: the list tells its window.
    static void Choose(HWND combo, int index)
    {
        ::SendMessageW(combo, CB_SETCURSEL, WPARAM(index), 0);
        ::SendMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(combo), CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(combo));
    }
    // A row clicked (selected, then NM_CLICK) or double-clicked (NM_DBLCLK) in a list view.
    static void SelectRow(HWND list, int row) { win32ui::SelectRow(list, row, true); }
    static void Notify(HWND list, UINT code)
    {
        NMITEMACTIVATE note{};
        note.hdr.hwndFrom = list;
        note.hdr.idFrom = UINT_PTR(::GetDlgCtrlID(list));
        note.hdr.code = code;
        note.iItem = win32ui::SelectedRow(list);
        ::SendMessageW(::GetParent(list), WM_NOTIFY, note.hdr.idFrom, reinterpret_cast<LPARAM>(&note));
    }
    static void DoubleClick(HWND list, int row)
    {
        SelectRow(list, row);
        Notify(list, NM_DBLCLK);
    }
    // A key pressed while control has the focus, delivered by the program's own message loop;
    // ctrl (and shift) hold the Control (and Shift) key down meanwhile.
    static void Key(HWND control, UINT key, bool ctrl = false, bool shift = false)
    {
        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        keys[VK_CONTROL] = ctrl ? 0x80 : 0;
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        ::SetKeyboardState(keys);
        ::SetFocus(control);
        ::PostMessageW(control, WM_KEYDOWN, key, 1);
        ::PostMessageW(control, WM_KEYUP, key, 0xC0000001);
        win32ui::TForm::RunWaitingMessages();
        keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
        ::SetKeyboardState(keys);
    }

    static std::string Text(HWND control) { return win32ui::ControlText(control); }
    static std::vector<std::string> Lines(HWND listBox)
    {
        std::vector<std::string> lines;
        const int count = int(::SendMessageW(listBox, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            std::wstring line(size_t(::SendMessageW(listBox, LB_GETTEXTLEN, WPARAM(i), 0)) + 1, L'\0');
            line.resize(size_t(
                ::SendMessageW(listBox, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(line.data()))));
            lines.push_back(win32::Utf8(line));
        }
        return lines;
    }
    static std::vector<std::string> Labels(HWND combo)
    {
        std::vector<std::string> labels;
        const int count = int(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            std::wstring label(size_t(::SendMessageW(combo, CB_GETLBTEXTLEN, WPARAM(i), 0)) + 1, L'\0');
            label.resize(size_t(
                ::SendMessageW(combo, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(label.data()))));
            labels.push_back(win32::Utf8(label));
        }
        return labels;
    }
    static int Rows(HWND list) { return int(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }
    static std::string Cell(HWND list, int row, int column)
    {
        return win32ui::CellText(list, row, column);
    }
    static std::vector<std::string> Columns(HWND list)
    {
        std::vector<std::string> captions;
        for (int i = 0;; ++i) {
            wchar_t text[64] = L"";
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT;
            column.pszText = text;
            column.cchTextMax = 64;
            if (!::SendMessageW(list, LVM_GETCOLUMNW, WPARAM(i), reinterpret_cast<LPARAM>(&column)))
                return captions;
            captions.push_back(win32::Utf8(text));
        }
    }
    static RECT Bounds(HWND control)
    {
        RECT r{};
        ::GetWindowRect(control, &r);
        return r;
    }
};

} // namespace kvb::test
