// The Win32 face's own dialogs, driven from a second thread as a user would: the list a plan is
// confirmed with.
#include "win32ui/dialogs.h"

#include <commctrl.h>
#include <gtest/gtest.h>

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

} // namespace

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
