#include "preview/tex.h"

#include "archive/format.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/stream.h"

#include <algorithm>
#include <array>
#include <string>

namespace kvb {

namespace {

// What a texture cut short lacks: "the file ends at byte N, but its <part> needs bytes up to
// M". The caller that knows the file's name puts it in front.
EReadError CutShort(const TStream &stream, const std::string &part, int64_t needed)
{
    return EReadError("the file ends at byte " + std::to_string(stream.Size()) + ", but its " + part +
                      " needs bytes up to " + std::to_string(needed));
}

int32_t ReadInt32(TStream &stream, const std::string &field)
{
    char bytes[4];
    if (stream.Read(bytes, sizeof bytes) != sizeof bytes)
        throw CutShort(stream, field, stream.Position() - stream.Position() % 4 + 4);
    return GetInt32LE(bytes);
}

// Header values come from untrusted files; they are checked before they size any allocation.
void CheckHeader(int32_t width, int32_t height, uint32_t paletteCount)
{
    if (width < 0 || height < 0 || width > kTexMaxSide || height > kTexMaxSide)
        throw EKVBError("Texture size " + std::to_string(width) + " x " + std::to_string(height) +
                        " is not supported: each side must be 0 to " + std::to_string(kTexMaxSide) +
                        " pixels");
    if (paletteCount > kTexMaxPaletteCount)
        throw EKVBError("Texture palette of " + std::to_string(paletteCount) +
                        " colours is not supported: at most " + std::to_string(kTexMaxPaletteCount));
}

void ReadPalette(TStream &stream, uint32_t count, TTexImage &image)
{
    std::array<unsigned char, kTexMaxPaletteCount * kTexPaletteEntrySize> raw;
    const int64_t paletteBytes = int64_t(count) * kTexPaletteEntrySize;
    if (stream.Read(raw.data(), paletteBytes) != paletteBytes)
        throw CutShort(stream, "palette of " + std::to_string(count) + " colours",
                       stream.Position() - stream.Position() % kTexPaletteEntrySize + paletteBytes);
    image.Palette.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char *entry = &raw[size_t(i) * kTexPaletteEntrySize];
        image.Palette[i] = TTexColour{entry[2], entry[1], entry[0]};
    }
}

} // namespace

TTexRowReader::TTexRowReader(TStream &stream, int32_t position) : stream_(stream)
{
    stream.Seek(kTexWidthPosition);
    image_.Width = ReadInt32(stream, "width");
    image_.Height = ReadInt32(stream, "height");
    stream.Seek(kTexPaletteCountPosition);
    const auto paletteCount = static_cast<uint32_t>(ReadInt32(stream, "palette's colour count"));
    CheckHeader(image_.Width, image_.Height, paletteCount);

    stream.Seek(position);
    const int64_t pixels = int64_t(image_.Width) * image_.Height;
    if (paletteCount != 0) {
        image_.Format = TTexFormat::Palettised8;
        ReadPalette(stream, paletteCount, image_);
        // Rows follow the palette directly. Data ending early is no error: the row it ends in is
        // filled in part, and later rows read nothing.
        image_.HeldPixels = std::clamp<int64_t>(stream.Size() - stream.Position(), 0, pixels);
    } else {
        image_.Format = TTexFormat::Direct555;
        // A short file must fail before memory is reserved for what it claims to hold.
        const int64_t bytes = pixels * 2;
        if (std::max<int64_t>(0, stream.Size() - stream.Position()) < bytes)
            throw CutShort(stream,
                           "data of " + std::to_string(image_.Width) + " x " +
                               std::to_string(image_.Height) + " pixels of 16 bits",
                           stream.Position() + bytes);
        image_.HeldPixels = pixels;
    }
    unread_ = image_.HeldPixels;
}

void TTexRowReader::ReadRows(uint8_t *indices, int32_t rows)
{
    const int64_t wanted = int64_t(image_.Width) * rows;
    const int64_t held = std::min(wanted, unread_);
    stream_.ReadBuffer(indices, held);
    std::fill(indices + held, indices + wanted, uint8_t(0));
    unread_ -= held;
}

void TTexRowReader::SkipRows(int32_t rows)
{
    const int64_t skipped = std::min(int64_t(image_.Width) * rows, unread_);
    const int64_t pixelSize = image_.Format == TTexFormat::Palettised8 ? 1 : 2;
    stream_.Seek(stream_.Position() + skipped * pixelSize);
    unread_ -= skipped;
}

void TTexRowReader::ReadRows(uint16_t *colours, int32_t rows)
{
    const int64_t wanted = int64_t(image_.Width) * rows;
    const int64_t held = std::min(wanted, unread_);
    stream_.ReadBuffer(colours, held * 2);
    // The file is little-endian; this turns its bytes into values on any host.
    const auto *raw = reinterpret_cast<const unsigned char *>(colours);
    for (int64_t i = 0; i < held; ++i)
        colours[i] = uint16_t(raw[2 * i] | (raw[2 * i + 1] << 8));
    std::fill(colours + held, colours + wanted, uint16_t(0));
    unread_ -= held;
}

TTexImage TexToBitmap(TStream &stream, int32_t position)
{
    TTexRowReader reader(stream, position);
    TTexImage image = reader.Image();
    // Only the rows the file holds are stored, each read straight into its place.
    const size_t width = size_t(image.Width);
    if (image.Format == TTexFormat::Palettised8) {
        image.Indices.resize(width * size_t(image.HeldRows()));
        reader.ReadRows(image.Indices.data(), image.HeldRows());
    } else {
        image.Colours.resize(width * size_t(image.Height));
        reader.ReadRows(image.Colours.data(), image.Height);
    }
    return image;
}

TTexImage ReadTexture(TStream &stream, const std::string &name)
{
    try {
        return TexToBitmap(stream, kTexImageDataPosition);
    } catch (const EReadError &e) {
        throw EReadError("Reading texture " + name + ": " + e.Detail());
    }
}

TTexImage ReadTexFile(const std::string &path)
{
    TFileStream stream(path, TFileStream::Mode::OpenRead);
    return ReadTexture(stream, FileNameOf(path));
}

std::vector<TTexColour> ShownPalette(const TTexImage &image)
{
    std::vector<TTexColour> shown = image.Palette;
    if (!image.Indices.empty()) {
        size_t highest = *std::max_element(image.Indices.begin(), image.Indices.end());
        if (highest >= shown.size())
            shown.resize(highest + 1); // TTexColour{} is black
    }
    return shown;
}

} // namespace kvb
