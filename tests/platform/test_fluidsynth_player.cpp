#include "platform/errors.h"
#include "platform/fluidsynth_player.h"
#include "support/archive_builder.h"
#include "support/midi_builder.h"
#include "support/wav_samples.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace kvb;
using namespace kvb::test;

namespace {

// Plays into a WAV file instead of a sound card; the "file" driver still runs in real time.
struct FilePlayback {
    TempDir dir;
    std::string tune = dir / "tune.mid";
    std::string wav = dir / "out.wav";
    FluidSynthSetup setup;

    FilePlayback()
    {
        WriteFile(tune, SimpleTune());
        setup = FluidSynthSetup::FromEnvironment();
        setup.audioDriver = "file";
        setup.audioFileName = wav;
    }
};

std::string OpenError(FluidSynthPlayer &player, const std::string &fileName)
{
    try {
        player.Open(fileName);
    } catch (const EKVBError &e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(FluidSynthPlayer, PlaysInTheBackgroundUntilStoppedAndWritesSound)
{
    FilePlayback p;
    FluidSynthPlayer player(p.setup);
    EXPECT_EQ(player.QueryMode(), MediaMode::NotReady);
    player.Open(p.tune);
    EXPECT_EQ(player.QueryMode(), MediaMode::Stopped);

    player.Play();
    EXPECT_EQ(player.QueryMode(), MediaMode::Playing);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(player.QueryMode(), MediaMode::Playing);
    player.Stop();
    EXPECT_EQ(player.QueryMode(), MediaMode::Stopped);
    player.Close();
    EXPECT_EQ(player.QueryMode(), MediaMode::NotReady);
    player.Close();

    std::vector<int16_t> samples = WavSamples(ReadFile(p.wav));
    EXPECT_GT(samples.size(), 0u);
    EXPECT_GT(LoudestSample(samples), 100);
}

TEST(FluidSynthPlayer, OpenFailsWithAMessageAndLeavesNothingOpen)
{
    FilePlayback p;
    FluidSynthPlayer player(p.setup);
    player.Open(p.tune);

    std::string text = p.dir / "notes.mid";
    WriteFile(text, "These are not notes.");
    EXPECT_EQ(OpenError(player, text), "Cannot play " + text + ": it is not a MIDI file");
    EXPECT_EQ(player.QueryMode(), MediaMode::NotReady);
    EXPECT_EQ(OpenError(player, p.dir / "missing.mid"), "Cannot open file " + (p.dir / "missing.mid"));

    FluidSynthSetup noFont = p.setup;
    noFont.soundFont = p.dir / "none.sf2";
    FluidSynthPlayer withoutFont(noFont);
    EXPECT_EQ(OpenError(withoutFont, p.tune),
              "No sound font at \"" + noFont.soundFont +
                  "\": install timgm6mb-soundfont or set KVB_SOUNDFONT to a .sf2 file");

    FluidSynthSetup noAudio = p.setup;
    noAudio.audioDriver = "no-such-driver";
    FluidSynthPlayer withoutAudio(noAudio);
    std::string error = OpenError(withoutAudio, p.tune);
    EXPECT_EQ(error.rfind("No audio output is available: ", 0), 0u) << error;
    EXPECT_NE(error.find("no-such-driver"), std::string::npos) << error;
    EXPECT_EQ(withoutAudio.QueryMode(), MediaMode::NotReady);
}

TEST(FluidSynthPlayer, OpenAndRenderRefuseWhatIsNotAStandardMidiFile)
{
    const std::string note("\x00\x90\x3C\x64\x60\x80\x3C\x40\x00\xFF\x2F\x00", 12);
    const std::string track = MidiChunk("MTrk", note);
    const std::string header = MidiHeader(0, 1);
    const struct {
        const char *what;
        std::string bytes;
    } cases[] = {
        {"the header's name alone", "MThd"},
        {"a header cut short", header.substr(0, 11)},
        {"a header shorter than six bytes", MidiChunk("MThd", header.substr(8, 4)) + track},
        {"a header longer than the file", MidiChunk("MThd", header.substr(8), 100)},
        {"no tracks in the header", MidiHeader(1, 0) + track},
        {"no track chunk", header},
        {"only a chunk of another kind", header + MidiChunk("XFIH", note)},
        {"a track chunk header cut short", header + track.substr(0, 6)},
        {"a track longer than the file", header + MidiChunk("MTrk", note, 0x7FFFFFFF)},
        {"a track only inside the bytes of another chunk",
         header + MidiChunk("XFIH", "", uint32_t(track.size())) + track},
    };
    FilePlayback p;
    FluidSynthPlayer player(p.setup);
    const std::string midi = p.dir / "bad.mid", wav = p.dir / "bad.wav";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(midi, c.bytes);
        const std::string refusal = "Cannot play " + midi + ": it is not a MIDI file";
        EXPECT_EQ(OpenError(player, midi), refusal);
        try {
            RenderMidiToWav(midi, wav, p.setup);
            ADD_FAILURE() << "rendered";
        } catch (const EKVBError &e) {
            EXPECT_EQ(e.what(), refusal);
        }
        EXPECT_FALSE(std::filesystem::exists(wav));
    }
    // What passes the same checks is played: a chunk of another kind before the track is allowed.
    WriteFile(midi, header + MidiChunk("XFIH", "ab") + track);
    EXPECT_EQ(OpenError(player, midi), "");
}
