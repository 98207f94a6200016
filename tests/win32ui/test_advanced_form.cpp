// The Win32 advanced window's wiring: shown modally from the main window's "Advanced...", its
// controls and texts, the link, append and truncate through its buttons, the read-only
// question, and the ways it closes. What the edits do is the logic's tests' business.
#include "drawn_description.h"
#include "win32_windows.h"

#include "platform/file_attributes.h"

#include <gtest/gtest.h>

using namespace kvb;
using namespace kvb::test;
using kvb::win32ui::TfrmAdvanced;

namespace {

// Four linked entries and two data entries that no record points at.
ArchiveBuilder Builder()
{
    ArchiveBuilder b;
    for (int i = 0; i < 4; ++i)
        b.Add('E' + std::to_string(i) + ".BIN", PatternBytes(size_t(10 + i), unsigned(i)));
    b.AddUnlinked("SPARE.BIN", PatternBytes(5, 9));
    b.AddUnlinked("OTHER.BIN", PatternBytes(6, 8));
    return b;
}

struct Advanced : Win32Windows {
    TfrmAdvanced &a = advanced;
    std::string path = Write("EDIT.KVB", Builder().Build());

    Advanced() { Open(path); }
    // "Advanced..." on the main window; during runs while the window is shown, after its warning.
    void ShowAdvanced(const std::function<void()> &during)
    {
        dialogs.duringNextNotice = [this, during] {
            during();
            if (a.Shown())
                Click(a.btnQuit);
        };
        Click(main.btnAdvanced);
    }
};

const char *kWarning =
    "notice: Warning! Edits to the KVB file in this mode are IMMEDIATE and CANNOT be undone. I "
    "recommend you keep a backup copy of any files to be edited!";

} // namespace

TEST(AdvancedForm, ShowsModallyDrawingItsDescriptionAndLeavesNoArchiveOpen)
{
    Advanced w;
    TfrmAdvanced &a = w.a;
    bool ran = false;
    w.ShowAdvanced([&] {
        ran = true;
        EXPECT_TRUE(::IsWindowVisible(a.Handle()));
        EXPECT_FALSE(::IsWindowEnabled(w.main.Handle()));
        ExpectDrawn(a.Handle(), logic::TAdvancedLogic::Description());
        EXPECT_EQ(Win32Windows::Lines(a.lstInfo),
                  (std::vector<std::string>{"File: EDIT.KVB", "Creator: SQUARESOFT",
                                            "Description: FINAL FANTASY7", "File has 4 active files.",
                                            "File has 6 data files in it."}));
        EXPECT_EQ(Win32Windows::Labels(a.cmbTable), std::vector<std::string>{"1-4"});
        EXPECT_EQ(Win32Windows::Labels(a.cmbHeader), std::vector<std::string>{"1-6"});
        EXPECT_EQ(Win32Windows::Rows(a.lstTable), 4);
        EXPECT_EQ(Win32Windows::Cell(a.lstTable, 2, 1), "3) E2.BIN");
        EXPECT_EQ(Win32Windows::Cell(a.lstHeader, 5, 1), "OTHER.BIN");
        EXPECT_EQ(Win32Windows::Cell(a.lstHeader, 5, 2), "6");
        // Every column of both lists in view at first.
        for (HWND list : {a.lstTable, a.lstHeader}) {
            RECT inside{};
            ::GetClientRect(list, &inside);
            int columns = 0;
            for (int i = 0; i < 3; ++i)
                columns += int(::SendMessageW(list, LVM_GETCOLUMNWIDTH, WPARAM(i), 0));
            EXPECT_GE(inside.right, columns);
        }
        // The lists and the note lie between the info lines and the block choosers.
        EXPECT_LT(Win32Windows::Bounds(a.lstInfo).bottom, Win32Windows::Bounds(a.lstTable).top);
        EXPECT_LE(Win32Windows::Bounds(a.lstHeader).bottom, Win32Windows::Bounds(a.cmbHeader).top);
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(w.dialogs.shown.back(), kWarning);
    EXPECT_FALSE(::IsWindowVisible(a.Handle()));
    EXPECT_TRUE(::IsWindowEnabled(w.main.Handle()));
    EXPECT_EQ(a.Logic().RawFile(), nullptr);
    EXPECT_EQ(Win32Windows::Lines(w.main.lstInfo), std::vector<std::string>{"No file open."});
    EXPECT_EQ(Win32Windows::Rows(w.main.lstFiles), 0);

    // Without an archive: the notice, and no window.
    Win32Windows::Click(w.main.btnAdvanced);
    EXPECT_EQ(w.dialogs.Last(), "notice: Open an KVB file first!");
}

TEST(AdvancedForm, LinksAppendsAndTruncatesThroughItsControls)
{
    Advanced w;
    TfrmAdvanced &a = w.a;
    const std::string appended = w.Write("NEW.TEX", std::string(300, 'n'));
    w.ShowAdvanced([&] {
        Win32Windows::Click(a.btnLink);
        EXPECT_EQ(w.dialogs.Last(), "notice: Select an item in BOTH lists before trying to link them!");

        // Record 2 to the spare data entry (data row 4).
        Win32Windows::SelectRow(a.lstTable, 2);
        Win32Windows::SelectRow(a.lstHeader, 4);
        Win32Windows::Click(a.btnLink);
        EXPECT_EQ(Win32Windows::Cell(a.lstTable, 2, 1), "5) SPARE.BIN");

        // A click on a record selects its data row.
        Win32Windows::SelectRow(a.lstTable, 1);
        Win32Windows::Notify(a.lstTable, NM_CLICK);
        EXPECT_EQ(a.SelectedDataRow(), 1);

        w.dialogs.files.push_back(appended);
        Win32Windows::Click(a.btnAppend);
        EXPECT_EQ(Win32Windows::Rows(a.lstHeader), 7);
        EXPECT_EQ(Win32Windows::Cell(a.lstHeader, 6, 0), "7");
        EXPECT_EQ(Win32Windows::Cell(a.lstHeader, 6, 1), "NEW.TEX");
        EXPECT_EQ(Win32Windows::Lines(a.lstInfo).back(), "File has 7 data files in it.");

        Win32Windows::SelectRow(a.lstHeader, 3);
        w.dialogs.answers.push_back(true);
        Win32Windows::Click(a.btnTruncate);
        EXPECT_EQ(w.dialogs.Last(), "question Warning!: " + TruncateQuestion(3, "E3.BIN", 7));
        EXPECT_EQ(Win32Windows::Rows(a.lstHeader), 3);
        EXPECT_EQ(Win32Windows::Lines(a.lstInfo).back(), "File has 3 data files in it.");
        // Escape closes the window.
        Win32Windows::Key(a.lstTable, VK_ESCAPE);
        EXPECT_FALSE(a.Shown());
    });
    EXPECT_FALSE(::IsWindowVisible(a.Handle()));
    // Closed by Escape: the archive is let go of, and what was done is in it.
    EXPECT_EQ(a.Logic().RawFile(), nullptr);
    EXPECT_EQ(TRawKVBFile(w.path).DataCount(), 3);
}

TEST(AdvancedForm, TheCloseButtonEndsTheModalShowing)
{
    Advanced w;
    w.ShowAdvanced([&] { ::PostMessageW(w.a.Handle(), WM_CLOSE, 0, 0); });
    EXPECT_FALSE(::IsWindowVisible(w.a.Handle()));
    EXPECT_EQ(w.a.Logic().RawFile(), nullptr);
}

TEST(AdvancedForm, AReadOnlyArchiveIsEditedOnlyAfterYes)
{
    Advanced w;
    ASSERT_TRUE(::SetFileAttributesW(win32::Wide(w.path).c_str(), FILE_ATTRIBUTE_READONLY));
    w.dialogs.answers.push_back(false);
    Win32Windows::Click(w.main.btnAdvanced);
    EXPECT_EQ(w.dialogs.Last().rfind("question Error!: This file is read-only.", 0), 0u)
        << w.dialogs.Last();
    EXPECT_TRUE(FileAttributes(w.path)->ReadOnly);
    EXPECT_FALSE(::IsWindowVisible(w.a.Handle()));
    EXPECT_EQ(Win32Windows::Rows(w.main.lstFiles), 4);

    w.dialogs.answers.push_back(true);
    bool shown = false;
    w.ShowAdvanced([&] { shown = true; });
    EXPECT_TRUE(shown);
    EXPECT_FALSE(FileAttributes(w.path)->ReadOnly);
}
