#include "media/midi_file.h"
#include "platform/errors.h"
#include "support/midi_builder.h"

#include <gtest/gtest.h>

using namespace kvb;
using namespace kvb::test;

namespace {

std::string Bytes(std::initializer_list<int> bytes)
{
    std::string out;
    for (int b : bytes)
        out += char(b);
    return out;
}

const std::string kEnd = Bytes({0x00, 0xFF, 0x2F, 0x00});

std::string Refusal(const std::string &bytes)
{
    try {
        SummariseMidi(bytes, "in.mid");
    } catch (const EKVBError &e) {
        return e.what();
    }
    return "(played)";
}

} // namespace

TEST(SummariseMidi, LengthFollowsTheDeltaTimesAndTheTempoChangesOfEveryTrack)
{
    // Track 1 halves the tempo's quarter note from tick 960 on; track 2 plays to tick 2880,
    // through running status. At 480 ticks a quarter note: 960 ticks of 0.5 s quarter notes and
    // 1920 ticks of 0.25 s ones.
    const std::string tempo = Bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}) +
                              Bytes({0x87, 0x40, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90}) + kEnd;
    const std::string notes = Bytes({0x00, 0x90, 0x3C, 0x64, 0x96, 0x40, 0x3C, 0x00}) + kEnd;
    const TMidiSummary summary =
        SummariseMidi(MidiHeader(1, 2) + MidiChunk("MTrk", tempo) + MidiChunk("MTrk", notes), "in.mid");
    EXPECT_EQ(summary.Tracks, 2);
    EXPECT_TRUE(summary.HasNotes);
    EXPECT_DOUBLE_EQ(summary.Seconds, 2.0);

    // A marker after the last note is not kept by the player, and neither is its delta time;
    // an end of track is.
    const std::string marked =
        Bytes({0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x40, 0x87, 0x40, 0xFF, 0x06, 0x01, 'x'});
    EXPECT_DOUBLE_EQ(SummariseMidi(MidiHeader(0, 1) + MidiChunk("MTrk", marked), "in.mid").Seconds, 0.5);
    EXPECT_DOUBLE_EQ(SummariseMidi(NoteThenSilence(65), "in.mid").Seconds, 65.0);
    EXPECT_NEAR(SummariseMidi(TuneWithLongestDeltaTime(), "in.mid").Seconds / 3600, 77.7, 0.1);
}

TEST(SummariseMidi, NotesAreNoteOnsAboveVelocityZero)
{
    const std::string silent = Bytes({0x00, 0x90, 0x3C, 0x00, 0x00, 0x80, 0x3C, 0x40}) + kEnd;
    EXPECT_FALSE(SummariseMidi(MidiHeader(0, 1) + MidiChunk("MTrk", silent), "in.mid").HasNotes);
    EXPECT_TRUE(SummariseMidi(SimpleTune(), "in.mid").HasNotes);
}

TEST(SummariseMidi, RefusesWhatFluidSynthWouldNotPlayWhole)
{
    const auto track = [](const std::string &events) {
        return MidiHeader(0, 1) + MidiChunk("MTrk", events);
    };
    std::string smpte = SimpleTune();
    smpte[12] = char(0xE7); // 25 frames a second
    const std::string at = "Cannot play in.mid: track 1 is damaged at byte ";
    const struct {
        std::string bytes, message;
    } cases[] = {
        {ManyTracks(380), "Cannot play in.mid: it has 380 tracks, and FluidSynth plays at most 127"},
        {smpte, "Cannot play in.mid: it counts time in SMPTE frames, which FluidSynth does not play"},
        {MidiHeader(1, 3) + MidiChunk("MTrk", kEnd),
         "Cannot play in.mid: its header announces 3 tracks, and the file holds 1"},
        {track(Bytes({0x00, 0xF7, 0x01, 0x00}) + kEnd),
         at + "22: an event of status 0xF7, which FluidSynth does not read"},
        {track(Bytes({0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}) + kEnd),
         at + "22: a meta event of type 81 has 2 bytes instead of 3"},
        {track(Bytes({0x00, 0x3C, 0x64}) + kEnd), at + "22: an event has no status byte before it"},
        {track(Bytes({0x00, 0x90, 0x3C})), at + "22: an event runs past the end of its track"},
        {track(Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x00})), at + "22: a number runs over more than 4 bytes"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Refusal(c.bytes), c.message);
    EXPECT_EQ(SummariseMidi(ManyTracks(127), "in.mid").Tracks, 127);
}
