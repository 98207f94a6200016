// The one reader of PNG files in the program: its own walk over the chunks, which checks the
// header's fields and the checksums of the chunks it uses, and zlib's inflate driven one row at a
// time, so that no more is ever inflated than the rows the header declares.
#include "preview/png_image.h"

#include "archive/text.h"
#include "platform/errors.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>
#include <vector>

namespace kvb {

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr size_t kHeaderLength = 13;

uint32_t BigEndian32(const unsigned char *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

struct THeader {
    uint32_t Width = 0;
    uint32_t Height = 0;
    int Depth = 0;
    int ColourType = 0;
    int Interlace = 0;
};

// Samples per pixel of each colour type; 0 for a type PNG does not have.
int Channels(int colourType)
{
    switch (colourType) {
    case 0: return 1; // grey
    case 2: return 3; // RGB
    case 3: return 1; // palette index
    case 4: return 2; // grey, alpha
    case 6: return 4; // RGB, alpha
    default: return 0;
    }
}

const char *ColourTypeName(int colourType)
{
    switch (colourType) {
    case 0: return "greyscale";
    case 2: return "RGB";
    case 3: return "palette";
    case 4: return "greyscale with alpha";
    default: return "RGB with alpha";
    }
}

bool DepthAllowed(int colourType, int depth)
{
    switch (colourType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    default: return depth == 8 || depth == 16;
    }
}

// The position and size of the first pixel of an interlace pass and the steps between its
// pixels; a plain image is one pass over every pixel.
struct TPass {
    uint32_t X0, Y0, DX, DY;
};
constexpr TPass kPlain[] = {{0, 0, 1, 1}};
constexpr TPass kAdam7[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

class TPngReader {
public:
    TPngReader(const std::string &bytes, const std::string &fileName) : bytes_(bytes), fileName_(fileName)
    {
    }

    TRgbImage Read()
    {
        if (bytes_.size() < sizeof kSignature ||
            std::memcmp(bytes_.data(), kSignature, sizeof kSignature) != 0)
            throw EKVBError("Image " + fileName_ + " is not a PNG file");
        WalkChunks();
        return Decode();
    }

private:
    struct TSpan {
        const unsigned char *Data;
        uint32_t Size;
    };

    EKVBError Damaged(const std::string &why) const
    {
        return EKVBError("Image " + fileName_ + " is damaged: " + why);
    }
    EKVBError BadHeader(const std::string &why) const
    {
        return EKVBError("Image " + fileName_ + " has an invalid header: " + why);
    }
    std::string Size() const
    {
        return std::to_string(header_.Width) + " x " + std::to_string(header_.Height);
    }

    // Every chunk up to IEND: the header checked, the palette and the image data's pieces kept;
    // the chunks that only describe the picture are passed over.
    void WalkChunks()
    {
        const auto *data = reinterpret_cast<const unsigned char *>(bytes_.data());
        const size_t size = bytes_.size();
        bool haveHeader = false, havePalette = false;
        for (size_t at = sizeof kSignature; at < size;) {
            if (size - at < 8)
                throw Damaged("it ends inside the header of a chunk at byte " + std::to_string(at));
            const uint32_t length = BigEndian32(data + at);
            const std::string type(reinterpret_cast<const char *>(data + at + 4), 4);
            const std::string shownType = PrintableName(type);
            for (unsigned char c : type)
                if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
                    throw Damaged("the chunk at byte " + std::to_string(at) + " has the type \"" +
                                  shownType + "\", which is not four letters");
            if (length > kMaxChunkLength)
                throw Damaged("chunk " + shownType + " claims " + std::to_string(length) +
                              " bytes, more than a PNG chunk may hold");
            if (size - at - 8 < uint64_t(length) + 4)
                throw Damaged("it ends inside chunk " + shownType);
            const unsigned char *body = data + at + 8;
            at += 12 + size_t(length);

            const bool critical = type[0] >= 'A' && type[0] <= 'Z';
            if (!haveHeader && type != "IHDR")
                throw Damaged("its first chunk is " + shownType + ", not the header IHDR");
            if (!critical)
                continue;
            if (type != "IHDR" && type != "PLTE" && type != "IDAT" && type != "IEND")
                throw EKVBError("Image " + fileName_ + " cannot be read: it holds chunk " + shownType +
                                ", which is needed to show it and unknown here");
            CheckCrc(body - 4, length, shownType);
            if (type == "IHDR") {
                if (haveHeader)
                    throw Damaged("it has a second header chunk IHDR");
                ReadHeader(body, length);
                haveHeader = true;
            } else if (type == "PLTE") {
                if (havePalette || !imageData_.empty())
                    throw Damaged(havePalette ? "it has a second palette chunk PLTE"
                                              : "its palette chunk PLTE follows its image data");
                ReadPalette(body, length);
                havePalette = true;
            } else if (type == "IDAT") {
                imageData_.push_back({body, length});
            } else {
                break; // IEND; whatever follows it is not part of the image
            }
        }
        if (!haveHeader)
            throw Damaged("it ends after its signature");
        if (imageData_.empty())
            throw Damaged("it holds no image data (IDAT chunk)");
        if (header_.ColourType == 3 && !havePalette)
            throw Damaged("it has no palette chunk PLTE, which its colour type needs");
    }

    // typeAndData starts with the 4 bytes of the type, which the checksum covers too.
    void CheckCrc(const unsigned char *typeAndData, uint32_t length, const std::string &shownType) const
    {
        const uLong crc = crc32(crc32(0, nullptr, 0), typeAndData, uInt(length) + 4);
        if (crc != BigEndian32(typeAndData + 4 + length))
            throw Damaged("chunk " + shownType + " does not match its checksum (CRC)");
    }

    void ReadHeader(const unsigned char *body, uint32_t length)
    {
        if (length != kHeaderLength)
            throw BadHeader("it has " + std::to_string(length) + " bytes instead of " +
                            std::to_string(kHeaderLength));
        header_.Width = BigEndian32(body);
        header_.Height = BigEndian32(body + 4);
        header_.Depth = body[8];
        header_.ColourType = body[9];
        header_.Interlace = body[12];
        if (header_.Width == 0 || header_.Height == 0 || header_.Width > kMaxChunkLength ||
            header_.Height > kMaxChunkLength)
            throw BadHeader("a PNG is 1 to 2147483647 pixels on each side, and this one says " + Size());
        if (Channels(header_.ColourType) == 0)
            throw BadHeader("colour type " + std::to_string(header_.ColourType) +
                            " is not one of PNG's (0, 2, 3, 4, 6)");
        if (!DepthAllowed(header_.ColourType, header_.Depth))
            throw BadHeader("a bit depth of " + std::to_string(header_.Depth) +
                            " is not allowed for colour type " + std::to_string(header_.ColourType) +
                            " (" + ColourTypeName(header_.ColourType) + ")");
        if (body[10] != 0)
            throw BadHeader("compression method " + std::to_string(body[10]) +
                            " is unknown (PNG has only 0)");
        if (body[11] != 0)
            throw BadHeader("filter method " + std::to_string(body[11]) + " is unknown (PNG has only 0)");
        if (header_.Interlace > 1)
            throw BadHeader("interlace method " + std::to_string(header_.Interlace) +
                            " is unknown (PNG has 0 and 1)");
        // Checked from the header, before anything is sized by it.
        if (header_.Width > uint32_t(kTexMaxSide) || header_.Height > uint32_t(kTexMaxSide))
            throw EKVBError("Image " + fileName_ + " is " + Size() + " pixels; a texture takes 1 to " +
                            std::to_string(kTexMaxSide) + " on each side");
    }

    void ReadPalette(const unsigned char *body, uint32_t length)
    {
        if (length == 0 || length % 3 != 0 || length > 3 * 256)
            throw Damaged("its palette chunk PLTE has " + std::to_string(length) +
                          " bytes, which is not 1 to 256 colours of 3 bytes");
        for (uint32_t i = 0; i < length; i += 3)
            palette_[i / 3] = TTexColour{body[i], body[i + 1], body[i + 2]};
    }

    TRgbImage Decode()
    {
        z_stream z{};
        if (inflateInit(&z) != Z_OK)
            throw std::bad_alloc();
        struct Ender {
            z_stream &z;
            ~Ender() { inflateEnd(&z); }
        } ender{z};
        z_ = &z;

        TRgbImage image;
        image.Width = int32_t(header_.Width);
        image.Height = int32_t(header_.Height);
        // Rows are added as they are decoded, so that a file that claims more than it holds
        // costs only what it holds; interlaced images fill every row from their first pass.
        image.Pixels.reserve(size_t(header_.Width) * header_.Height);
        if (header_.Interlace == 1)
            image.Pixels.resize(size_t(header_.Width) * header_.Height);

        const bool interlaced = header_.Interlace == 1;
        const TPass *passes = interlaced ? kAdam7 : kPlain;
        const size_t passCount = interlaced ? std::size(kAdam7) : std::size(kPlain);
        for (size_t p = 0; p < passCount; ++p)
            DecodePass(passes[p], image);
        CheckEnd();
        return image;
    }

    void DecodePass(const TPass &pass, TRgbImage &image)
    {
        if (pass.X0 >= header_.Width || pass.Y0 >= header_.Height)
            return; // a pass without pixels has no rows in the data
        const uint32_t width = (header_.Width - pass.X0 + pass.DX - 1) / pass.DX;
        const uint32_t height = (header_.Height - pass.Y0 + pass.DY - 1) / pass.DY;
        const int bitsPerPixel = Channels(header_.ColourType) * header_.Depth;
        const size_t rowBytes = (size_t(width) * size_t(bitsPerPixel) + 7) / 8;
        const size_t step = size_t(std::max(1, bitsPerPixel / 8));
        // Each row is its filter type byte and its bytes; the row above starts as zeros.
        std::vector<unsigned char> row(rowBytes + 1), above(rowBytes + 1, 0);
        for (uint32_t r = 0; r < height; ++r) {
            Inflate(row.data(), row.size());
            Unfilter(row[0], row.data() + 1, above.data() + 1, rowBytes, step, r);
            const uint32_t y = pass.Y0 + r * pass.DY;
            if (header_.Interlace == 0)
                image.Pixels.resize(size_t(y + 1) * header_.Width);
            TTexColour *out = image.Pixels.data() + size_t(y) * header_.Width;
            for (uint32_t i = 0; i < width; ++i)
                out[pass.X0 + i * pass.DX] = Pixel(row.data() + 1, i);
            std::swap(row, above);
        }
    }

    // Fills size bytes from the image data, or fails: the data ends before them.
    void Inflate(unsigned char *out, size_t size)
    {
        z_->next_out = out;
        z_->avail_out = uInt(size);
        while (z_->avail_out > 0) {
            if (!NextInput() || ended_)
                throw Damaged("its image data ends before its " + Size() + " pixels are complete");
            const int result = inflate(z_, Z_NO_FLUSH);
            CheckInflate(result);
        }
    }

    // The data must end with the pixels: one byte more is a file that claims fewer pixels than
    // it holds, and inflating it on could go on for gigabytes.
    void CheckEnd()
    {
        unsigned char extra = 0;
        while (!ended_ && NextInput()) {
            z_->next_out = &extra;
            z_->avail_out = 1;
            CheckInflate(inflate(z_, Z_NO_FLUSH));
            if (z_->avail_out == 0)
                throw Damaged("its image data holds more than its " + Size() + " pixels");
        }
    }

    // Whether input is at hand, moving on to the next IDAT chunk when the last is used up.
    bool NextInput()
    {
        while (z_->avail_in == 0) {
            if (nextData_ == imageData_.size())
                return false;
            z_->next_in = const_cast<unsigned char *>(imageData_[nextData_].Data);
            z_->avail_in = imageData_[nextData_].Size;
            ++nextData_;
        }
        return true;
    }

    void CheckInflate(int result)
    {
        if (result == Z_STREAM_END)
            ended_ = true;
        else if (result == Z_MEM_ERROR)
            throw std::bad_alloc();
        else if (result != Z_OK && result != Z_BUF_ERROR)
            throw Damaged(std::string("its image data cannot be decompressed (") +
                          (z_->msg ? z_->msg : "invalid data") + ")");
    }

    void Unfilter(unsigned char type, unsigned char *row, const unsigned char *above, size_t size,
                  size_t step, uint32_t rowNumber) const
    {
        switch (type) {
        case 0: return;
        case 1:
            for (size_t i = step; i < size; ++i)
                row[i] = uint8_t(row[i] + row[i - step]);
            return;
        case 2:
            for (size_t i = 0; i < size; ++i)
                row[i] = uint8_t(row[i] + above[i]);
            return;
        case 3:
            for (size_t i = 0; i < size; ++i)
                row[i] = uint8_t(row[i] + ((i >= step ? row[i - step] : 0) + above[i]) / 2);
            return;
        case 4:
            for (size_t i = 0; i < size; ++i) {
                const int a = i >= step ? row[i - step] : 0, b = above[i],
                          c = i >= step ? above[i - step] : 0;
                const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
                row[i] = uint8_t(row[i] + (pa <= pb && pa <= pc ? a : pb <= pc ? b : c));
            }
            return;
        default:
            throw Damaged("row " + std::to_string(rowNumber + 1) + " of its image data has filter type " +
                          std::to_string(type) + ", which PNG does not have");
        }
    }

    // Sample number index of an unfiltered row, narrowed to 8 bits (16-bit samples keep their
    // high byte; smaller ones are spread so that their largest value is 255, but for palette
    // indices).
    unsigned Sample(const unsigned char *row, size_t index) const
    {
        const int depth = header_.Depth;
        if (depth == 8)
            return row[index];
        if (depth == 16)
            return row[2 * index];
        const size_t bit = index * size_t(depth);
        const unsigned max = (1u << depth) - 1;
        const unsigned value = (row[bit / 8] >> (8 - depth - bit % 8)) & max;
        return header_.ColourType == 3 ? value : value * 255 / max;
    }

    TTexColour Pixel(const unsigned char *row, uint32_t x) const
    {
        const size_t first = size_t(x) * size_t(Channels(header_.ColourType));
        switch (header_.ColourType) {
        case 0:
        case 4: {
            const uint8_t grey = uint8_t(Sample(row, first));
            return TTexColour{grey, grey, grey};
        }
        case 3: return palette_[Sample(row, first)]; // past the palette's end: black
        default:
            return TTexColour{uint8_t(Sample(row, first)), uint8_t(Sample(row, first + 1)),
                              uint8_t(Sample(row, first + 2))};
        }
    }

    const std::string &bytes_;
    const std::string &fileName_;
    THeader header_;
    std::array<TTexColour, 256> palette_{};
    std::vector<TSpan> imageData_;
    size_t nextData_ = 0;
    z_stream *z_ = nullptr;
    bool ended_ = false;
};

} // namespace

TRgbImage DecodePng(const std::string &bytes, const std::string &fileName)
{
    return TPngReader(bytes, fileName).Read();
}

} // namespace kvb
