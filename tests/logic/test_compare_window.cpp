// "Compare with..." through the main window's logic: the comparison run as long work, the
// compare window's summary and rows, what a double-click and the row menu preview from which
// archive, and the second archive refused when it is the open one or no archive.
#include "logic/main_window_fixture.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

struct Compared : Main {
    std::string a = dir / "a.kvb";
    std::string b = dir / "b.kvb";

    Compared()
    {
        WriteFile(a, ArchiveBuilder()
                         .Add("SAME.BIN", "same")
                         .Add("PIC.TEX", GradientTex(8, 4).Build())
                         .Add("TUNE.MID", "old tune")
                         .Add("OLD.MID", "gone")
                         .Add("TWICE.BIN", "1")
                         .Add("TWICE.BIN", "2")
                         .Description("old")
                         .Build());
        WriteFile(b, ArchiveBuilder()
                         .Add("PIC.TEX", PictureTex(6, 3).Build())
                         .Add("SAME.BIN", "same")
                         .Add("TUNE.MID", "new tune!")
                         .Add("TWICE.BIN", "1")
                         .Add("TWICE.BIN", "two")
                         .Add("NEW.TEX", GradientTex(5, 5).Build())
                         .Description("new")
                         .Build());
        Open(a);
    }
    // "Compare with..." on other; while shows what the user does in the compare window.
    void CompareWith(const std::string &other, std::function<void()> whileShown = {})
    {
        dialogs.files.push_back(other);
        compareView.whileShown = std::move(whileShown);
        Do([&] { main.mnuCompareWithClick(); });
    }
    // The row of the compare window whose entry and change are these.
    void SelectRow(const std::string &entry, const std::string &change)
    {
        for (size_t i = 0; i < compareView.rows.size(); ++i)
            if (compareView.rows[i][0] == entry && compareView.rows[i][2] == change)
                compareView.selectedRow = int(i);
    }
};

} // namespace

TEST(CompareWindow, ShowsTheSummaryAndARowPerDifferenceWhileItHoldsTheSecondArchive)
{
    Compared t;
    bool heldWhileShown = false;
    t.CompareWith(t.b, [&] { heldWhileShown = t.compare.Diff() && t.compare.Diff()->CatalogueB; });
    // Chosen as "Open KVB" chooses, and read as long work to its end.
    EXPECT_EQ(t.dialogs.lastFile.Filter, "KVB Archives|*.KVB|All files|*.*");
    EXPECT_EQ(t.v.busySpells, 2); // the open, then the comparison
    EXPECT_EQ(t.v.progressPosition, t.v.progressMaximum);
    EXPECT_TRUE(t.dialogs.shown.empty()) << t.dialogs.Last();

    EXPECT_EQ(t.compareView.caption, "Compare a.kvb with b.kvb");
    EXPECT_EQ(t.compareView.summary,
              "3 entries changed, 1 only in a.kvb, 1 only in b.kvb, 2 the same. The descriptions "
              "differ: \"old\" in a.kvb, \"new\" in b.kvb.");
    using Row = logic::TCompareView::TDiffRow;
    const auto size = [](const TexBuilder &texture) { return std::to_string(texture.Build().size()); };
    EXPECT_EQ(t.compareView.rows,
              (std::vector<Row>{
                  {"OLD.MID", "4", "only in a.kvb", "4", ""},
                  {"NEW.TEX", "6", "only in b.kvb", "", size(GradientTex(5, 5))},
                  {"PIC.TEX", "2 / 1", "changed", size(GradientTex(8, 4)), size(PictureTex(6, 3))},
                  {"TUNE.MID", "3", "changed", "8", "9"},
                  {"TWICE.BIN", "6 / 5", "changed (matched by number)", "1", "3"},
              }))
        << t.compareView.rows.size();
    // Closed, the window lets go of both archives.
    EXPECT_TRUE(heldWhileShown);
    EXPECT_EQ(t.compare.Diff(), nullptr);
}

TEST(CompareWindow, DoubleClickShowsBothTexturesPlaysTheNewTuneAndPreviewsWhatOneArchiveHolds)
{
    Compared t;
    t.CompareWith(t.b, [&] {
        // A changed texture: the old picture first, Space the new, and back.
        t.SelectRow("PIC.TEX", "changed");
        t.Do([&] { t.compare.lstDiffDblClick(); });
        ASSERT_TRUE(t.texView.texture);
        EXPECT_EQ(t.texView.texture->Width, 8);
        EXPECT_EQ(t.texView.caption, "Old: a.kvb (Space: new)");
        t.Do([&] { t.texViewLogic.FlipClick(); });
        EXPECT_EQ(t.texView.texture->Width, 6);
        EXPECT_EQ(t.texView.caption, "New: b.kvb (Space: old)");
        t.Do([&] { t.texViewLogic.ZoomIn(); });
        t.Do([&] { t.texViewLogic.FlipClick(); });
        EXPECT_EQ(t.texView.zoom, 200);
        EXPECT_EQ(t.texView.caption, "Old: a.kvb, 200% (Space: new)");

        // A changed tune: Enter plays the new one, the menu either.
        t.SelectRow("TUNE.MID", "changed");
        logic::TCompareLogic::TRowMenu menu = t.compare.RowMenu();
        EXPECT_TRUE(menu.Music && menu.Old && menu.New && !menu.Playing);
        t.Do([&] { t.compare.lstDiffDblClick(); });
        EXPECT_EQ(t.player.fileContentAtOpen, "new tune!");
        EXPECT_TRUE(t.compare.RowMenu().Playing);
        t.Do([&] { t.compare.mnuPlayOldClick(); });
        EXPECT_EQ(t.player.fileContentAtOpen, "old tune");
        t.Do([&] { t.compare.mnuStopMusicClick(); });
        EXPECT_FALSE(t.compare.RowMenu().Playing);

        // Only in one archive: previewed from it, as the entry list previews.
        t.SelectRow("OLD.MID", "only in a.kvb");
        menu = t.compare.RowMenu();
        EXPECT_TRUE(menu.Music && menu.Old && !menu.New);
        t.Do([&] { t.compare.mnuPlayNewClick(); }); // nothing to play
        EXPECT_EQ(t.player.fileContentAtOpen, "old tune");
        t.Do([&] { t.compare.lstDiffDblClick(); });
        EXPECT_EQ(t.player.fileContentAtOpen, "gone");
        EXPECT_EQ(t.player.calls.back(), "play");
        t.SelectRow("NEW.TEX", "only in b.kvb");
        t.Do([&] { t.compare.lstDiffDblClick(); });
        EXPECT_EQ(t.texView.texture->Width, 5);
        EXPECT_EQ(t.texView.caption, "Preview");
        EXPECT_FALSE(t.texViewLogic.Comparing());
        EXPECT_EQ(t.player.mode, MediaMode::NotReady); // a texture stops the music
        t.SelectRow("TWICE.BIN", "changed (matched by number)");
        t.Do([&] { t.compare.lstDiffDblClick(); });
        EXPECT_EQ(t.dialogs.Last(), std::string("notice: ") + kCannotPreviewText);

        // No row: nothing. Close (and Escape) closes the window.
        t.compareView.selectedRow = -1;
        t.Do([&] { t.compare.lstDiffDblClick(); });
        t.Do([&] { t.compare.btnCloseClick(); });
    });
    EXPECT_EQ(t.compareView.closes, 1);
    EXPECT_EQ(t.dialogs.shown.size(), 1u) << t.dialogs.Last();
}

TEST(CompareWindow, ACancelledComparisonShowsNothingAndHoldsNothing)
{
    Compared t;
    t.v.whenEvents = [&] { t.main.btnCancelClick(); };
    t.CompareWith(t.b, [&] { ADD_FAILURE() << "the window was shown"; });
    EXPECT_EQ(t.v.status, "Cancelled: a.kvb was not compared with b.kvb.");
    EXPECT_EQ(t.compare.Diff(), nullptr);
    EXPECT_TRUE(t.dialogs.shown.empty()) << t.dialogs.Last();
}

TEST(CompareWindow, TheOpenArchiveItsCopyAndAFileThatIsNoArchiveAreNotShown)
{
    Compared t;
    const auto shown = [&] { ADD_FAILURE() << "the window was shown"; };
    // The open archive under another name.
    t.CompareWith((fs::path(t.dir.Path()) / "." / "a.kvb").string(), shown);
    EXPECT_EQ(t.dialogs.Last(),
              "notice: a.kvb is the archive that is open (a.kvb): there is nothing to compare it with.");
    // A copy of it.
    fs::copy_file(t.a, t.dir / "copy.kvb");
    t.CompareWith(t.dir / "copy.kvb", shown);
    EXPECT_EQ(t.dialogs.Last(),
              "notice: a.kvb and copy.kvb hold the same entries with the same data, and "
              "the same header, validation block and description.");
    // Text, and a file cut short: the error names the file.
    for (const std::string &bytes :
         {std::string("just some text, and no archive at all"), ReadFile(t.b).substr(0, 400)}) {
        WriteFile(t.dir / "other.kvb", bytes);
        t.CompareWith(t.dir / "other.kvb", shown);
        EXPECT_EQ(t.dialogs.Last().rfind("error: Stream read error.\n", 0), 0u) << t.dialogs.Last();
        EXPECT_NE(t.dialogs.Last().find("other.kvb"), std::string::npos) << t.dialogs.Last();
    }
    // Without an open archive there is nothing to compare.
    Main empty;
    empty.Do([&] { empty.main.mnuCompareWithClick(); });
    EXPECT_EQ(empty.dialogs.Last(), "notice: No archive is open. Open a KVB file first!");
    EXPECT_EQ(logic::ComparedNames("x/KVB.KVB", "y/KVB.KVB"),
              (std::array<std::string, 2>{"x/KVB.KVB", "y/KVB.KVB"}));
}
