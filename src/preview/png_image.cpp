#include "preview/png_image.h"

#include "platform/errors.h"
#include "platform/output_file.h"
#include "platform/stream.h"
#include "preview/png_writer.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace kvb {

TTexColour Shown555(uint16_t value)
{
    auto expand = [](unsigned v) { return uint8_t((v << 3) | (v >> 2)); };
    return TTexColour{expand((value >> 10) & 31), expand((value >> 5) & 31), expand(value & 31)};
}

TShownPixels::TShownPixels(const TTexImage &image) : image_(image)
{
    if (image.Format == TTexFormat::Palettised8)
        palette_ = ShownPalette(image);
}

TTexColour TShownPixels::operator[](size_t pixel) const
{
    if (image_.Format == TTexFormat::Palettised8)
        return palette_[pixel < image_.Indices.size() ? image_.Indices[pixel] : 0];
    return Shown555(image_.Colours[pixel]);
}

TRgbImage TexImageToRgb(const TTexImage &image)
{
    TRgbImage rgb;
    rgb.Width = image.Width;
    rgb.Height = image.Height;
    rgb.Pixels.resize(size_t(image.Width) * size_t(image.Height));
    const TShownPixels shown(image);
    for (size_t i = 0; i < rgb.Pixels.size(); ++i)
        rgb.Pixels[i] = shown[i];
    return rgb;
}

namespace {

// Writes height rows, each made by row(y, rgb) into width x 3 bytes, as a PNG into sink.
template <typename TRow>
void WritePng(int32_t width, int32_t height, const TPngWriter::TSink &sink, TRow &&row)
{
    TPngWriter writer(width, height, sink);
    std::vector<uint8_t> rgb(size_t(width) * 3);
    for (int32_t y = 0; y < height; ++y) {
        row(y, rgb.data());
        writer.WriteRow(rgb.data());
    }
    writer.Finish();
}

void PutColour(uint8_t *rgb, const TTexColour &colour)
{
    rgb[0] = colour.Red;
    rgb[1] = colour.Green;
    rgb[2] = colour.Blue;
}

TPngWriter::TSink SinkInto(TStream &stream)
{
    return [&stream](const char *bytes, size_t size) { stream.WriteBuffer(bytes, int64_t(size)); };
}

} // namespace

std::string EncodePng(const TRgbImage &image)
{
    std::string png;
    const auto sink = [&png](const char *bytes, size_t size) { png.append(bytes, size); };
    WritePng(image.Width, image.Height, sink, [&image](int32_t y, uint8_t *rgb) {
        for (int32_t x = 0; x < image.Width; ++x)
            PutColour(rgb + 3 * size_t(x), image.At(x, y));
    });
    return png;
}

TRgbImage ThumbnailOfRows(int32_t width, int32_t height, int size,
                          const std::function<const TTexColour *(int32_t y)> &rowAt)
{
    const int longer = std::max(width, height);
    TRgbImage out;
    out.Width = std::max(1, int(int64_t(width) * size / longer));
    out.Height = std::max(1, int(int64_t(height) * size / longer));
    out.Pixels.resize(size_t(out.Width) * size_t(out.Height));
    // The source pixels at most kSamples apart, evenly spread over the block [first, end): all
    // of a small block, a grid over a large one.
    constexpr int kSamples = 4;
    const auto spread = [](int first, int end, int k, int n) {
        return first + int((int64_t(2 * k + 1) * (end - first)) / (2 * n));
    };
    // The source rows and columns that make up a pixel: one when enlarging, several when
    // shrinking. The columns are the same for every row.
    const auto block = [](int i, int source, int shown) {
        const int first = int(int64_t(i) * source / shown);
        return std::pair{first, std::max(first + 1, int(int64_t(i + 1) * source / shown))};
    };
    std::vector<std::pair<int, int>> columns;
    for (int x = 0; x < out.Width; ++x)
        columns.push_back(block(x, width, out.Width));
    std::vector<unsigned> sums(size_t(out.Width) * 3);
    for (int y = 0; y < out.Height; ++y) {
        const auto [y0, y1] = block(y, height, out.Height);
        const int ny = std::min(kSamples, y1 - y0);
        std::fill(sums.begin(), sums.end(), 0u);
        for (int ky = 0; ky < ny; ++ky) {
            const TTexColour *row = rowAt(spread(y0, y1, ky, ny));
            for (int x = 0; x < out.Width; ++x) {
                const auto [x0, x1] = columns[size_t(x)];
                const int nx = std::min(kSamples, x1 - x0);
                unsigned *sum = &sums[size_t(x) * 3];
                for (int kx = 0; kx < nx; ++kx) {
                    const TTexColour c = row[spread(x0, x1, kx, nx)];
                    sum[0] += c.Red;
                    sum[1] += c.Green;
                    sum[2] += c.Blue;
                }
            }
        }
        for (int x = 0; x < out.Width; ++x) {
            const unsigned n = unsigned(std::min(kSamples, columns[size_t(x)].second - columns[size_t(x)].first) * ny);
            const unsigned *sum = &sums[size_t(x) * 3];
            out.Pixels[size_t(y) * size_t(out.Width) + size_t(x)] =
                TTexColour{uint8_t((sum[0] + n / 2) / n), uint8_t((sum[1] + n / 2) / n),
                           uint8_t((sum[2] + n / 2) / n)};
        }
    }
    return out;
}

TRgbImage TexThumbnail(const TTexImage &image, int size)
{
    const bool palettised = image.Format == TTexFormat::Palettised8;
    const std::vector<TTexColour> palette = palettised ? ShownPalette(image) : std::vector<TTexColour>();
    std::vector<TTexColour> line(size_t(image.Width));
    return ThumbnailOfRows(image.Width, image.Height, size, [&](int32_t y) {
        for (int32_t x = 0; x < image.Width; ++x)
            line[size_t(x)] = palettised ? palette[image.IndexAt(x, y)] : Shown555(image.ColourAt(x, y));
        return line.data();
    });
}

namespace {

// A PNG needs at least one pixel.
void CheckHasPixels(const TTexImage &texture, const std::string &texName)
{
    if (texture.Width == 0 || texture.Height == 0)
        throw EKVBError("Texture " + texName + " has no pixels (" + std::to_string(texture.Width) +
                        " x " + std::to_string(texture.Height) + "), and a PNG needs at least one");
}

} // namespace

void WriteTexRowsAsPng(TTexRowReader &reader, const std::string &texName,
                       const std::function<void(const char *bytes, size_t size)> &sink)
{
    const TTexImage &texture = reader.Image();
    CheckHasPixels(texture, texName);
    // Every index has a colour: the palette's, then black.
    std::array<TTexColour, 256> palette{};
    std::copy(texture.Palette.begin(), texture.Palette.end(), palette.begin());
    const size_t width = size_t(texture.Width);
    std::vector<uint8_t> indices(texture.Format == TTexFormat::Palettised8 ? width : 0);
    std::vector<uint16_t> colours(texture.Format == TTexFormat::Direct555 ? width : 0);

    TPngWriter writer(texture.Width, texture.Height, sink);
    std::vector<uint8_t> rgb(width * 3);
    // Once a row is read with no data left before it, every row after it is the same.
    bool rowsWithoutData = false;
    for (int32_t y = 0; y < texture.Height; ++y) {
        if (rowsWithoutData) {
            writer.RepeatRow();
            continue;
        }
        rowsWithoutData = reader.UnreadPixels() == 0;
        try {
            if (texture.Format == TTexFormat::Palettised8) {
                reader.ReadRows(indices.data(), 1);
                for (size_t x = 0; x < width; ++x)
                    PutColour(&rgb[3 * x], palette[indices[x]]);
            } else {
                reader.ReadRows(colours.data(), 1);
                for (size_t x = 0; x < width; ++x)
                    PutColour(&rgb[3 * x], Shown555(colours[x]));
            }
        } catch (const EReadError &e) {
            throw EReadError("Reading texture " + texName + ": " + e.Detail());
        }
        writer.WriteRow(rgb.data());
    }
    writer.Finish();
}

namespace {

// The texture in source, written as a PNG a row at a time straight from the file: what this
// holds is a row and the writer's state, whatever size the texture claims. Pixels the file
// holds no data for are index 0, as the preview shows them.
void StreamTexAsPng(TFileStream &source, const std::string &texFile, const std::string &pngFile)
{
    std::optional<TTexRowReader> reader;
    try {
        reader.emplace(source, kTexImageDataPosition);
    } catch (const EReadError &e) {
        throw EReadError("Reading texture " + texFile + ": " + e.Detail());
    }
    const TTexImage &texture = reader->Image();
    CheckHasPixels(texture, texFile);
    TOutputFile output(pngFile, TOutputKind::Whole, {&source});
    WriteTexRowsAsPng(*reader, texFile, SinkInto(output.Stream()));
    output.Commit();
}

} // namespace

void TexFileToPngFile(const std::string &texFile, const std::string &pngFile, int size)
{
    TFileStream source(texFile, TFileStream::Mode::OpenRead);
    if (size <= 0) {
        StreamTexAsPng(source, texFile, pngFile);
        return;
    }
    const TTexImage texture = ReadTexture(source, texFile);
    CheckHasPixels(texture, texFile);
    const std::string png = EncodePng(TexThumbnail(texture, size));
    TOutputFile output(pngFile, TOutputKind::Whole, {&source});
    output.Stream().WriteBuffer(png.data(), int64_t(png.size()));
    output.Commit();
}

void WriteTexImageAsPng(const TTexImage &texture, const std::string &pngFile)
{
    if (texture.Width == 0 || texture.Height == 0)
        throw EKVBError("The texture has no pixels, and a PNG needs at least one");
    const TShownPixels shown(texture);
    const size_t width = size_t(texture.Width);
    TOutputFile output(pngFile, TOutputKind::Whole);
    WritePng(texture.Width, texture.Height, SinkInto(output.Stream()), [&](int32_t y, uint8_t *rgb) {
        for (size_t x = 0; x < width; ++x)
            PutColour(rgb + 3 * x, shown[size_t(y) * width + x]);
    });
    output.Commit();
}

} // namespace kvb
