// TexToBitmap on any bytes at the image-data position the preview uses. A finding is a crash, a
// sanitizer report, an allocation beyond libFuzzer's limit, or an image that disagrees with the
// file: its size and format, its palette, or any pixel (pixels without data must be 0 and cost no
// memory). The gallery's thumbnail, made from the file a few rows at a time, must be the one drawn
// from the decoded image.
#include "archive/format.h"
#include "fuzz_support.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "preview/png_image.h"
#include "preview/tex.h"
#include "preview/thumbnail.h"

#include <algorithm>
#include <string>
#include <string_view>

using namespace kvb;
using kvb::fuzz::Check;

namespace {

void CheckImage(const TTexImage &image, std::string_view file)
{
    const int64_t p = kTexImageDataPosition;
    const auto byteAt = [&](int64_t i) -> unsigned {
        return i < int64_t(file.size()) ? uint8_t(file[size_t(i)]) : 0u;
    };
    Check(image.Width == GetInt32LE(file.data() + 60) && image.Height == GetInt32LE(file.data() + 64),
          "the size is the header's");
    const auto count = uint32_t(GetInt32LE(file.data() + 88));
    const size_t pixels = size_t(image.Width) * size_t(image.Height);

    if (count == 0) {
        Check(image.Format == TTexFormat::Direct555 && image.Colours.size() == pixels &&
                  image.Indices.empty() && image.Palette.empty(),
              "a count of 0 gives a 16-bit image");
        for (size_t k = 0; k < pixels; ++k)
            Check(image.Colours[k] == (byteAt(p + 2 * int64_t(k)) | byteAt(p + 2 * int64_t(k) + 1) << 8),
                  "16-bit pixels are the file's values", std::to_string(k));
        return;
    }
    Check(image.Format == TTexFormat::Palettised8 && image.Palette.size() == count &&
              image.Colours.empty(),
          "a palette count gives an 8-bit image with that many colours");
    for (uint32_t i = 0; i < count; ++i) {
        const int64_t e = p + 4 * int64_t(i);
        Check(image.Palette[i] ==
                  TTexColour{uint8_t(byteAt(e + 2)), uint8_t(byteAt(e + 1)), uint8_t(byteAt(e))},
              "palette entries are blue, green, red", std::to_string(i));
    }
    // Large images of few bytes are legal, so the pixels are compared by range, not one by one.
    const int64_t first = p + 4 * int64_t(count);
    const size_t there = size_t(std::clamp<int64_t>(int64_t(file.size()) - first, 0, int64_t(pixels)));
    // Only the rows the file holds data for are stored; the rest read as 0 without memory.
    const size_t heldRows = image.Width == 0 ? 0
                                             : (there + size_t(image.Width) - 1) / size_t(image.Width);
    Check(image.HeldPixels == int64_t(there) && image.Indices.size() == heldRows * size_t(image.Width),
          "only the rows the file holds are stored");
    Check(image.Height == 0 || image.Width == 0 ||
              image.IndexAt(image.Width - 1, image.Height - 1) ==
                  (there == pixels ? image.Indices.back() : 0),
          "pixels past the stored rows read as 0");
    Check(std::equal(image.Indices.begin(), image.Indices.begin() + there,
                     reinterpret_cast<const uint8_t *>(file.data()) + (there ? first : 0)),
          "pixel indices are the file's bytes");
    Check(std::all_of(image.Indices.begin() + there, image.Indices.end(),
                      [](uint8_t i) { return i == 0; }),
          "pixels without data are 0");
    const auto shown = ShownPalette(image);
    Check(std::all_of(image.Indices.begin(), image.Indices.end(),
                      [&](uint8_t i) { return i < shown.size(); }),
          "every pixel has a colour to show");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string_view file(reinterpret_cast<const char *>(data), size);
    TMemoryStream stream{std::string(file)};
    try {
        TTexImage image = TexToBitmap(stream, kTexImageDataPosition);
        CheckImage(image, file);
        if (image.Width > 0 && image.Height > 0) {
            constexpr int kSide = 16;
            TMemoryStream again{std::string(file)};
            const TThumbnail made = MakeThumbnail(again, kTexImageDataPosition, kSide);
            const TRgbImage drawn = TexThumbnail(image, kSide);
            Check(made.Width == drawn.Width && made.Height == drawn.Height &&
                      made.Pixels.size() == drawn.Pixels.size(),
                  "the thumbnail read a row at a time has the decoded image's size");
            for (size_t k = 0; k < made.Pixels.size(); ++k) {
                const TTexColour &c = drawn.Pixels[k];
                Check(made.Pixels[k] == (0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue),
                      "the thumbnail read a row at a time is the decoded image's", std::to_string(k));
            }
        }
    } catch (const EKVBError &) {
        // Refusing a damaged or hostile texture with the library's own error is expected.
    }
    return 0;
}
