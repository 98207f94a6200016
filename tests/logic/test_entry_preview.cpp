// A double-click on a row of the main window: the steps of the preview, in their order, through
// the window's logic with a player that plays nothing.
#include "logic/scripted_face.h"
#include "platform/temp_dir.h"
#include "support/midi_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

using Calls = std::vector<std::string>;

struct Preview : ScriptedWindows {
    TempDir dir;
    std::string archive = dir / "test.kvb";

    explicit Preview(const std::string &bytes)
    {
        PreviewTempFile.clear();
        WriteFile(archive, bytes);
        main.OpenArchive(archive);
    }
    ~Preview() { DeletePreviewTempFile(); }
    void Of(int index)
    {
        mainView.chosenLabel = index / logic::kBlockSize;
        main.cmbListChange();
        mainView.selectedRow = index % logic::kBlockSize;
        player.calls.clear();
        Do([&] { main.lstFilesDblClick(); });
    }
};

std::string Mixed()
{
    ArchiveBuilder builder;
    for (const char *name : {"track.mid", "TRACK.MID", "readme.txt", "noext", "x.texture"})
        builder.Add(name, SimpleTune());
    builder.Add("pic.tex", PatternBytes(300, 7));
    return builder.Build();
}

} // namespace

TEST(EntryPreviewLogic, OtherExtensionsOnlyGetTheNoticeAndLeaveTheMusicPlaying)
{
    Preview p(Mixed());
    p.player.mode = MediaMode::Playing;
    PreviewTempFile = "/earlier/preview.mid";
    for (int index : {2, 3, 4})
        p.Of(index);
    EXPECT_EQ(p.dialogs.shown, Calls(3, "notice: Don't know how to preview this file yet..."));
    EXPECT_TRUE(p.player.calls.empty());
    EXPECT_EQ(PreviewTempFile, "/earlier/preview.mid");
    EXPECT_FALSE(p.texView.texture);
    PreviewTempFile.clear();
}

TEST(EntryPreviewLogic, MidiIsExtractedUnderItsCaptionAndPlayed)
{
    Preview p(Mixed());
    for (const auto &[index, caption] : {std::pair{0, "track.mid"}, {1, "TRACK.MID"}}) {
        p.Of(index);
        EXPECT_EQ(PreviewTempFile, GetTempDir() + caption);
        EXPECT_EQ(p.player.calls.back(), "play");
        EXPECT_EQ(p.player.openedFile, PreviewTempFile);
        EXPECT_EQ(p.player.fileContentAtOpen, SimpleTune());
    }
    EXPECT_TRUE(p.dialogs.shown.empty());
}

TEST(EntryPreviewLogic, ThePlayingLineStaysWhileTheMusicPlaysAndGoesWhenItEndsOrStops)
{
    Preview p(Mixed());
    p.Of(0);
    EXPECT_EQ(p.mainView.playing, "Playing track.mid");
    p.Do([&] { p.main.PlaybackTick(); });
    EXPECT_EQ(p.mainView.playing, "Playing track.mid");
    // The tune ends: the player says so only when asked.
    p.player.mode = MediaMode::Stopped;
    p.Do([&] { p.main.PlaybackTick(); });
    EXPECT_EQ(p.mainView.playing, "");
    // Stopped by its button (the handler of "Stop music" and Escape), and by the next preview.
    p.Of(1);
    EXPECT_EQ(p.mainView.playing, "Playing TRACK.MID");
    p.Do([&] { p.main.mnuStopMusicClick(); });
    EXPECT_EQ(p.mainView.playing, "");
    EXPECT_EQ(p.player.mode, MediaMode::Stopped);
    p.Of(0);
    p.Of(5);
    EXPECT_EQ(p.mainView.playing, "");
    // A tune the player cannot play shows no line.
    p.player.openError = "no audio device";
    p.Of(0);
    EXPECT_EQ(p.mainView.playing, "");
    EXPECT_NE(p.dialogs.Last().find("no audio device"), std::string::npos) << p.dialogs.Last();
}

TEST(EntryPreviewLogic, TheOldFileGoesOnlyOnceThePlayerHasLetGoOfIt)
{
    Preview p(Mixed());
    p.Of(0);
    EXPECT_EQ(p.player.calls, (Calls{"mode", "mode", "open", "play"}));
    p.Of(5); // a texture while the music plays
    EXPECT_EQ(p.player.calls, (Calls{"mode", "stop", "mode", "close"}));
    EXPECT_EQ(p.player.previewFileAtClose, GetTempDir() + "track.mid");
    EXPECT_TRUE(p.player.previewFileExistedAtClose);
    EXPECT_FALSE(fs::exists(PathFromUtf8(GetTempDir() + "track.mid")));
    EXPECT_EQ(PreviewTempFile, GetTempDir() + "pic.tex");
    // The same tune twice: extracted afresh, restarted from the start.
    p.Of(0);
    const std::string keep = p.dir / "first";
    fs::create_hard_link(PathFromUtf8(PreviewTempFile), PathFromUtf8(keep));
    p.Of(0);
    EXPECT_EQ(p.player.calls, (Calls{"mode", "stop", "mode", "close", "open", "play"}));
    EXPECT_FALSE(fs::equivalent(PathFromUtf8(keep), PathFromUtf8(PreviewTempFile)));
}

TEST(EntryPreviewLogic, ThePlayerIsStoppedOnlyWhenPlayingOrPausedAndClosedOnlyWhenStoppedOrOpen)
{
    const std::pair<MediaMode, Calls> cases[] = {
        {MediaMode::Playing, {"mode", "stop", "mode", "close"}},
        {MediaMode::Paused, {"mode", "stop", "mode", "close"}},
        {MediaMode::Stopped, {"mode", "mode", "close"}},
        {MediaMode::Open, {"mode", "mode", "close"}},
        {MediaMode::NotReady, {"mode", "mode"}},
        {MediaMode::Seeking, {"mode", "mode"}},
        {MediaMode::Recording, {"mode", "mode"}},
    };
    Preview p(Mixed());
    for (const auto &[mode, expected] : cases) {
        p.player.mode = mode;
        p.Of(5);
        // Seeking and recording are left alone: Stop leaves them as they are.
        EXPECT_EQ(p.player.calls, expected) << int(mode);
    }
}

TEST(EntryPreviewLogic, ACaptionThatWouldLeaveThePrivateFolderIsRefusedBeforeAnythingChanges)
{
    Preview p(ArchiveBuilder().Add("../up.mid", "m").Add("a\\b.tex", "t").Add("c:d.mid", "m").Build());
    p.player.mode = MediaMode::Playing;
    for (int index : {0, 1, 2})
        p.Of(index);
    ASSERT_EQ(p.dialogs.shown.size(), 3u);
    EXPECT_NE(p.dialogs.shown[0].find("\"../up.mid\" has a name that cannot"), std::string::npos);
    EXPECT_TRUE(p.player.calls.empty());
    EXPECT_EQ(PreviewTempFile, "");
}

TEST(EntryPreviewLogic, AFailedExtractionKeepsWhatWasDone)
{
    ArchiveBuilder builder;
    builder.Add("cut.mid", SimpleTune());
    std::string bytes = builder.Build();
    PatchDataLength(bytes, builder.OffsetOf(0), 1000000); // runs past the end of the archive
    Preview p(bytes);
    p.mainView.fullRead = false;
    p.main.OpenArchive(p.archive);
    p.player.mode = MediaMode::Playing;
    p.Of(0);
    EXPECT_EQ(p.dialogs.Last(),
              "error: Stream read error.\nExtracting entry cut.mid from test.kvb: its data "
              "needs bytes up to 1003669, but the archive ends at byte 3791.");
    EXPECT_EQ(p.player.calls, (Calls{"mode", "stop", "mode", "close"}));
    EXPECT_EQ(PreviewTempFile, GetTempDir() + "cut.mid");
    // The archive was closed again: an editor can have it.
    EXPECT_NO_THROW(TRawKVBFile{p.archive});
}
