#include "preview/png_writer.h"

#include "platform/errors.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace kvb {

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr int kBytesPerPixel = 3;
// A zlib stream header: deflate with a 32 KiB window, default compression; its check bits make
// the pair a multiple of 31.
constexpr unsigned char kZlibHeader[2] = {0x78, 0x9C};
// Rows equal to the one before them are written from a block of compressed data made once, after
// this many of them in a row went through deflate as usual: a picture that repeats a row now and
// then compresses as it would anyway, and a run of equal rows (a texture whose file ends early:
// every row after the data is index 0) costs a copy of a few bytes per row rather than deflate
// over every byte the picture claims.
constexpr int kRepeatsBeforeCopying = 4;

enum TFilter : uint8_t { None = 0, Sub = 1, Up = 2, Average = 3, Paeth = 4 };

void PutBigEndian32(char *p, uint32_t value)
{
    p[0] = char(value >> 24);
    p[1] = char(value >> 16);
    p[2] = char(value >> 8);
    p[3] = char(value);
}

uint8_t PaethPredictor(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return uint8_t(a);
    return uint8_t(pb <= pc ? b : c);
}

// The row filtered with filter, behind its filter-type byte; above is the row before it (zeros
// for the first). The first pixel has no left neighbour, so it is done apart.
void FilterRow(TFilter filter, const uint8_t *row, const uint8_t *above, size_t size, uint8_t *out)
{
    out[0] = filter;
    uint8_t *f = out + 1;
    const size_t first = std::min<size_t>(kBytesPerPixel, size);
    switch (filter) {
    case None: std::memcpy(f, row, size); break;
    case Sub:
        std::memcpy(f, row, first);
        for (size_t i = first; i < size; ++i)
            f[i] = uint8_t(row[i] - row[i - kBytesPerPixel]);
        break;
    case Up:
        for (size_t i = 0; i < size; ++i)
            f[i] = uint8_t(row[i] - above[i]);
        break;
    case Average:
        for (size_t i = 0; i < first; ++i)
            f[i] = uint8_t(row[i] - above[i] / 2);
        for (size_t i = first; i < size; ++i)
            f[i] = uint8_t(row[i] - (row[i - kBytesPerPixel] + above[i]) / 2);
        break;
    case Paeth:
        for (size_t i = 0; i < first; ++i)
            f[i] = uint8_t(row[i] - above[i]);
        for (size_t i = first; i < size; ++i)
            f[i] = uint8_t(row[i] -
                           PaethPredictor(row[i - kBytesPerPixel], above[i], above[i - kBytesPerPixel]));
        break;
    }
}

// How far a filtered row is from all zeros, bytes taken as signed: the smaller, the better it
// usually compresses.
uint64_t Distance(const uint8_t *filtered, size_t size)
{
    uint64_t sum = 0;
    for (size_t i = 0; i < size; ++i) {
        const int value = int8_t(filtered[i]);
        sum += uint64_t(value < 0 ? -value : value);
    }
    return sum;
}

} // namespace

struct TPngWriter::State {
    int32_t Width = 0, Height = 0;
    size_t RowSize = 0; // bytes of a row's pixels, without the filter-type byte
    TSink Sink;
    z_stream Deflate{};
    bool DeflateStarted = false;
    // Whether deflate was given bytes since it last flushed its state.
    bool DeflatePending = false;
    uLong Adler = adler32(0, nullptr, 0);    // of every filtered byte, as zlib's trailer wants it
    std::vector<uint8_t> Above, Best, Trial; // the row before, the filtered rows compared
    int32_t Rows = 0;
    int Repeats = 0;         // rows equal to the one before, in a row
    std::string RepeatBlock; // compressed data of one row filtered Up from an equal row: zeros
    uLong RepeatAdler = 0;
    std::string Chunk; // the image data chunk being filled: length and type, then its data
    bool Finished = false;

    ~State()
    {
        if (DeflateStarted)
            deflateEnd(&Deflate);
    }

    EEncodeError Failure() const
    {
        return EEncodeError("a picture of " + std::to_string(Width) + " x " + std::to_string(Height) +
                            " pixels as a PNG");
    }

    void WriteChunk(const char *type, const char *data, size_t size)
    {
        std::string chunk(8, '\0');
        PutBigEndian32(chunk.data(), uint32_t(size));
        chunk.replace(4, 4, type, 4);
        chunk.append(data, size);
        AppendCrc(chunk);
        Sink(chunk.data(), chunk.size());
    }

    static void AppendCrc(std::string &chunk)
    {
        const auto *bytes = reinterpret_cast<const Bytef *>(chunk.data() + 4);
        char crc[4];
        PutBigEndian32(crc, uint32_t(crc32(crc32(0, nullptr, 0), bytes, uInt(chunk.size() - 4))));
        chunk.append(crc, 4);
    }

    void StartChunk()
    {
        Chunk.assign("\0\0\0\0IDAT", 8);
        Chunk.reserve(8 + kPngChunkData + 4);
    }

    void EndChunk()
    {
        PutBigEndian32(Chunk.data(), uint32_t(Chunk.size() - 8));
        AppendCrc(Chunk);
        Sink(Chunk.data(), Chunk.size());
        StartChunk();
    }

    void AppendImageData(const char *data, size_t size)
    {
        while (size > 0) {
            const size_t room = kPngChunkData - (Chunk.size() - 8);
            const size_t part = std::min(room, size);
            Chunk.append(data, part);
            data += part;
            size -= part;
            if (part == room)
                EndChunk();
        }
    }

    // Gives deflate size bytes (none to only flush) and passes on what it writes.
    void Compress(const uint8_t *data, size_t size, int flush)
    {
        std::array<unsigned char, 16384> out;
        Deflate.next_in = const_cast<Bytef *>(data);
        Deflate.avail_in = uInt(size);
        int result = Z_OK;
        do {
            Deflate.next_out = out.data();
            Deflate.avail_out = uInt(out.size());
            result = deflate(&Deflate, flush);
            if (result == Z_STREAM_ERROR)
                throw Failure();
            AppendImageData(reinterpret_cast<const char *>(out.data()), out.size() - Deflate.avail_out);
        } while (Deflate.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    }

    // A row of filter type Up and zeros, compressed on its own and flushed to a whole byte: it
    // refers to nothing before it, so it can stand anywhere after a full flush, any number of
    // times.
    void MakeRepeatBlock()
    {
        std::vector<uint8_t> row(RowSize + 1, 0);
        row[0] = Up;
        RepeatAdler = adler32(adler32(0, nullptr, 0), row.data(), uInt(row.size()));
        z_stream once{};
        if (deflateInit2(&once, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw Failure();
        std::array<unsigned char, 4096> out;
        once.next_in = row.data();
        once.avail_in = uInt(row.size());
        int result = Z_OK;
        // The flush is done once deflate leaves room in the output.
        do {
            once.next_out = out.data();
            once.avail_out = uInt(out.size());
            result = deflate(&once, Z_FULL_FLUSH);
            RepeatBlock.append(reinterpret_cast<const char *>(out.data()), out.size() - once.avail_out);
        } while (result != Z_STREAM_ERROR && once.avail_out == 0);
        deflateEnd(&once);
        if (result == Z_STREAM_ERROR)
            throw Failure();
    }
};

TPngWriter::TPngWriter(int32_t width, int32_t height, TSink sink) : state_(std::make_unique<State>())
{
    State &s = *state_;
    s.Width = width;
    s.Height = height;
    s.Sink = std::move(sink);
    // zlib takes a row in one piece.
    if (width < 1 || height < 1 || uint64_t(width) * kBytesPerPixel >= std::numeric_limits<uInt>::max())
        throw s.Failure();
    s.RowSize = size_t(width) * kBytesPerPixel;
    if (deflateInit2(&s.Deflate, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw s.Failure();
    s.DeflateStarted = true;
    s.Above.assign(s.RowSize, 0);
    s.Best.resize(s.RowSize + 1);
    s.Trial.resize(s.RowSize + 1);

    s.Sink(reinterpret_cast<const char *>(kSignature), sizeof kSignature);
    char header[13];
    PutBigEndian32(header, uint32_t(width));
    PutBigEndian32(header + 4, uint32_t(height));
    header[8] = 8;  // bits per sample
    header[9] = 2;  // RGB
    header[10] = 0; // deflate
    header[11] = 0; // adaptive filtering, a filter type per row
    header[12] = 0; // not interlaced
    s.WriteChunk("IHDR", header, sizeof header);
    s.StartChunk();
    s.AppendImageData(reinterpret_cast<const char *>(kZlibHeader), sizeof kZlibHeader);
}

TPngWriter::~TPngWriter() = default;

void TPngWriter::WriteRow(const uint8_t *rgb)
{
    const State &s = *state_;
    Put(rgb, s.Rows > 0 && std::memcmp(rgb, s.Above.data(), s.RowSize) == 0);
}

void TPngWriter::RepeatRow()
{
    if (state_->Rows == 0)
        throw state_->Failure();
    Put(state_->Above.data(), true);
}

void TPngWriter::Put(const uint8_t *rgb, bool repeat)
{
    State &s = *state_;
    if (s.Finished || s.Rows >= s.Height)
        throw s.Failure();
    s.Repeats = repeat ? s.Repeats + 1 : 0;
    ++s.Rows;
    if (s.Repeats > kRepeatsBeforeCopying) {
        if (s.DeflatePending) {
            s.Compress(nullptr, 0, Z_FULL_FLUSH);
            s.DeflatePending = false;
        }
        if (s.RepeatBlock.empty())
            s.MakeRepeatBlock();
        s.AppendImageData(s.RepeatBlock.data(), s.RepeatBlock.size());
        s.Adler = adler32_combine(s.Adler, s.RepeatAdler, z_off_t(s.RowSize + 1));
        return;
    }

    // The filter that leaves the row nearest to zeros, as most encoders choose.
    uint64_t best = UINT64_MAX;
    for (TFilter filter : {None, Sub, Up, Average, Paeth}) {
        FilterRow(filter, rgb, s.Above.data(), s.RowSize, s.Trial.data());
        const uint64_t distance = Distance(s.Trial.data() + 1, s.RowSize);
        if (distance < best) {
            best = distance;
            s.Best.swap(s.Trial);
        }
    }
    s.Adler = adler32(s.Adler, s.Best.data(), uInt(s.Best.size()));
    s.Compress(s.Best.data(), s.Best.size(), Z_NO_FLUSH);
    s.DeflatePending = true;
    if (!repeat)
        std::memcpy(s.Above.data(), rgb, s.RowSize);
}

void TPngWriter::Finish()
{
    State &s = *state_;
    if (s.Finished || s.Rows != s.Height)
        throw s.Failure();
    s.Finished = true;
    s.Compress(nullptr, 0, Z_FINISH);
    char adler[4];
    PutBigEndian32(adler, uint32_t(s.Adler));
    s.AppendImageData(adler, sizeof adler);
    if (s.Chunk.size() > 8)
        s.EndChunk();
    s.WriteChunk("IEND", "", 0);
}

} // namespace kvb
