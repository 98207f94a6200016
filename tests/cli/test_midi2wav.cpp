#include "cli/run_kvb.h"
#include "support/midi_builder.h"
#include "support/wav_samples.h"

#include <gtest/gtest.h>

#include <filesystem>

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

TEST(KvbMidi2Wav, StopsMusicThatPlaysPastTheLimitAndLeavesNoWav)
{
    TempDir dir;
    std::string midi = dir / "days.mid", wav = dir / "days.wav";
    WriteFile(midi, TuneWithLongestDeltaTime());
    // A failure keeps the file that stood there, as every output of the program does.
    WriteFile(wav, "an old render");
    RunResult r = RunKvb(dir, {"midi2wav", "--max-minutes", "1", midi, wav});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kvb: MIDI file " + midi +
                         " plays for longer than 1 minute; nothing was written (--max-minutes "
                         "allows more)\n");
    EXPECT_EQ(ReadFile(wav), "an old render");
    std::filesystem::remove(wav);
    r = RunKvb(dir, {"midi2wav", "--max-minutes", "1", midi, wav});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(wav));
}

TEST(KvbMidi2Wav, TheLimitIsTheLengthOfTheRenderedSound)
{
    TempDir dir;
    WriteFile(dir / "55s.mid", NoteThenSilence(55));
    RunResult r = RunKvb(dir, {"midi2wav", "--max-minutes", "1", dir / "55s.mid", dir / "55s.wav"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GE(WavSamples(ReadFile(dir / "55s.wav")).size(), 55u * 2 * 44100);

    WriteFile(dir / "65s.mid", NoteThenSilence(65));
    r = RunKvb(dir, {"midi2wav", "--max-minutes", "1", dir / "65s.mid", dir / "65s.wav"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("longer than 1 minute;"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "65s.wav"));
}

TEST(KvbMidi2Wav, MaxMinutesTakesOnlyAWholeDecimalNumberOfOneOrMore)
{
    TempDir dir;
    WriteFile(dir / "tune.mid", SimpleTune());
    for (std::string bad : {"0", "-1", "1.5", "0x10", "ten", "", "99999999999"}) {
        SCOPED_TRACE(bad);
        RunResult r = RunKvb(dir, {"midi2wav", "--max-minutes", bad, dir / "tune.mid", dir / "o.wav"});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("--max-minutes"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "o.wav"));
    }
    // Taken as octal, 08 is no number at all.
    WriteFile(dir / "days.mid", TuneWithLongestDeltaTime());
    RunResult r = RunKvb(dir, {"midi2wav", "--max-minutes", "08", dir / "days.mid", dir / "o.wav"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("longer than 8 minutes"), std::string::npos) << r.err;
}

TEST(KvbMidi2Wav, MusicLongerThanTheLimitIsRefusedBeforeAnythingIsRendered)
{
    TempDir dir;
    // 33 bytes whose note lies 78 hours after the start: refused from the file's own timing,
    // where rendering up to the default limit took an hour of music.
    WriteFile(dir / "days.mid", TuneWithLongestDeltaTime());
    RunResult r = RunKvb(dir, {"midi2wav", dir / "days.mid", dir / "days.wav"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kvb: MIDI file " + dir / "days.mid" +
                         " plays for longer than 60 minutes; nothing was written (--max-minutes "
                         "allows more)\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "days.wav"));
}

TEST(KvbMidi2Wav, MusicFluidSynthCannotPlayWholeOrThatRendersSilentIsAnError)
{
    TempDir dir;
    WriteFile(dir / "many.mid", ManyTracks(380));
    RunResult r = RunKvb(dir, {"midi2wav", dir / "many.mid", dir / "many.wav"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kvb: Cannot play " + dir / "many.mid" +
                         ": it has 380 tracks, and FluidSynth plays at most 127\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "many.wav"));

    WriteFile(dir / "mute.mid", NotesWithoutSound());
    r = RunKvb(dir, {"midi2wav", dir / "mute.mid", dir / "mute.wav"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("kvb: MIDI file " + dir / "mute.mid" +
                              " holds notes, but FluidSynth rendered only silence; nothing was written",
                          0),
              0u)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "mute.wav"));

    WriteFile(dir / "many.mid", ManyTracks(127));
    r = RunKvb(dir, {"midi2wav", dir / "many.mid", dir / "many.wav"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GT(LoudestSample(WavSamples(ReadFile(dir / "many.wav"))), 100);
}
