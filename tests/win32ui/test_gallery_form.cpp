// The Win32 gallery's wiring: drawn as described, shown beside the main window from its entry
// menu, a list view of icons that asks for its captions and draws the thumbnails the logic's
// thread makes, the filter typed, Enter previewing, and Escape closing it.
#include "drawn_description.h"
#include "win32_windows.h"

#include "support/tex_builder.h"

#include <gtest/gtest.h>

using namespace kvb;
using namespace kvb::test;

TEST(GalleryForm, ShowsThumbnailsFiltersPreviewsAndEscapeCloses)
{
    Win32Windows w;
    win32ui::TfrmGallery &g = w.gallery;
    ExpectDrawn(g.Handle(), logic::TGalleryLogic::Description());
    w.Open(w.Write("a.kvb", ArchiveBuilder()
                                .Add("RED.TEX", GradientTex(16, 16).Build())
                                .Add("TUNE.MID", "tune")
                                .Add("BLUE.TEX", PictureTex(8, 2).Build())
                                .Build()));
    ::SendMessageW(w.main.Handle(), WM_COMMAND,
                   MAKEWPARAM(win32ui::MenuCommand(logic::TKVBEditorLogic::Description(), "mnuGallery"), 0),
                   0);
    // Not modal: the main window still takes input.
    ASSERT_TRUE(g.Shown());
    EXPECT_TRUE(::IsWindowVisible(g.Handle()));
    EXPECT_TRUE(::IsWindowEnabled(w.main.Handle()));
    EXPECT_EQ(Win32Windows::Text(g.Handle()), "Textures of a.kvb");
    EXPECT_EQ(Win32Windows::Text(g.lblGalleryCount), "2 textures");
    ASSERT_EQ(Win32Windows::Rows(g.lstThumbs), 2);
    // The list asks the window for each caption.
    EXPECT_EQ(Win32Windows::Cell(g.lstThumbs, 1, 0).substr(0, 8), "BLUE.TEX");

    // Painted, the items are wanted; the timer takes what the thread made.
    ::RedrawWindow(g.lstThumbs, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_TRUE(Win32Windows::WaitUntil([&] { return g.Logic().KeptThumbnails() == 2; }));

    // Typed into the filter.
    ::SetWindowTextW(g.edtGalleryFilter, L"red");
    EXPECT_EQ(Win32Windows::Text(g.lblGalleryCount), "1 of 2");
    ASSERT_EQ(Win32Windows::Rows(g.lstThumbs), 1);

    // Enter on the texture previews it.
    Win32Windows::SelectRow(g.lstThumbs, 0);
    Win32Windows::Key(g.lstThumbs, VK_RETURN);
    EXPECT_TRUE(::IsWindowVisible(w.preview.Handle()));
    EXPECT_TRUE(w.dialogs.shown.empty()) << w.dialogs.Last();

    Win32Windows::Key(g.lstThumbs, VK_ESCAPE);
    EXPECT_FALSE(g.Shown());
    EXPECT_FALSE(::IsWindowVisible(g.Handle()));
    EXPECT_EQ(g.Logic().KeptThumbnails(), 0u);
}
