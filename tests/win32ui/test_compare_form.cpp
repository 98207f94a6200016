// The Win32 compare window's wiring: shown modally from the main window's "Compare with...",
// its controls and rows, a double-click and Enter reaching the logic, Space in the preview
// flipping a texture's versions, and Escape closing it. What the comparison finds is the
// logic's tests' business.
#include "drawn_description.h"
#include "win32_windows.h"

#include "support/tex_builder.h"

#include <gtest/gtest.h>

#include <functional>

using namespace kvb;
using namespace kvb::test;
using kvb::win32ui::TfrmCompare;

TEST(CompareForm, ShowsTheRowsModallyFlipsATextureAndEscapeCloses)
{
    Win32Windows w;
    TfrmCompare &c = *w.windows.frmCompare;
    ExpectDrawn(c.Handle(), logic::TCompareLogic::Description());
    EXPECT_FALSE(::IsWindowVisible(c.Handle()));
    w.Open(w.Write("a.kvb", ArchiveBuilder()
                                .Add("PIC.TEX", GradientTex(16, 8).Build())
                                .Add("TUNE.MID", "old")
                                .Add("GONE.BIN", "x")
                                .Build()));
    const std::string b = w.Write(
        "b.kvb",
        ArchiveBuilder().Add("PIC.TEX", PictureTex(16, 8).Build()).Add("TUNE.MID", "new").Build());

    bool ran = false;
    std::vector<std::string> titles;
    const auto ready = [&] { return c.Shown(); };
    const auto whenShown = [&] {
        ran = true;
        EXPECT_FALSE(::IsWindowEnabled(w.main.Handle()));
        EXPECT_EQ(Win32Windows::Text(c.Handle()), "Compare a.kvb with b.kvb");
        EXPECT_EQ(Win32Windows::Text(c.lblSummary)
                      .rfind("2 entries changed, 1 only in a.kvb, 0 only in b.kvb", 0),
                  0u)
            << Win32Windows::Text(c.lblSummary);
        EXPECT_EQ(Win32Windows::Rows(c.lstDiff), 3);
        EXPECT_EQ(Win32Windows::Cell(c.lstDiff, 0, 0), "GONE.BIN");
        EXPECT_EQ(Win32Windows::Cell(c.lstDiff, 0, 2), "only in a.kvb");
        EXPECT_EQ(Win32Windows::Cell(c.lstDiff, 1, 0), "PIC.TEX");
        EXPECT_EQ(Win32Windows::Cell(c.lstDiff, 1, 2), "changed");
        EXPECT_EQ(Win32Windows::Cell(c.lstDiff, 2, 4), "3");
        // The summary stands above the list, whole.
        EXPECT_LE(Win32Windows::Bounds(c.lblSummary).bottom, Win32Windows::Bounds(c.lstDiff).top);

        // The changed texture: its old version, then Space in the preview shows the new.
        Win32Windows::DoubleClick(c.lstDiff, 1);
        titles.push_back(Win32Windows::Text(w.preview.Handle()));
        Win32Windows::Key(w.preview.Handle(), VK_SPACE);
        titles.push_back(Win32Windows::Text(w.preview.Handle()));
        // The changed tune: Enter plays the new one.
        Win32Windows::SelectRow(c.lstDiff, 2);
        Win32Windows::Key(c.lstDiff, VK_RETURN);
        EXPECT_EQ(w.player.fileContentAtOpen, "new");
        // The menu plays the old one.
        ::SendMessageW(c.Handle(), WM_COMMAND,
                       MAKEWPARAM(win32ui::MenuCommand(logic::TCompareLogic::Description(), "mnuPlayOld"),
                                  0),
                       0);
        EXPECT_EQ(w.player.fileContentAtOpen, "old");
        Win32Windows::Key(c.lstDiff, VK_ESCAPE);
        EXPECT_FALSE(c.Shown());
    };
    w.dialogs.files.push_back(b);
    Win32Windows::WhileModal(ready, whenShown, [&] {
        ::SendMessageW(
            w.main.Handle(), WM_COMMAND,
            MAKEWPARAM(win32ui::MenuCommand(logic::TKVBEditorLogic::Description(), "mnuCompareWith"), 0), 0);
    });

    EXPECT_TRUE(ran);
    EXPECT_EQ(titles, (std::vector<std::string>{"Old: a.kvb (Space: new)", "New: b.kvb (Space: old)"}));
    EXPECT_FALSE(::IsWindowVisible(c.Handle()));
    EXPECT_TRUE(::IsWindowEnabled(w.main.Handle()));
    EXPECT_EQ(c.Logic().Diff(), nullptr);
    EXPECT_TRUE(w.dialogs.shown.empty()) << w.dialogs.Last();
}
