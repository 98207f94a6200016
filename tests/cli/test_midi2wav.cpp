#include "cli/run_kvb.h"
#include "support/midi_builder.h"
#include "support/wav_samples.h"

#include <gtest/gtest.h>

using namespace kvb::test;

TEST(KvbMidi2Wav, RendersTheWholeTuneAudibly)
{
    TempDir dir;
    WriteFile(dir / "tune.mid", SimpleTune());
    RunResult r = RunKvb(dir, {"midi2wav", dir / "tune.mid", dir / "tune.wav"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");

    std::vector<int16_t> samples = WavSamples(ReadFile(dir / "tune.wav"));
    // The tune lasts two seconds: 44,100 stereo frames a second at the least.
    EXPECT_GE(samples.size(), 2u * 2 * 44100);
    EXPECT_GT(LoudestSample(samples), 100);
    // The final notes are still there, not only the first ones.
    std::vector<int16_t> late(samples.begin() + 2 * 44100 * 3 / 2, samples.begin() + 2 * 44100 * 2);
    EXPECT_GT(LoudestSample(late), 100);
}

TEST(KvbMidi2Wav, RefusesAFileThatIsNotMidi)
{
    TempDir dir;
    WriteFile(dir / "text.mid", "not music");
    RunResult r = RunKvb(dir, {"midi2wav", dir / "text.mid", dir / "out.wav"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kvb: Cannot play " + (dir / "text.mid") + ": it is not a MIDI file\n");
}
