// The Win32 face's own dialogs, driven from a second thread as a user would: the list a plan is
// confirmed with.
#include "win32ui/dialogs.h"

#include "platform/win32/wide.h"
#include "support/archive_builder.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

using namespace kvb;

namespace {

// The dialog captioned caption, once it is up (nothing after ten seconds).
HWND WaitForDialog(const wchar_t *caption)
{
    for (int i = 0; i < 200; ++i) {
        if (HWND box = ::FindWindowW(L"#32770", caption); box && ::IsWindowVisible(box))
            return box;
        ::Sleep(50);
    }
    return nullptr;
}

std::wstring Cell(HWND list, int row, int column)
{
    wchar_t text[64] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = int(std::size(text));
    ::SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

HWND FindChild(HWND parent, const wchar_t *className)
{
    struct TSearch {
        const wchar_t *name;
        HWND found;
    } search{className, nullptr};
    ::EnumChildWindows(
        parent,
        [](HWND child, LPARAM data) -> BOOL {
            auto *s = reinterpret_cast<TSearch *>(data);
            wchar_t name[64] = L"";
            ::GetClassNameW(child, name, int(std::size(name)));
            if (std::wstring(name) != s->name)
                return TRUE;
            s->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The folder the folder browser opens with: the display name of the tree's selected item, once
// the browser is up; then it is cancelled.
std::wstring FolderTheBrowserShows(win32ui::TWin32Dialogs &dialogs)
{
    std::wstring shown;
    std::thread user([&] {
        HWND box = WaitForDialog(L"Browse for Folder");
        if (!box)
            return;
        HWND tree = FindChild(box, WC_TREEVIEWW);
        // The browser selects the start folder once it has filled the tree.
        for (int i = 0, same = 0; i < 100 && tree && same < 5; ++i) {
            ::Sleep(50);
            const std::wstring last = shown;
            wchar_t text[MAX_PATH] = L"";
            TVITEMW item{};
            item.mask = TVIF_TEXT;
            item.hItem =
                reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
            item.pszText = text;
            item.cchTextMax = MAX_PATH;
            if (item.hItem && ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
                shown = text;
            same = !shown.empty() && shown == last ? same + 1 : 0;
        }
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    EXPECT_FALSE(dialogs.ChooseFolder("Extract to"));
    user.join();
    return shown;
}

} // namespace

TEST(Win32Dialogs, TheFolderBrowserOpensInTheFolderUsedLastOrTheCurrentOne)
{
    // Before anything was chosen: the current folder, as the file dialogs do.
    test::TempDir dir;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    win32ui::TWin32Dialogs dialogs;
    EXPECT_EQ(FolderTheBrowserShows(dialogs), dir.Path().filename().wstring());

    // After a file was opened elsewhere: that file's folder.
    std::filesystem::create_directory(dir.Path() / "Chosen folder");
    test::WriteFile(dir.Path() / "Chosen folder" / "A.KVB", "x");
    std::thread user([&] {
        HWND box = WaitForDialog(L"Open");
        if (!box)
            return;
        const std::wstring file = (dir.Path() / "Chosen folder" / "A.KVB").wstring();
        // The file name box: the edit of the combo box of the explorer-style dialog.
        HWND edit = FindChild(box, L"Edit");
        ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file.c_str()));
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    logic::TFileDialog open{"KVB Archives|*.KVB", "KVB", {}, {}};
    const std::optional<std::string> opened = dialogs.OpenFile(open);
    user.join();
    ASSERT_TRUE(opened);
    std::filesystem::current_path(before);
    EXPECT_EQ(FolderTheBrowserShows(dialogs), L"Chosen folder");
}

TEST(Win32Dialogs, ConfirmListShowsEveryRowUnderItsColumnsAndOkOrCancelAnswers)
{
    win32ui::TWin32Dialogs dialogs;
    logic::TListQuestion question;
    question.Caption = "Update from folder";
    question.Text = "Two entries change. Continue?";
    question.Columns = {"Record", "Entry", "New size"};
    question.Rows = {{"2", "PIC.TEX", "536"}, {"3", "TWO.BIN", "1"}};

    for (const int button : {IDOK, IDCANCEL}) {
        int rows = -1;
        std::wstring cell;
        std::thread user([&] {
            HWND box = WaitForDialog(L"Update from folder");
            if (!box)
                return;
            HWND list = ::FindWindowExW(box, nullptr, WC_LISTVIEWW, nullptr);
            rows = int(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
            cell = Cell(list, 1, 1) + L"|" + Cell(list, 1, 2);
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        });
        const bool answer = dialogs.ConfirmList(question);
        user.join();
        EXPECT_EQ(answer, button == IDOK);
        EXPECT_EQ(rows, 2);
        EXPECT_EQ(cell, L"TWO.BIN|1");
    }
}
