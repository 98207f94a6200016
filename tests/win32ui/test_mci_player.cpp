// The player kvbview.exe plays the preview's music with: Windows' MIDI sequencer through MCI.
// Whether a sound comes out depends on the machine; what the preview relies on does not.
#include "media/win32/mci_player.h"
#include "platform/errors.h"
#include "platform/win32/wide.h"
#include "support/archive_builder.h"
#include "support/midi_builder.h"

#include <gtest/gtest.h>

using namespace kvb;
using namespace kvb::test;

TEST(MciPlayer, IsNotReadyUntilAFileIsOpenAndClosesWithNothingOpen)
{
    MciPlayer player;
    EXPECT_EQ(player.QueryMode(), MediaMode::NotReady);
    player.Stop();
    player.Close();
    player.Play();
    EXPECT_EQ(player.QueryMode(), MediaMode::NotReady);
}

TEST(MciPlayer, AFileItCannotOpenFailsWithTheMediaServicesTextAndLeavesNothingOpen)
{
    TempDir dir;
    MciPlayer player;
    try {
        player.Open(dir / "missing.mid");
        FAIL() << "a missing file opened";
    } catch (const EKVBError &e) {
        EXPECT_FALSE(std::string(e.what()).empty());
        EXPECT_EQ(std::string(e.what()).find("MCI error"), std::string::npos) << e.what();
    }
    EXPECT_EQ(player.QueryMode(), MediaMode::NotReady);
}

TEST(MciPlayer, AnOpenedTuneIsStoppedThenLetGoOf)
{
    TempDir dir;
    const std::string tune = dir / "TUNE.MID";
    WriteFile(PathFromUtf8(tune), SimpleTune());
    MciPlayer player;
    try {
        player.Open(tune);
    } catch (const EKVBError &e) {
        GTEST_SKIP() << "this machine has no MIDI sequencer: " << e.what();
    }
    EXPECT_EQ(player.QueryMode(), MediaMode::Stopped);
    player.Play();
    player.Stop();
    EXPECT_EQ(player.QueryMode(), MediaMode::Stopped);
    player.Close();
    EXPECT_EQ(player.QueryMode(), MediaMode::NotReady);
    // Let go of: the file can be deleted, as the next preview deletes it.
    EXPECT_TRUE(::DeleteFileW(win32::Wide(tune).c_str()));
}
