#include "support/midi_builder.h"

#include <cstdint>

namespace kvb::test {

namespace {

void PutBE32(std::string &out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char((v >> shift) & 0xFF);
}

void PutVarLen(std::string &out, uint32_t v)
{
    char bytes[4];
    int n = 0;
    bytes[n++] = char(v & 0x7F);
    while (v >>= 7)
        bytes[n++] = char(0x80 | (v & 0x7F));
    while (n > 0)
        out += bytes[--n];
}

} // namespace

std::string MidiChunk(const std::string &id, const std::string &body, uint32_t declaredLength)
{
    std::string out = id;
    PutBE32(out, declaredLength);
    return out + body;
}

std::string MidiChunk(const std::string &id, const std::string &body)
{
    return MidiChunk(id, body, uint32_t(body.size()));
}

std::string MidiHeader(uint16_t format, uint16_t trackCount)
{
    const char body[] = {char(format >> 8), char(format), char(trackCount >> 8),
                         char(trackCount),  '\x01',       '\xE0'};
    return MidiChunk("MThd", std::string(body, sizeof body));
}

namespace {

std::string NoteThenTicks(uint32_t ticks)
{
    std::string track("\x00\x90\x3C\x64", 4); // a note on at once
    PutVarLen(track, ticks);
    track += std::string("\xFF\x2F\x00", 3); // the end of the track
    return MidiHeader(0, 1) + MidiChunk("MTrk", track);
}

} // namespace

std::string NoteThenSilence(uint32_t seconds)
{
    // 480 ticks a quarter note, two quarter notes a second without a tempo event.
    return NoteThenTicks(seconds * 960);
}

std::string TuneWithLongestDeltaTime()
{
    return NoteThenTicks(0x0FFFFFFF);
}

std::string ManyTracks(int count)
{
    // Piano, then middle C for 960 ticks (a second at the default tempo).
    const std::string track("\x00\xC0\x00"
                            "\x00\x90\x3C\x64"
                            "\x87\x40\x80\x3C\x40"
                            "\x00\xFF\x2F\x00",
                            17);
    std::string out = MidiHeader(1, uint16_t(count));
    for (int i = 0; i < count; ++i)
        out += MidiChunk("MTrk", track);
    return out;
}

std::string NotesWithoutSound()
{
    const std::string track("\x00\x99\x00\x64"
                            "\x87\x40\x89\x00\x40"
                            "\x00\xFF\x2F\x00",
                            13);
    return MidiHeader(0, 1) + MidiChunk("MTrk", track);
}

std::string SimpleTune()
{
    std::string track;
    // Tempo 500,000 us per quarter note, program 0 (piano) on channel 0.
    track += std::string("\x00\xFF\x51\x03\x07\xA1\x20", 7);
    track += std::string("\x00\xC0\x00", 3);
    const int notes[] = {60, 64, 67, 72, 67, 64, 60, 55};
    for (int note : notes) {
        PutVarLen(track, 0);
        track += char(0x90);
        track += char(note);
        track += char(100);
        PutVarLen(track, 240); // an eighth note at 480 ticks per quarter
        track += char(0x80);
        track += char(note);
        track += char(64);
    }
    track += std::string("\x00\xFF\x2F\x00", 4);

    std::string out = "MThd";
    PutBE32(out, 6);
    out += std::string("\x00\x00\x00\x01\x01\xE0", 6); // format 0, one track, 480 ticks
    out += "MTrk";
    PutBE32(out, uint32_t(track.size()));
    out += track;
    return out;
}

} // namespace kvb::test
