// Small standard MIDI files for tests and the demo archive.
#pragma once

#include <cstdint>
#include <string>

namespace kvb::test {

// A format-0 MIDI file playing a short tune on a piano, about two seconds long.
std::string SimpleTune();

// A chunk of a MIDI file; declaredLength lets a test claim more or fewer bytes than body holds.
std::string MidiChunk(const std::string &id, const std::string &body);
std::string MidiChunk(const std::string &id, const std::string &body, uint32_t declaredLength);
// The header chunk of a MIDI file at 480 ticks per quarter note.
std::string MidiHeader(uint16_t format, uint16_t trackCount);

} // namespace kvb::test
