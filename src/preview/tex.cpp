#include "preview/tex.h"

#include "platform/errors.h"
#include "archive/format.h"
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
    return EReadError("the file ends at byte " + std::to_string(stream.Size()) + ", but its " +
                      part + " needs bytes up to " + std::to_string(needed));
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

void ReadPalettised(TStream &stream, uint32_t count, TTexImage &image)
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

    // Only now that the palette was there is the pixel storage sized, and only for the rows the
    // file holds; rows go straight into it. Data ending early is no error: the row it ends in
    // is filled in part, and later rows are not stored (they read as 0).
    const int64_t pixels = int64_t(image.Width) * image.Height;
    image.HeldPixels = std::clamp<int64_t>(stream.Size() - stream.Position(), 0, pixels);
    const size_t width = size_t(image.Width);
    image.Indices.assign(width * size_t(image.HeldRows()), 0);
    int64_t left = image.HeldPixels;
    for (int32_t row = 0; left > 0; ++row) {
        const int64_t part = std::min<int64_t>(image.Width, left);
        stream.ReadBuffer(image.Indices.data() + size_t(row) * width, part);
        left -= part;
    }
}

void ReadDirect(TStream &stream, TTexImage &image)
{
    const size_t pixels = size_t(image.Width) * size_t(image.Height);
    const int64_t bytes = int64_t(pixels) * 2;
    // A short file must fail before memory is reserved for what it claims to hold.
    if (std::max<int64_t>(0, stream.Size() - stream.Position()) < bytes)
        throw CutShort(stream, "data of " + std::to_string(image.Width) + " x " +
                                   std::to_string(image.Height) + " pixels of 16 bits",
                       stream.Position() + bytes);
    image.Colours.resize(pixels);
    image.HeldPixels = int64_t(pixels);
    stream.ReadBuffer(image.Colours.data(), bytes);
    // The file is little-endian; this turns its bytes into values on any host.
    const auto *raw = reinterpret_cast<const unsigned char *>(image.Colours.data());
    for (size_t i = 0; i < pixels; ++i)
        image.Colours[i] = uint16_t(raw[2 * i] | (raw[2 * i + 1] << 8));
}

} // namespace

TTexImage TexToBitmap(TStream &stream, int32_t position)
{
    stream.Seek(kTexWidthPosition);
    TTexImage image;
    image.Width = ReadInt32(stream, "width");
    image.Height = ReadInt32(stream, "height");
    stream.Seek(kTexPaletteCountPosition);
    const auto paletteCount = static_cast<uint32_t>(ReadInt32(stream, "palette's colour count"));
    CheckHeader(image.Width, image.Height, paletteCount);

    stream.Seek(position);
    if (paletteCount != 0) {
        image.Format = TTexFormat::Palettised8;
        ReadPalettised(stream, paletteCount, image);
    } else {
        image.Format = TTexFormat::Direct555;
        ReadDirect(stream, image);
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
