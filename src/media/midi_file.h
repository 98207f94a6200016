// What a standard MIDI file holds as far as playing it goes, read from its bytes before anything
// plays: FluidSynth reads a file only once it starts to play it, and answers one it cannot play
// whole with silence, not with an error.
#pragma once

#include <string>

namespace kvb {

// More tracks than this and FluidSynth's player plays none of a file: it keeps at most 128, and
// it misreads a header's track count of 128 or more (as a byte with a sign, and its high byte
// shifted too far), so that it looks for tracks the file does not have.
inline constexpr int kMaxPlayableMidiTracks = 127;

struct TMidiSummary {
    int Tracks = 0;
    // Whether any note sounds: a note-on of a velocity above 0.
    bool HasNotes = false;
    // When the last event takes place, from the delta times and the tempo changes of every
    // track (a tempo change in any track sets the tempo for all, as the player applies it).
    double Seconds = 0;
};

// Reads bytes, the whole of the file fileName, as FluidSynth's player reads it, in time and
// memory that follow its size. Raises EKVBError "Cannot play <fileName>: <why>" for what is not
// a MIDI file and for one that FluidSynth would not play whole: SMPTE time, more tracks than
// kMaxPlayableMidiTracks, fewer tracks than its header announces, an event it does not read or
// that its track cuts short.
TMidiSummary SummariseMidi(const std::string &bytes, const std::string &fileName);

} // namespace kvb
