// Reads the 16-bit samples of a PCM WAV file, as FluidSynth writes them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kvb::test {

inline uint32_t LE32(const std::string &bytes, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uint8_t(bytes[at + i]);
    return v;
}

// Empty when bytes are not a 16-bit PCM WAV file. A data chunk whose size was never filled in
// (the writer did not finish) counts up to the end of the file.
inline std::vector<int16_t> WavSamples(const std::string &bytes)
{
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return {};
    bool pcm16 = false;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        std::string id = bytes.substr(at, 4);
        size_t size = LE32(bytes, at + 4);
        size_t body = at + 8;
        if (id == "fmt " && body + 16 <= bytes.size())
            pcm16 = uint8_t(bytes[body]) == 1 && uint8_t(bytes[body + 14]) == 16;
        if (id == "data") {
            if (!pcm16)
                return {};
            size_t end = size == 0 ? bytes.size() : std::min(bytes.size(), body + size);
            std::vector<int16_t> samples((end - body) / 2);
            std::memcpy(samples.data(), bytes.data() + body, samples.size() * 2);
            return samples;
        }
        at = body + size + (size & 1);
    }
    return {};
}

inline int LoudestSample(const std::vector<int16_t> &samples)
{
    int loudest = 0;
    for (int16_t s : samples)
        loudest = std::max(loudest, std::abs(int(s)));
    return loudest;
}

} // namespace kvb::test
