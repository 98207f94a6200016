// Small standard MIDI files for tests and the demo archive.
#pragma once

#include <cstdint>
#include <string>

namespace kvb::test {

// A format-0 MIDI file playing a short tune on a piano, about two seconds long.
std::string SimpleTune();

// One note, then silence until the end of the track seconds later, at the default tempo.
std::string NoteThenSilence(uint32_t seconds);
// One note, then the longest delta time a MIDI file can hold (2^28 - 1 ticks, about 78 hours at
// the default tempo) before the end of its track: 33 bytes that play for days.
std::string TuneWithLongestDeltaTime();

// A format-1 file of count tracks, each playing one note of a second at once, as large
// arrangements are (several hundred tracks).
std::string ManyTracks(int count);
// Notes that no General MIDI sound font has a sound for (key 0 of the drum channel): they hold
// notes, and render as silence.
std::string NotesWithoutSound();

// A chunk of a MIDI file; declaredLength lets a test claim more or fewer bytes than body holds.
std::string MidiChunk(const std::string &id, const std::string &body);
std::string MidiChunk(const std::string &id, const std::string &body, uint32_t declaredLength);
// The header chunk of a MIDI file at 480 ticks per quarter note.
std::string MidiHeader(uint16_t format, uint16_t trackCount);

} // namespace kvb::test
