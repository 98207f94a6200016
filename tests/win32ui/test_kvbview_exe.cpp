// kvbview.exe driven from another process, as a user drives it: the real Open dialog opens the
// demo archive, a block is chosen, an entry is extracted through the real Save dialog, a
// texture is shown in the preview, and closing the main window ends the program.
#include "platform/win32/wide.h"
#include "support/archive_builder.h"
#include "support/demo_archive.h"
#include "support/tex_builder.h"
#include "win32ui/kvbviewer.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

using namespace kvb;
using namespace kvb::test;
using kvb::win32ui::TfrmKVBEditor;
using Clock = std::chrono::steady_clock;

namespace {

// The identifier of the main window's control named so.
int MainId(const std::string &name)
{
    return win32ui::ControlId(logic::TKVBEditorLogic::Description(), name);
}

} // namespace

namespace {

// Polls until found() gives a window, or nothing after the time is up.
HWND WaitFor(const std::function<HWND()> &found, std::chrono::seconds timeout = std::chrono::seconds(30))
{
    for (const auto end = Clock::now() + timeout; Clock::now() < end; ::Sleep(20))
        if (HWND window = found())
            return window;
    return nullptr;
}

bool WaitUntil(const std::function<bool()> &done, std::chrono::seconds timeout = std::chrono::seconds(30))
{
    return WaitFor([&] { return done() ? HWND(1) : nullptr; }, timeout) != nullptr;
}

// A visible dialog box (a common dialog or a message box) owned by owner.
HWND OwnedDialog(HWND owner)
{
    struct Search {
        HWND owner, found;
    } search{owner, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto *s = reinterpret_cast<Search *>(data);
            wchar_t name[16] = L"";
            ::GetClassNameW(window, name, 16);
            if (::lstrcmpW(name, L"#32770") == 0 && ::GetWindow(window, GW_OWNER) == s->owner &&
                ::IsWindowVisible(window)) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A control's text in another process: WM_GETTEXT and WM_SETTEXT carry their strings across.
std::wstring TextOf(HWND control)
{
    wchar_t text[1024] = L"";
    ::SendMessageW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

// The file name box of a common file dialog.
HWND FileNameBox(HWND dialog)
{
    HWND box = ::GetDlgItem(dialog, 0x47C);         // cmb13, the Explorer style's
    return box ? box : ::GetDlgItem(dialog, 0x480); // edt1
}

// Types path into the file dialog and presses its default button, until the dialog has gone: a
// dialog that has just come up may still be filling itself in and reset its name box.
bool Answer(HWND dialog, const std::wstring &path)
{
    HWND box = FileNameBox(dialog);
    if (!box)
        return false;
    return WaitUntil([&] {
        if (!::IsWindow(dialog))
            return true;
        ::SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        if (TextOf(box) == path)
            ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
        ::Sleep(200);
        return !::IsWindow(dialog);
    });
}

// List view messages carry pointers, which must point into the program's own memory.
class TRemoteItem {
public:
    explicit TRemoteItem(HANDLE process) : process_(process)
    {
        memory_ = ::VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + sizeof text_, MEM_COMMIT,
                                   PAGE_READWRITE);
    }
    ~TRemoteItem() { ::VirtualFreeEx(process_, memory_, 0, MEM_RELEASE); }
    TRemoteItem(const TRemoteItem &) = delete;
    TRemoteItem &operator=(const TRemoteItem &) = delete;

    std::wstring Cell(HWND list, int row, int column)
    {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = reinterpret_cast<wchar_t *>(static_cast<char *>(memory_) + sizeof(LVITEMW));
        item.cchTextMax = int(std::size(text_));
        ::WriteProcessMemory(process_, memory_, &item, sizeof item, nullptr);
        ::SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(memory_));
        ::ReadProcessMemory(process_, item.pszText, text_, sizeof text_, nullptr);
        return text_;
    }
    void Select(HWND list, int row)
    {
        LVITEMW item{};
        item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::WriteProcessMemory(process_, memory_, &item, sizeof item, nullptr);
        ::SendMessageW(list, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(memory_));
    }

private:
    HANDLE process_;
    void *memory_;
    wchar_t text_[260] = L"";
};

std::wstring Windows(const std::string &path)
{
    std::wstring wide = win32::Wide(path);
    for (wchar_t &c : wide)
        if (c == L'/')
            c = L'\\';
    return wide;
}

} // namespace

TEST(KvbviewExe, OpensExtractsAndPreviewsTheDemoArchiveThroughTheRealDialogs)
{
    TempDir dir;
    const std::string archive = dir / "demo.kvb";
    WriteFile(PathFromUtf8(archive), DemoArchive());
    const std::string extracted = dir / "extracted.tex";

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + win32::Wide(KVBVIEW_BINARY) + L"\"";
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &process))
        << "cannot start " << KVBVIEW_BINARY << ": " << ::GetLastError();
    struct TEnd {
        PROCESS_INFORMATION &p;
        ~TEnd()
        {
            if (::WaitForSingleObject(p.hProcess, 0) == WAIT_TIMEOUT)
                ::TerminateProcess(p.hProcess, 99);
            ::CloseHandle(p.hThread);
            ::CloseHandle(p.hProcess);
        }
    } end{process};

    // The window exists before its controls do: wait until it is shown, with its last one.
    const HWND main = WaitFor([] {
        HWND window = ::FindWindowW(L"TfrmKVBEditor", L"KVB Editor");
        return window && ::IsWindowVisible(window) && ::GetDlgItem(window, MainId("btnCancel")) ? window
                                                                                                : nullptr;
    });
    ASSERT_NE(main, nullptr);
    const HWND files = ::GetDlgItem(main, MainId("lstFiles")),
               info = ::GetDlgItem(main, MainId("lstInfo"));
    const HWND blocks = ::GetDlgItem(main, MainId("cmbList"));

    // "Open KVB": the real Open dialog. A button that opens a modal box is posted, not sent.
    ::PostMessageW(::GetDlgItem(main, MainId("btnOpen")), BM_CLICK, 0, 0);
    const HWND open = WaitFor([&] { return OwnedDialog(main); });
    ASSERT_NE(open, nullptr);
    ASSERT_TRUE(Answer(open, Windows(archive)));
    ASSERT_TRUE(WaitUntil([&] { return ::SendMessageW(info, LB_GETCOUNT, 0, 0) == 4; }));
    wchar_t line[256] = L"";
    ::SendMessageW(info, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(line));
    EXPECT_STREQ(line, L"File: demo.kvb");
    EXPECT_EQ(::SendMessageW(blocks, CB_GETCOUNT, 0, 0), 3);

    // The second block, chosen as the drop-down list tells its window.
    TRemoteItem remote(process.hProcess);
    ::SendMessageW(blocks, CB_SETCURSEL, 1, 0);
    ::SendMessageW(main, WM_COMMAND, MAKEWPARAM(MainId("cmbList"), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(blocks));
    EXPECT_EQ(::SendMessageW(files, LVM_GETITEMCOUNT, 0, 0), 1000);
    EXPECT_EQ(remote.Cell(files, 0, 0), L"FILE0996.BIN");

    // Back to the first block: "Extract" of GRADIENT.TEX through the real Save dialog, which
    // offers the entry's name.
    ::SendMessageW(blocks, CB_SETCURSEL, 0, 0);
    ::SendMessageW(main, WM_COMMAND, MAKEWPARAM(MainId("cmbList"), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(blocks));
    ASSERT_EQ(remote.Cell(files, 2, 0), L"GRADIENT.TEX");
    remote.Select(files, 2);
    ::PostMessageW(::GetDlgItem(main, MainId("btnExtract")), BM_CLICK, 0, 0);
    const HWND save = WaitFor([&] { return OwnedDialog(main); });
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(TextOf(FileNameBox(save)), L"GRADIENT.TEX");
    ASSERT_TRUE(Answer(save, Windows(extracted)));
    ASSERT_TRUE(WaitUntil(
        [&] { return ::GetFileAttributesW(Windows(extracted).c_str()) != INVALID_FILE_ATTRIBUTES; }));
    EXPECT_EQ(ReadFile(PathFromUtf8(extracted)), GradientTex(256, 128).Build());

    // Enter on the list shows the texture, at its own size.
    ::PostMessageW(files, WM_KEYDOWN, VK_RETURN, 1);
    const HWND preview = WaitFor([] {
        HWND window = ::FindWindowW(L"TfrmTexView", nullptr);
        return window && ::IsWindowVisible(window) ? window : nullptr;
    });
    ASSERT_NE(preview, nullptr);
    RECT client{};
    ::GetClientRect(preview, &client);
    EXPECT_EQ(client.right, 256);
    EXPECT_EQ(client.bottom, 128);
    EXPECT_EQ(TextOf(preview), L"Preview");

    // Closing the main window ends the program, with no error.
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_EQ(::WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 99;
    ::GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
}
