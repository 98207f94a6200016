// The ground the Win32 face's tests stand on: under Wine with its null graphics driver, with no
// display, a window with a common-controls list view is created in the test's own process,
// answers messages, and tells its parent what changed. The program carries the manifest that
// every program of the build carries, so that its controls are those the face gets.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using Window = std::unique_ptr<std::remove_pointer_t<HWND>, decltype(&DestroyWindow)>;

// What the list view and the button tell their parent.
struct Heard {
    std::vector<int> selectedRows;
    std::vector<int> clickedButtons;
};

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *heard = reinterpret_cast<Heard *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR *>(lParam)->code == LVN_ITEMCHANGED) {
        const auto *change = reinterpret_cast<NMLISTVIEW *>(lParam);
        if ((change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED))
            heard->selectedRows.push_back(change->iItem);
        return 0;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        heard->clickedButtons.push_back(LOWORD(wParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

constexpr int kListId = 101;
constexpr int kButtonId = 102;

class ListViewWindow : public testing::Test {
protected:
    void SetUp() override
    {
        const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&controls));
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ParentProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"KvbWineGuiTest";
        RegisterClassW(&windowClass);

        parent_.reset(CreateWindowExW(0, L"KvbWineGuiTest", L"KVB Editor", WS_OVERLAPPEDWINDOW,
                                      CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, nullptr, nullptr,
                                      windowClass.hInstance, nullptr));
        ASSERT_NE(parent_.get(), nullptr) << "CreateWindowEx failed: " << GetLastError();
        SetWindowLongPtrW(parent_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&heard_));
        list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 600, 400,
                                parent_.get(), reinterpret_cast<HMENU>(kListId), windowClass.hInstance,
                                nullptr);
        button_ = CreateWindowExW(0, WC_BUTTONW, L"Extract", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0,
                                  410, 100, 30, parent_.get(), reinterpret_cast<HMENU>(kButtonId),
                                  windowClass.hInstance, nullptr);
        ASSERT_NE(list_, nullptr);
        ASSERT_NE(button_, nullptr);
        ShowWindow(parent_.get(), SW_SHOWNOACTIVATE);
    }

    void AddColumn(int index, const wchar_t *title)
    {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = 200;
        column.pszText = const_cast<wchar_t *>(title);
        ASSERT_EQ(SendMessageW(list_, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)),
                  index);
    }

    void AddRow(int row, const wchar_t *name, const wchar_t *length)
    {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<wchar_t *>(name);
        ASSERT_EQ(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)), row);
        item.iSubItem = 1;
        item.pszText = const_cast<wchar_t *>(length);
        ASSERT_TRUE(SendMessageW(list_, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
    }

    std::wstring CellText(int row, int column)
    {
        wchar_t text[64] = L"";
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 64;
        SendMessageW(list_, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        return text;
    }

    Heard heard_;
    Window parent_{nullptr, &DestroyWindow};
    HWND list_ = nullptr;
    HWND button_ = nullptr;
};

// Only common controls 6, which the manifest asks for, let a button measure its own text (the
// face lets its buttons and labels size themselves, since fonts differ from system to system).
TEST_F(ListViewWindow, HasTheCommonControlsOfTheManifest)
{
    SIZE ideal{};
    ASSERT_TRUE(SendMessageW(button_, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
    EXPECT_GT(ideal.cx, 0);
    EXPECT_GT(ideal.cy, 0);
}

TEST_F(ListViewWindow, ShowsTheRowsItWasGivenAndGivesTheirTextsBack)
{
    EXPECT_TRUE(IsWindowVisible(list_));
    AddColumn(0, L"Name");
    AddColumn(1, L"Length");
    AddRow(0, L"GRADIENT.TEX", L"1048");
    AddRow(1, L"CAF\u00c9.MID", L"-1");

    EXPECT_EQ(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0), 2);
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(CellText(0, 0), L"GRADIENT.TEX");
    EXPECT_EQ(CellText(1, 0), L"CAF\u00c9.MID");
    EXPECT_EQ(CellText(1, 1), L"-1");

    wchar_t caption[32] = L"";
    SendMessageW(parent_.get(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"KVB Editor - DEMO.KVB"));
    SendMessageW(parent_.get(), WM_GETTEXT, 32, reinterpret_cast<LPARAM>(caption));
    EXPECT_STREQ(caption, L"KVB Editor - DEMO.KVB");
}

TEST_F(ListViewWindow, TellsItsParentWhichRowWasChosenAndWhichButtonPressed)
{
    AddColumn(0, L"Name");
    AddColumn(1, L"Length");
    for (int row = 0; row < 3; ++row)
        AddRow(row, (L"ENTRY" + std::to_wstring(row) + L".TEX").c_str(), L"0");

    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&state));
    EXPECT_EQ(heard_.selectedRows, std::vector<int>{2});
    EXPECT_EQ(SendMessageW(list_, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageW(list_, LVM_GETNEXTITEM, -1, LVNI_SELECTED), 2);

    SendMessageW(button_, BM_CLICK, 0, 0);
    EXPECT_EQ(heard_.clickedButtons, std::vector<int>{kButtonId});
}

} // namespace
