// PNG files of any shape, sound or damaged, for tests, fuzzing and benchmarks.
#pragma once

#include <cstdint>
#include <string>

namespace kvb::test {

// The data of an IHDR chunk; the fields a PNG allows only as 0 can be given otherwise.
std::string PngHeader(uint32_t width, uint32_t height, int depth, int colourType, int interlace = 0,
                      int compression = 0, int filter = 0);
// A chunk with its length and a correct CRC.
std::string PngChunk(const std::string &type, const std::string &data);
// The signature, the IHDR chunk of header, a PLTE chunk when palette is not empty, one IDAT
// chunk holding imageData and the IEND chunk.
std::string PngFile(const std::string &header, const std::string &imageData,
                    const std::string &palette = "");

// raw compressed as a zlib stream.
std::string Zlib(const std::string &raw);
// A zlib stream of count zero bytes, built from one compressed piece repeated, so that even
// gigabytes take only a moment to make (and about a thousandth of their size).
std::string ZlibOfZeros(uint64_t count);

// The byte where chunk number index (0 is IHDR) of png starts.
size_t PngChunkPosition(const std::string &png, int index);

} // namespace kvb::test
