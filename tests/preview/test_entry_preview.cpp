#include "archive/catalogue.h"
#include "platform/errors.h"
#include "platform/media_player.h"
#include "preview/entry_preview.h"
#include "platform/temp_dir.h"
#include "support/archive_builder.h"
#include "support/midi_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using namespace kvb;
using namespace kvb::test;

namespace {

// Records every call and moves between modes as a real player would. At Close it notes whether
// the previous temporary file was still there, which shows the order of the preview's steps.
class RecordingPlayer : public MediaPlayer {
public:
    explicit RecordingPlayer(MediaMode mode = MediaMode::NotReady) : mode_(mode) {}

    MediaMode QueryMode() override { calls.push_back("QueryMode"); return mode_; }
    void Stop() override { calls.push_back("Stop"); mode_ = MediaMode::Stopped; }
    void Close() override
    {
        calls.push_back("Close");
        tempFileAtClose = PreviewTempFile;
        tempFileExistedAtClose = fs::exists(PreviewTempFile);
        mode_ = MediaMode::NotReady;
    }
    void Open(const std::string &fileName) override
    {
        calls.push_back("Open " + fileName);
        openedBytes = ReadFile(fileName);
        mode_ = MediaMode::Stopped;
    }
    void Play() override { calls.push_back("Play"); mode_ = MediaMode::Playing; }

    std::vector<std::string> calls;
    std::string tempFileAtClose;
    bool tempFileExistedAtClose = false;
    std::string openedBytes;

private:
    MediaMode mode_;
};

using Calls = std::vector<std::string>;

class EntryPreview : public ::testing::Test {
protected:
    EntryPreview()
    {
        PreviewTempFile.clear();
        ArchiveBuilder builder;
        for (const char *name : {"track.mid", "TRACK.MID", "readme.txt", "noext", "x.texture"})
            builder.Add(name, SimpleTune());
        builder.Add("pic.tex", PatternBytes(300, 7));
        WriteFile(archive, builder.Build());
        catalogue = std::make_unique<TKVBFile>(archive, false);
    }
    ~EntryPreview() override
    {
        std::error_code ec;
        fs::remove(PreviewTempFile, ec);
        PreviewTempFile.clear();
    }

    void Preview(int32_t index, const std::string &caption)
    {
        PreviewEntry(*catalogue, index, caption, player,
                     {.notice = [this](const std::string &text) { notices.push_back(text); },
                      .showTexture = [this](const std::string &path) {
                          shown.push_back(path);
                          shownBytes = ReadFile(path);
                      }});
    }

    TempDir dir;
    std::string archive = dir / "test.kvb";
    std::unique_ptr<TKVBFile> catalogue;
    RecordingPlayer player;
    std::vector<std::string> notices, shown;
    std::string shownBytes;
};

int OpenDescriptors()
{
    int n = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

} // namespace

TEST(PreviewExtensionRule, LastDotOnwardsInAsciiCapitals)
{
    EXPECT_EQ(PreviewExtension("a.b.tex"), ".TEX");
    EXPECT_EQ(PreviewExtension("name."), ".");
    EXPECT_EQ(PreviewExtension("dir.d\\file"), "");
    EXPECT_EQ(PreviewExtension("c.d:stream"), "");
    EXPECT_EQ(PreviewExtension("a\\b.mid"), ".MID");
    EXPECT_EQ(PreviewExtension("x.m\xC3\xAF" "d"), ".M\xC3\xAF" "D"); // only a to z change
}

TEST_F(EntryPreview, OtherExtensionsOnlyGetTheNoticeAndLeaveTheMusicPlaying)
{
    player = RecordingPlayer(MediaMode::Playing);
    PreviewTempFile = "/earlier/preview.mid";
    for (const auto &[index, caption] : {std::pair{2, "readme.txt"}, {3, "noext"}, {4, "x.texture"}})
        Preview(index, caption);
    EXPECT_EQ(notices, Calls(3, "Don't know how to preview this file yet..."));
    EXPECT_EQ(player.calls, Calls{});
    EXPECT_EQ(PreviewTempFile, "/earlier/preview.mid");
    EXPECT_TRUE(shown.empty());
}

TEST_F(EntryPreview, MidiIsExtractedUnderItsCaptionAndPlayed)
{
    for (const auto &[index, caption] : {std::pair{0, "track.mid"}, {1, "TRACK.MID"}}) {
        player.calls.clear();
        Preview(index, caption);
        EXPECT_EQ(PreviewTempFile, GetTempDir() + caption);
        EXPECT_EQ(player.calls.back(), "Play");
        EXPECT_EQ(player.calls.at(player.calls.size() - 2), "Open " + PreviewTempFile);
        EXPECT_EQ(player.openedBytes, SimpleTune());
    }
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(shown.empty());
}

TEST_F(EntryPreview, TextureWhileMusicPlaysStopsAndClosesBeforeTheOldFileGoes)
{
    Preview(0, "track.mid");
    EXPECT_EQ(player.calls, (Calls{"QueryMode", "QueryMode", "Open " + GetTempDir() + "track.mid", "Play"}));
    player.calls.clear();

    Preview(5, "pic.tex");
    EXPECT_EQ(player.calls, (Calls{"QueryMode", "Stop", "QueryMode", "Close"}));
    EXPECT_EQ(player.tempFileAtClose, GetTempDir() + "track.mid");
    EXPECT_TRUE(player.tempFileExistedAtClose);
    EXPECT_FALSE(fs::exists(GetTempDir() + "track.mid"));
    EXPECT_EQ(shown, Calls{GetTempDir() + "pic.tex"});
    EXPECT_EQ(shownBytes, PatternBytes(300, 7));
    EXPECT_EQ(PreviewTempFile, GetTempDir() + "pic.tex");
}

TEST_F(EntryPreview, ThePlayerIsStoppedOnlyWhenPlayingOrPausedAndClosedOnlyWhenStoppedOrOpen)
{
    const std::pair<MediaMode, Calls> cases[] = {
        {MediaMode::Playing, {"QueryMode", "Stop", "QueryMode", "Close"}},
        {MediaMode::Paused, {"QueryMode", "Stop", "QueryMode", "Close"}},
        {MediaMode::Stopped, {"QueryMode", "QueryMode", "Close"}},
        {MediaMode::Open, {"QueryMode", "QueryMode", "Close"}},
        {MediaMode::NotReady, {"QueryMode", "QueryMode"}},
        {MediaMode::Seeking, {"QueryMode", "QueryMode"}},
        {MediaMode::Recording, {"QueryMode", "QueryMode"}},
    };
    for (const auto &[mode, expected] : cases) {
        player = RecordingPlayer(mode);
        Preview(5, "pic.tex");
        EXPECT_EQ(player.calls, expected) << int(mode);
    }
}

TEST_F(EntryPreview, TheSameMidiTwiceIsExtractedAfreshAndRestarted)
{
    Preview(0, "track.mid");
    std::string keep = dir / "first-extraction";
    fs::create_hard_link(PreviewTempFile, keep);
    player.calls.clear();

    Preview(0, "track.mid");
    EXPECT_EQ(player.calls, (Calls{"QueryMode", "Stop", "QueryMode", "Close",
                                   "Open " + GetTempDir() + "track.mid", "Play"}));
    EXPECT_FALSE(fs::equivalent(keep, PreviewTempFile)); // deleted and written anew
    EXPECT_EQ(ReadFile(PreviewTempFile), SimpleTune());
}

TEST_F(EntryPreview, TheCatalogueIndexChoosesTheEntry)
{
    ArchiveBuilder builder;
    for (unsigned i = 0; i < 2010; ++i)
        builder.Add("F" + std::to_string(i) + ".TEX", PatternBytes(16, i));
    WriteFile(archive, builder.Build());
    catalogue = std::make_unique<TKVBFile>(archive, false);

    Preview(2005, "F2005.TEX");
    EXPECT_EQ(shownBytes, PatternBytes(16, 2005));
    Preview(0, "F0.TEX");
    EXPECT_EQ(shownBytes, PatternBytes(16, 0));
}

TEST_F(EntryPreview, ACaptionThatWouldLeaveThePrivateFolderIsRefusedBeforeAnythingChanges)
{
    player = RecordingPlayer(MediaMode::Playing);
    for (const std::string caption : {"../up.mid", "a\\b.tex", "c:d.mid", "sub/x.tex"}) {
        try {
            Preview(0, caption);
            ADD_FAILURE() << caption << " was previewed";
        } catch (const EKVBError &e) {
            EXPECT_NE(std::string(e.what()).find("\"" + caption + "\""), std::string::npos)
                << e.what();
        }
    }
    EXPECT_EQ(player.calls, Calls{});
    EXPECT_EQ(PreviewTempFile, "");
    EXPECT_FALSE(fs::exists(fs::path(GetTempDir()).parent_path().parent_path() / "up.mid"));
}

TEST_F(EntryPreview, AFailedExtractionClosesTheArchiveAndKeepsWhatWasDone)
{
    ArchiveBuilder builder;
    builder.Add("cut.mid", SimpleTune());
    std::string bytes = builder.Build();
    PatchDataLength(bytes, builder.OffsetOf(0), 1000000); // runs past the end of the archive
    WriteFile(archive, bytes);
    catalogue = std::make_unique<TKVBFile>(archive, false);
    player = RecordingPlayer(MediaMode::Playing);

    int before = OpenDescriptors();
    EXPECT_THROW(Preview(0, "cut.mid"), EReadError);
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_EQ(player.calls, (Calls{"QueryMode", "Stop", "QueryMode", "Close"}));
    EXPECT_EQ(PreviewTempFile, GetTempDir() + "cut.mid");
}
