// The main window's entry menu and preview through its logic, with a scripted face: what the
// menu offers, replace, PNG export and import, WAV, music and textures.
#include "logic/main_window_fixture.h"
#include "platform/temp_dir.h"
#include "preview/entry_preview.h"
#include "preview/png_image.h"
#include "preview/tex.h"
#include "support/midi_builder.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

// --- The entry menu ----------------------------------------------------------------------------

namespace {

// 1,005 entries, so that the last ones lie in the second block; a texture and a tune among them.
struct MenuMain : Main {
    std::string path = dir / "a.kvb";
    TexBuilder texture = GradientTex(16, 8);

    MenuMain()
    {
        ArchiveBuilder b;
        for (int i = 0; i < 1003; ++i)
            b.Add('E' + std::to_string(i) + ".BIN", PatternBytes(10, unsigned(i)));
        b.Add("PIC.TEX", texture.Build());
        b.Add("TUNE.MID", SimpleTune());
        WriteFile(path, b.Build());
        Open(path);
    }
};

} // namespace

TEST(EntryMenuLogic, OffersWhatFitsTheEntry)
{
    MenuMain m;
    logic::TEntryMenu menu = m.main.EntryMenu();
    EXPECT_FALSE(menu.Selected);
    m.Select(1003);
    menu = m.main.EntryMenu();
    EXPECT_TRUE(menu.Selected && menu.Texture && !menu.Music);
    m.Select(1004);
    menu = m.main.EntryMenu();
    EXPECT_TRUE(menu.Selected && !menu.Texture && menu.Music);
    m.Select(0);
    menu = m.main.EntryMenu();
    EXPECT_TRUE(menu.Selected && !menu.Texture && !menu.Music && !menu.Playing);
    m.player.mode = MediaMode::Playing;
    EXPECT_TRUE(m.main.EntryMenu().Playing);
}

TEST(EntryMenuLogic, ReplaceAsksRewritesAndShowsTheSameBlockAgain)
{
    MenuMain m;
    const std::string before = ReadFile(m.path);
    m.Select(1002);
    WriteFile(m.dir / "new.bin", "new data, longer than before");

    // No: nothing changes.
    m.dialogs.files.push_back(m.dir / "new.bin");
    m.dialogs.answers.push_back(false);
    m.Do([&] { m.main.mnuReplaceClick(); });
    EXPECT_EQ(ReadFile(m.path), before);
    ASSERT_EQ(m.dialogs.shown.size(), 1u);
    EXPECT_EQ(m.dialogs.shown[0],
              "question Replace entry: The archive file a.kvb will be rewritten, with the data of "
              "entry E1002.BIN replaced by new.bin. Everything else stays as it is. Continue?");

    m.dialogs.files.push_back(m.dir / "new.bin");
    m.dialogs.answers.push_back(true);
    m.Do([&] { m.main.mnuReplaceClick(); });
    EXPECT_EQ(m.dialogs.shown.size(), 2u) << m.dialogs.Last();
    EXPECT_EQ(Main::Entry(m.path, 1002), "new data, longer than before");
    EXPECT_EQ(Main::Entry(m.path, 1003), m.texture.Build());
    EXPECT_EQ(m.v.chosenLabel, 1);
    EXPECT_EQ(m.SelectedIndex(), 1002);
    EXPECT_EQ(m.v.rows[size_t(m.v.selectedRow)][2], "28");
}

TEST(EntryMenuLogic, ReplaceWhileTheArchiveIsHeldByAnEditorLosesNothing)
{
    MenuMain m;
    const std::string before = ReadFile(m.path);
    m.Select(2);
    WriteFile(m.dir / "new.bin", "new");
    TRawKVBFile editor(m.path);
    m.dialogs.files.push_back(m.dir / "new.bin");
    m.dialogs.answers.push_back(true);
    m.Do([&] { m.main.mnuReplaceClick(); });
    EXPECT_EQ(m.dialogs.Last(), "error: Cannot open file " + m.path + ": another program is editing it.");
    EXPECT_EQ(ReadFile(m.path), before);
}

TEST(EntryMenuLogic, ExportedTextureEditedAndImportedComesBackThroughThePreviewDecoder)
{
    MenuMain m;
    m.Select(1003);
    const std::string png = m.dir / "pic.png";
    m.dialogs.files.push_back(png);
    m.Do([&] { m.main.mnuExportPngClick(); });
    ASSERT_TRUE(m.dialogs.shown.empty()) << m.dialogs.Last();
    EXPECT_EQ(m.dialogs.lastFile.FileName, "PIC.png");

    // Paint one pixel in a colour of the palette and put the picture back.
    TRgbImage image = DecodePng(ReadFile(png), png);
    const TTexColour target = m.texture.Palette()[200];
    image.Pixels[size_t(2 * image.Width + 3)] = target;
    WriteFile(png, EncodePng(image));
    m.dialogs.files.push_back(png);
    m.dialogs.answers.push_back(true);
    m.Do([&] { m.main.mnuImportPngClick(); });
    ASSERT_EQ(m.dialogs.shown.size(), 1u) << m.dialogs.Last();

    TMemoryStream stream(Main::Entry(m.path, 1003));
    const TTexImage back = TexToBitmap(stream, kTexImageDataPosition);
    EXPECT_EQ(back.IndexAt(3, 2), 200);
    EXPECT_EQ(back.IndexAt(4, 2), m.texture.Indices()[2 * 16 + 4]);
    EXPECT_EQ(m.v.chosenLabel, 1);
}

TEST(EntryMenuLogic, SaveAsWavRendersTheTuneAndStopMusicStopsThePlayer)
{
    MenuMain m;
    m.Select(1004);
    const std::string wav = m.dir / "tune.wav";
    m.dialogs.files.push_back(wav);
    m.Do([&] { m.main.mnuSaveWavClick(); });
    ASSERT_TRUE(m.dialogs.shown.empty()) << m.dialogs.Last();
    EXPECT_EQ(m.dialogs.lastFile.FileName, "TUNE.wav");
    ASSERT_EQ(m.rendered.size(), 1u);
    EXPECT_EQ(ReadFile(PathFromUtf8(m.rendered[0].first)), SimpleTune());
    EXPECT_EQ(m.rendered[0].second, wav);

    m.player.mode = MediaMode::Playing;
    m.Do([&] { m.main.mnuStopMusicClick(); });
    EXPECT_EQ(m.player.mode, MediaMode::Stopped);
}

// --- The preview -------------------------------------------------------------------------------

TEST(PreviewLogic, MusicOfTheShownBlockIsExtractedAndPlayed)
{
    Main m;
    ArchiveBuilder b;
    for (int i = 0; i < 2010; ++i)
        b.Add('T' + std::to_string(i) + ".mid", PatternBytes(20, unsigned(i)));
    m.Open(m.Write("a.kvb", b.Build()));
    m.Select(2005);
    m.Do([&] { m.main.lstFilesDblClick(); });
    EXPECT_TRUE(m.dialogs.shown.empty()) << m.dialogs.Last();
    EXPECT_EQ(m.player.openedFile, GetTempDir() + "T2005.mid");
    EXPECT_EQ(m.player.fileContentAtOpen, PatternBytes(20, 2005));
    EXPECT_EQ(PreviewTempFile, GetTempDir() + "T2005.mid");

    // The same tune again: stopped, closed and started afresh.
    m.player.calls.clear();
    m.Do([&] { m.main.lstFilesDblClick(); });
    EXPECT_EQ(m.player.calls, (Lines{"mode", "stop", "mode", "close", "open", "play"}));
}

TEST(PreviewLogic, OtherEntriesGetTheNoticeAndLeaveTheMusicPlaying)
{
    Main m;
    m.Open(m.Write("a.kvb", ArchiveBuilder().Add("TUNE.MID", "m").Add("readme.txt", "r").Build()));
    m.Do([&] { m.main.lstFilesDblClick(); }); // no row: nothing at all
    EXPECT_TRUE(m.dialogs.shown.empty());
    m.Select(0);
    m.Do([&] { m.main.lstFilesDblClick(); });
    m.Select(1);
    m.player.calls.clear();
    m.Do([&] { m.main.lstFilesDblClick(); });
    EXPECT_EQ(m.dialogs.shown, Lines{"notice: Don't know how to preview this file yet..."});
    EXPECT_TRUE(m.player.calls.empty());
    EXPECT_EQ(m.player.mode, MediaMode::Playing);
}

TEST(PreviewLogic, TexturesGoToThePreviewWindowAndDamageIsReported)
{
    Main m;
    m.Open(m.Write("a.kvb", ArchiveBuilder()
                                .Add("TUNE.MID", "m")
                                .Add("BIG.TEX", GradientTex(640, 480).Build())
                                .Add("flat.tex", TexBuilder::Direct(0, 7, {}).Build())
                                .Add("DAMAGED.TEX", GradientTex(32, 32).CutShort(2000).Build())
                                .Build()));
    m.Select(0);
    m.Do([&] { m.main.lstFilesDblClick(); });
    m.Select(1);
    m.Do([&] { m.main.lstFilesDblClick(); });
    EXPECT_TRUE(m.dialogs.shown.empty()) << m.dialogs.Last();
    ASSERT_TRUE(m.texView.texture);
    EXPECT_EQ(m.texView.texture->Width, 640);
    EXPECT_EQ(m.texView.zoom, 100);
    EXPECT_EQ(m.player.mode, MediaMode::NotReady); // the music stopped and closed

    m.Select(3);
    m.Do([&] { m.main.lstFilesDblClick(); });
    EXPECT_EQ(m.dialogs.shown,
              Lines{"error: Stream read error.\nReading texture DAMAGED.TEX: the file ends at "
                    "byte 284, but its palette of 256 colours needs bytes up to 1308."});
    EXPECT_EQ(m.texView.shows, 1);

    // A texture without pixels is said to be one, not shown as a window of no width.
    m.Select(2);
    m.Do([&] { m.main.lstFilesDblClick(); });
    EXPECT_EQ(m.dialogs.Last(),
              "notice: The texture has no pixels (0 x 7), so there is nothing to show.");
    EXPECT_EQ(m.texView.shows, 1);
}

TEST(PreviewLogic, TheTempFileGoesWithTheMainWindow)
{
    std::string path;
    {
        Main m;
        m.Open(m.Write("a.kvb", ArchiveBuilder().Add("ONE.MID", "1").Build()));
        m.Select(0);
        m.Do([&] { m.main.lstFilesDblClick(); });
        path = PreviewTempFile;
        ASSERT_TRUE(fs::exists(PathFromUtf8(path)));
        m.main.FormDestroy();
    }
    EXPECT_FALSE(fs::exists(PathFromUtf8(path)));
}

TEST(PreviewLogic, MusicThatCannotBePlayedIsNamedAsTheListShowsIt)
{
    Main m;
    m.Open(m.Write("a.kvb", ArchiveBuilder().Add("BROKEN.MID", "MThd").Build()));
    m.player.openError = "the file ends inside the chunk at byte 4.";
    m.Select(0);
    m.Do([&] { m.main.lstFilesDblClick(); });
    EXPECT_EQ(m.dialogs.Last(),
              "error: Cannot play BROKEN.MID: the file ends inside the chunk at byte 4.");
}
