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

TEST(MciPlayer, AFileItCannotOpenFailsNamingItWithTheMediaServicesTextAndLeavesNothingOpen)
{
    TempDir dir;
    MciPlayer player;
    const std::string missing = dir / "missing.mid";
    try {
        player.Open(missing);
        FAIL() << "a missing file opened";
    } catch (const EKVBError &e) {
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("Cannot play " + missing + ": ", 0), 0u) << what;
        EXPECT_GT(what.size(), ("Cannot play " + missing + ": ").size()) << what;
        EXPECT_EQ(what.find("MCI error"), std::string::npos) << what;
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
