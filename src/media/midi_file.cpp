#include "media/midi_file.h"

#include "platform/errors.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace kvb {

namespace {

constexpr uint32_t kDefaultTempo = 500000; // microseconds per quarter note until a change

class TMidiReader {
public:
    TMidiReader(const std::string &bytes, const std::string &fileName)
        : data_(reinterpret_cast<const unsigned char *>(bytes.data())),
          size_(bytes.size()),
          fileName_(fileName)
    {
    }

    TMidiSummary Read()
    {
        if (size_ < 14 || std::memcmp(data_, "MThd", 4) != 0)
            throw NotMidi();
        const uint32_t headerLength = BigEndian32(4);
        const unsigned format = BigEndian16(8), tracks = BigEndian16(10), division = BigEndian16(12);
        if (headerLength < 6 || headerLength > size_ - 8 || format > 2 || tracks == 0)
            throw NotMidi();
        // The player reads a header of exactly 6 bytes and knows only ticks per quarter note.
        if (headerLength != 6)
            throw Refusal("its header has " + std::to_string(headerLength) +
                          " bytes, and FluidSynth reads only headers of 6");
        if (division & 0x8000)
            throw Refusal("it counts time in SMPTE frames, which FluidSynth does not play");
        if (division == 0)
            throw Refusal("its header gives a quarter note 0 ticks");
        if (tracks > kMaxPlayableMidiTracks)
            throw Refusal("it has " + std::to_string(tracks) + " tracks, and FluidSynth plays at most " +
                          std::to_string(kMaxPlayableMidiTracks));
        summary_.Tracks = int(tracks);

        // Chunks of other kinds between the tracks are passed over, as the player does.
        size_t at = 8 + headerLength;
        for (int read = 0; read < int(tracks);) {
            if (size_ - at < 8)
                throw Refusal("its header announces " + std::to_string(tracks) +
                              (tracks == 1 ? " track" : " tracks") + ", and the file holds " +
                              std::to_string(read));
            for (size_t i = 0; i < 4; ++i)
                if (data_[at + i] >= 0x80)
                    throw Refusal("the chunk at byte " + std::to_string(at) + " has no name");
            const uint32_t length = BigEndian32(at + 4);
            if (length > size_ - at - 8)
                throw Refusal("the file ends inside the chunk at byte " + std::to_string(at));
            if (std::memcmp(data_ + at, "MTrk", 4) == 0)
                ReadTrack(at + 8, at + 8 + length, ++read);
            at += 8 + size_t(length);
        }
        summary_.Seconds = Seconds(division);
        return summary_;
    }

private:
    EKVBError Refusal(const std::string &why) const
    {
        return EKVBError("Cannot play " + fileName_ + ": " + why);
    }
    EKVBError NotMidi() const { return Refusal("it is not a MIDI file"); }

    uint32_t BigEndian32(size_t at) const
    {
        return uint32_t(data_[at]) << 24 | uint32_t(data_[at + 1]) << 16 | uint32_t(data_[at + 2]) << 8 |
               data_[at + 3];
    }
    unsigned BigEndian16(size_t at) const { return unsigned(data_[at]) << 8 | data_[at + 1]; }

    // The events of one track, from start up to end or its end-of-track event. What the player
    // keeps of a track ends with the last event it stores; meta events it ignores carry their
    // time on to the next event only.
    void ReadTrack(size_t start, size_t end, int number)
    {
        size_t at = start, event = start;
        const auto damaged = [&](const std::string &why) {
            return Refusal("track " + std::to_string(number) + " is damaged at byte " +
                           std::to_string(event) + ": " + why);
        };
        const auto byte = [&]() -> unsigned {
            if (at >= end)
                throw damaged("an event runs past the end of its track");
            return data_[at++];
        };
        const auto number7 = [&]() {
            uint32_t value = 0;
            for (int i = 0;; ++i) {
                if (i == 4)
                    throw damaged("a number runs over more than 4 bytes");
                const unsigned c = byte();
                value = value << 7 | (c & 0x7F);
                if (!(c & 0x80))
                    return value;
            }
        };
        const auto skip = [&](uint32_t count) {
            if (count > end - at)
                throw damaged("an event runs past the end of its track");
            at += count;
        };

        uint64_t tick = 0, stored = 0;
        while (at < end) {
            event = at;
            tick += number7();
            unsigned status = byte();
            if (!(status & 0x80)) {
                // A data byte: the status before it goes on.
                --at;
                status = runningStatus_;
                if (!(status & 0x80))
                    throw damaged("an event has no status byte before it");
            }
            // The player keeps the last status byte of any kind, across tracks too.
            runningStatus_ = status;
            if (status == 0xF0) {
                const uint32_t length = number7();
                skip(length);
                if (length > 0)
                    stored = tick;
            } else if (status == 0xFF) {
                const unsigned type = byte();
                const uint32_t length = number7();
                const size_t data = at;
                skip(length);
                // The player refuses these meta events when their length is wrong.
                const std::pair<unsigned, uint32_t> sizes[] = {
                    {0x2F, 0}, {0x51, 3}, {0x54, 5}, {0x58, 4}, {0x59, 2}};
                for (auto [kind, size] : sizes)
                    if (type == kind && length != size)
                        throw damaged("a meta event of type " + std::to_string(type) + " has " +
                                      std::to_string(length) + " bytes instead of " +
                                      std::to_string(size));
                if (type == 0x51)
                    tempos_.push_back({tick, uint32_t(data_[data]) << 16 |
                                                 uint32_t(data_[data + 1]) << 8 | data_[data + 2]});
                if (type == 0x2F || type == 0x51 || type == 0x01 || type == 0x05)
                    stored = tick;
                if (type == 0x2F)
                    break;
            } else if (status > 0xF0) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "0x%02X", status);
                throw damaged(std::string("an event of status ") + hex +
                              ", which FluidSynth does not read");
            } else {
                const unsigned kind = status & 0xF0;
                byte();
                const unsigned second = kind == 0xC0 || kind == 0xD0 ? 0 : byte();
                summary_.HasNotes = summary_.HasNotes || (kind == 0x90 && second > 0);
                stored = tick;
            }
        }
        lastTick_ = std::max(lastTick_, stored);
    }

    // The time of the last event: the ticks up to each tempo change at the tempo before it.
    double Seconds(unsigned division)
    {
        std::stable_sort(tempos_.begin(), tempos_.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        double seconds = 0;
        uint64_t tick = 0;
        uint32_t tempo = kDefaultTempo;
        for (const auto &[at, next] : tempos_) {
            if (at >= lastTick_)
                break;
            seconds += double(at - tick) * tempo;
            tick = at;
            tempo = next;
        }
        seconds += double(lastTick_ - tick) * tempo;
        return seconds / 1e6 / division;
    }

    const unsigned char *data_;
    size_t size_;
    const std::string &fileName_;
    TMidiSummary summary_;
    unsigned runningStatus_ = 0;
    std::vector<std::pair<uint64_t, uint32_t>> tempos_;
    uint64_t lastTick_ = 0;
};

} // namespace

TMidiSummary SummariseMidi(const std::string &bytes, const std::string &fileName)
{
    return TMidiReader(bytes, fileName).Read();
}

} // namespace kvb
