#include "preview/tex_encode.h"

#include "archive/format.h"
#include "platform/errors.h"
#include "platform/output_file.h"
#include "platform/stream.h"

#if KVB_HAVE_IMAGEQUANT
#include <libimagequant.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <unordered_map>

namespace kvb {

namespace {

uint32_t Key(const TTexColour &c)
{
    return uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
}

// 8 bits to 5, to the nearest of the 32 steps.
uint16_t To5(uint8_t value)
{
    return uint16_t((value * 31 + 127) / 255);
}

std::string ReadWhole(const std::string &fileName)
{
    TFileStream in(fileName, TFileStream::Mode::OpenRead);
    std::string bytes(size_t(in.OpenedSize()), '\0');
    if (in.ReadAt(0, bytes.data(), int64_t(bytes.size())) != int64_t(bytes.size()))
        throw EReadError();
    return bytes;
}

// The palette index of each pixel: the reference's own where it shows the same colour at the
// same place, otherwise the nearest palette colour (the lowest index among equals).
std::string MapToPalette(const TTexImage &reference, const std::vector<TTexColour> &palette,
                         const TRgbImage &image)
{
    const bool sameSize = reference.Width == image.Width && reference.Height == image.Height;
    const std::vector<TTexColour> shown = ShownPalette(reference);
    std::unordered_map<uint32_t, uint8_t> nearest;
    std::string indices(image.Pixels.size(), '\0');
    for (size_t i = 0; i < image.Pixels.size(); ++i) {
        const TTexColour &pixel = image.Pixels[i];
        // A reference cut short holds index 0 where its data ends.
        const uint8_t kept = i < reference.Indices.size() ? reference.Indices[i] : 0;
        if (sameSize && shown[kept] == pixel) {
            indices[i] = char(kept);
            continue;
        }
        auto [it, added] = nearest.try_emplace(Key(pixel), 0);
        if (added) {
            int best = INT32_MAX;
            for (size_t p = 0; p < palette.size(); ++p) {
                const int dr = palette[p].Red - pixel.Red, dg = palette[p].Green - pixel.Green,
                          db = palette[p].Blue - pixel.Blue;
                const int distance = dr * dr + dg * dg + db * db;
                if (distance < best) {
                    best = distance;
                    it->second = uint8_t(p);
                }
            }
        }
        indices[i] = char(it->second);
    }
    return indices;
}

template <auto Free>
struct LiqDeleter {
    template <class T>
    void operator()(T *p) const
    {
        Free(p);
    }
};

// At most maxColours colours for image, chosen by the palette library, and every pixel's index.
std::pair<std::vector<TTexColour>, std::string> NewPalette(const TRgbImage &image, int maxColours)
{
    // The palette library makes no palette of one colour; that one is the picture's mean.
    if (maxColours <= 1) {
        uint64_t sum[3] = {0, 0, 0};
        for (const TTexColour &c : image.Pixels) {
            sum[0] += c.Red;
            sum[1] += c.Green;
            sum[2] += c.Blue;
        }
        const uint64_t n = std::max<uint64_t>(1, image.Pixels.size());
        const TTexColour mean{uint8_t((sum[0] + n / 2) / n), uint8_t((sum[1] + n / 2) / n),
                              uint8_t((sum[2] + n / 2) / n)};
        return {{mean}, std::string(image.Pixels.size(), '\0')};
    }
#if KVB_HAVE_IMAGEQUANT
    std::vector<unsigned char> rgba(image.Pixels.size() * 4);
    for (size_t i = 0; i < image.Pixels.size(); ++i) {
        rgba[4 * i] = image.Pixels[i].Red;
        rgba[4 * i + 1] = image.Pixels[i].Green;
        rgba[4 * i + 2] = image.Pixels[i].Blue;
        rgba[4 * i + 3] = 255;
    }
    std::unique_ptr<liq_attr, LiqDeleter<liq_attr_destroy>> attr(liq_attr_create());
    if (!attr || liq_set_max_colors(attr.get(), maxColours) != LIQ_OK)
        throw EKVBError("The palette library cannot be set up");
    std::unique_ptr<liq_image, LiqDeleter<liq_image_destroy>> liqImage(
        liq_image_create_rgba(attr.get(), rgba.data(), image.Width, image.Height, 0));
    liq_result *raw = nullptr;
    if (!liqImage || liq_image_quantize(liqImage.get(), attr.get(), &raw) != LIQ_OK)
        throw EKVBError("The palette library cannot find a palette for the image");
    std::unique_ptr<liq_result, LiqDeleter<liq_result_destroy>> result(raw);
    // Textures are mostly small pictures seen close up; dithering would speckle them.
    liq_set_dithering_level(result.get(), 0.0f);
    std::string indices(image.Pixels.size(), '\0');
    if (liq_write_remapped_image(result.get(), liqImage.get(), indices.data(), indices.size()) != LIQ_OK)
        throw EKVBError("The palette library cannot map the image to its palette");
    const liq_palette *found = liq_get_palette(result.get());
    std::vector<TTexColour> palette;
    for (unsigned i = 0; i < found->count; ++i)
        palette.push_back({found->entries[i].r, found->entries[i].g, found->entries[i].b});
    return {palette, indices};
#else
    throw EKVBError("A new palette of more than one colour needs the palette library, which "
                    "this build lacks; without --new-palette the reference's palette is used");
#endif
}

} // namespace

std::string EncodeTex(const std::string &reference, const std::string &referenceName,
                      const TRgbImage &image, bool newPalette)
{
    if (reference.size() < size_t(kTexImageDataPosition))
        throw EKVBError("Texture " + referenceName + " cannot serve as a reference: it has " +
                        std::to_string(reference.size()) + " bytes, and a texture's header alone has " +
                        std::to_string(kTexImageDataPosition));
    TMemoryStream stream(reference);
    const TTexImage old = ReadTexture(stream, referenceName);
    const uint32_t count = uint32_t(GetInt32LE(reference.data() + kTexPaletteCountPosition));
    const bool sameSize = old.Width == image.Width && old.Height == image.Height;
    const size_t pixels = size_t(image.Width) * size_t(image.Height);

    std::string out = reference.substr(0, size_t(kTexImageDataPosition));
    PutInt32LE(out.data() + kTexWidthPosition, image.Width);
    PutInt32LE(out.data() + kTexHeightPosition, image.Height);
    int64_t oldEnd = kTexImageDataPosition;

    if (old.Format == TTexFormat::Direct555) {
        oldEnd += 2 * int64_t(old.Width) * old.Height;
        out.reserve(out.size() + 2 * pixels);
        for (int32_t y = 0; y < image.Height; ++y)
            for (int32_t x = 0; x < image.Width; ++x) {
                const TTexColour &c = image.At(x, y);
                // Bit 15 carries no colour; what the reference kept there stays.
                const uint16_t spare = sameSize ? (old.ColourAt(x, y) & 0x8000) : 0;
                const uint16_t value =
                    uint16_t(spare | To5(c.Red) << 10 | To5(c.Green) << 5 | To5(c.Blue));
                out += char(value & 0xFF);
                out += char(value >> 8);
            }
    } else {
        const int64_t paletteBytes = kTexPaletteEntrySize * int64_t(count);
        oldEnd += paletteBytes + int64_t(old.Width) * old.Height;
        std::string palette = reference.substr(size_t(kTexImageDataPosition), size_t(paletteBytes));
        std::string indices;
        if (newPalette) {
            auto [colours, mapped] = NewPalette(image, int(count));
            palette.clear();
            for (const TTexColour &c : colours)
                palette += {char(c.Blue), char(c.Green), char(c.Red), '\0'};
            PutInt32LE(out.data() + kTexPaletteCountPosition, int32_t(colours.size()));
            indices = std::move(mapped);
        } else {
            indices = MapToPalette(old, old.Palette, image);
        }
        out += palette;
        out += indices;
    }
    if (oldEnd < int64_t(reference.size()))
        out += reference.substr(size_t(oldEnd));
    return out;
}

bool PngKeepsTexture(TStream &source)
{
    try {
        const TTexRowReader reader(source, kTexImageDataPosition);
        const TTexImage &image = reader.Image();
        return image.Width > 0 && image.Height > 0 && image.Complete();
    } catch (const EKVBError &) {
        return false;
    }
}

bool NewPalettesAvailable()
{
    return KVB_HAVE_IMAGEQUANT != 0;
}

TMadeTexture MakeTexFromBytes(const std::string &reference, const std::string &referenceName,
                              const std::string &png, const std::string &pngName, bool newPalette)
{
    const TRgbImage picture = DecodePng(png, pngName);
    TMadeTexture made;
    made.Bytes = EncodeTex(reference, referenceName, picture, newPalette);

    // The texture read back, pixel by pixel against the picture.
    TMemoryStream stream(made.Bytes);
    const TTexImage texture = TexToBitmap(stream, kTexImageDataPosition);
    const TShownPixels shown(texture);
    const int rounding = texture.Format == TTexFormat::Direct555 ? 4 : 0;
    made.Change.Of = int64_t(picture.Pixels.size());
    for (size_t i = 0; i < picture.Pixels.size(); ++i) {
        const TTexColour want = picture.Pixels[i], got = shown[i];
        const int difference = std::max({std::abs(want.Red - got.Red), std::abs(want.Green - got.Green),
                                         std::abs(want.Blue - got.Blue)});
        if (difference > rounding) {
            ++made.Change.Pixels;
            made.Change.Largest = std::max(made.Change.Largest, difference);
        }
    }
    return made;
}

TMadeTexture MakeTex(const std::string &referenceFile, const std::string &pngFile, bool newPalette)
{
    return MakeTexFromBytes(ReadWhole(referenceFile), referenceFile, ReadWhole(pngFile), pngFile,
                            newPalette);
}

std::string ColourChangeText(const TColourChange &change, const std::string &pngName)
{
    return std::to_string(change.Pixels) + " of the " + std::to_string(change.Of) + " pixels of " +
           pngName + " would change colour, by up to " + std::to_string(change.Largest) +
           " of 255 in red, green or blue, because the texture's palette lacks their colours.";
}

void WriteTex(const TMadeTexture &texture, const std::string &referenceFile, const std::string &pngFile,
              const std::string &texFile)
{
    TFileStream referenceStream(referenceFile, TFileStream::Mode::OpenRead);
    TFileStream pngStream(pngFile, TFileStream::Mode::OpenRead);
    TOutputFile output(texFile, TOutputKind::Whole, {&referenceStream, &pngStream});
    output.Stream().WriteBuffer(texture.Bytes.data(), int64_t(texture.Bytes.size()));
    output.Commit();
}

void PngToTex(const std::string &referenceFile, const std::string &pngFile, const std::string &texFile,
              bool newPalette)
{
    WriteTex(MakeTex(referenceFile, pngFile, newPalette), referenceFile, pngFile, texFile);
}

} // namespace kvb
