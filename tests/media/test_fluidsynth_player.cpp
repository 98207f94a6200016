#include "media/fluidsynth_player.h"
#include "media/midi_file.h"
#include "platform/errors.h"
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
    EXPECT_EQ(OpenError(player, p.dir / "missing.mid"),
              "Cannot open file " + (p.dir / "missing.mid") + ": it does not exist");

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

TEST(FluidSynthPlayer, OpenAndRenderRefuseWhatItCannotPlayWhole)
{
    const std::string note("\x00\x90\x3C\x64\x60\x80\x3C\x40\x00\xFF\x2F\x00", 12);
    const std::string track = MidiChunk("MTrk", note);
    const std::string header = MidiHeader(0, 1);
    const std::string notMidi = "it is not a MIDI file",
                      noTrack = "its header announces 1 track, and the file holds 0";
    const struct {
        const char *what;
        std::string bytes, why;
    } cases[] = {
        {"the header's name alone", "MThd", notMidi},
        {"a header cut short", header.substr(0, 11), notMidi},
        {"a header shorter than six bytes", MidiChunk("MThd", header.substr(8, 4)) + track, notMidi},
        {"a header longer than the file", MidiChunk("MThd", header.substr(8), 100), notMidi},
        {"no tracks in the header", MidiHeader(1, 0) + track, notMidi},
        {"no track chunk", header, noTrack},
        {"only a chunk of another kind", header + MidiChunk("XFIH", note), noTrack},
        {"a track chunk header cut short", header + track.substr(0, 6), noTrack},
        {"a track longer than the file", header + MidiChunk("MTrk", note, 0x7FFFFFFF),
         "the file ends inside the chunk at byte 14"},
        {"a track only inside the bytes of another chunk",
         header + MidiChunk("XFIH", "", uint32_t(track.size())) + track, noTrack},
        {"more tracks than FluidSynth plays", ManyTracks(128),
         "it has 128 tracks, and FluidSynth plays at most 127"},
    };
    FilePlayback p;
    FluidSynthPlayer player(p.setup);
    const std::string midi = p.dir / "bad.mid", wav = p.dir / "bad.wav";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(midi, c.bytes);
        const std::string refusal = "Cannot play " + midi + ": " + c.why;
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

TEST(FluidSynthPlayer, ARenderOfNotesThatComesOutSilentIsAnError)
{
    FilePlayback p;
    const std::string midi = p.dir / "silent.mid", wav = p.dir / "silent.wav";
    WriteFile(midi, NotesWithoutSound());
    try {
        RenderMidiToWav(midi, wav, p.setup);
        ADD_FAILURE() << "rendered";
    } catch (const EKVBError &e) {
        EXPECT_EQ(std::string(e.what()).rfind("MIDI file " + midi +
                                                  " holds notes, but FluidSynth rendered only silence; "
                                                  "nothing was written",
                                              0),
                  0u)
            << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(wav));
    // All the tracks FluidSynth plays sound.
    WriteFile(midi, ManyTracks(kMaxPlayableMidiTracks));
    RenderMidiToWav(midi, wav, p.setup);
    EXPECT_GT(LoudestSample(WavSamples(ReadFile(wav))), 100);
}
