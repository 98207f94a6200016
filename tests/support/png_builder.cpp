#include "support/png_builder.h"

#include <zlib.h>

#include <stdexcept>

namespace kvb::test {

namespace {

std::string BigEndian(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

uint32_t ReadBigEndian(const std::string &bytes, size_t at)
{
    return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
           uint32_t(uint8_t(bytes[at + 2])) << 8 | uint8_t(bytes[at + 3]);
}

// Raw deflate of data, ending on a full flush: a run of blocks that refers to nothing before
// it, so that copies of it can follow one another.
std::string FlushedDeflate(const std::string &data)
{
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, uLong(data.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    const int result = deflate(&z, Z_FULL_FLUSH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (result != Z_OK || z.avail_in != 0)
        throw std::runtime_error("deflate");
    return out;
}

} // namespace

std::string PngHeader(uint32_t width, uint32_t height, int depth, int colourType, int interlace,
                      int compression, int filter)
{
    return BigEndian(width) + BigEndian(height) +
           std::string{char(depth), char(colourType), char(compression), char(filter), char(interlace)};
}

std::string PngChunk(const std::string &type, const std::string &data)
{
    const std::string body = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(body.data()), uInt(body.size()));
    return BigEndian(uint32_t(data.size())) + body + BigEndian(uint32_t(crc));
}

std::string PngFile(const std::string &header, const std::string &imageData, const std::string &palette)
{
    std::string png = "\x89PNG\r\n\x1a\n";
    png += PngChunk("IHDR", header);
    if (!palette.empty())
        png += PngChunk("PLTE", palette);
    return png + PngChunk("IDAT", imageData) + PngChunk("IEND", "");
}

std::string Zlib(const std::string &raw)
{
    uLongf size = compressBound(uLong(raw.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &size,
                  reinterpret_cast<const Bytef *>(raw.data()), uLong(raw.size()), 9) != Z_OK)
        throw std::runtime_error("compress2");
    out.resize(size);
    return out;
}

std::string ZlibOfZeros(uint64_t count)
{
    constexpr uint64_t kPiece = 1 << 20;
    const std::string piece = FlushedDeflate(std::string(kPiece, '\0'));
    std::string out = "\x78\xda";
    out.reserve(size_t(count / kPiece + 1) * piece.size() + 16);
    for (uint64_t i = 0; i < count / kPiece; ++i)
        out += piece;
    out += FlushedDeflate(std::string(size_t(count % kPiece), '\0'));
    out += std::string("\x03\x00", 2); // an empty final block
    // Over zeros the Adler-32 sums are 1 and the count.
    return out + BigEndian(uint32_t((count % 65521) << 16 | 1));
}

size_t PngChunkPosition(const std::string &png, int index)
{
    size_t at = 8;
    for (int i = 0; i < index; ++i)
        at += 12 + ReadBigEndian(png, at);
    return at;
}

} // namespace kvb::test
