// DecodePng on any bytes. A finding is a crash, a sanitizer report, an allocation beyond
// libFuzzer's limit, a run past its time limit (inflating beyond the declared pixels), or an
// image whose size disagrees with its header or its pixels.
#include "fuzz_support.h"
#include "platform/errors.h"
#include "preview/png_image.h"

#include <string>

using namespace kvb;
using kvb::fuzz::Check;

namespace {

uint32_t BigEndian32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Large pictures are legal and their pixels cost what they declare; the fuzzer looks for
    // faults, not for the cost of decoding them.
    if (size >= 24 && uint64_t(BigEndian32(data + 16)) * BigEndian32(data + 20) > (uint64_t(1) << 20))
        return 0;
    try {
        const TRgbImage image =
            DecodePng(std::string(reinterpret_cast<const char *>(data), size), "in.png");
        Check(image.Width >= 1 && image.Height >= 1 && image.Width <= kTexMaxSide &&
                  image.Height <= kTexMaxSide,
              "a decoded image has a texture's size");
        Check(image.Width == int32_t(BigEndian32(data + 16)) &&
                  image.Height == int32_t(BigEndian32(data + 20)),
              "the size is the header's");
        Check(image.Pixels.size() == size_t(image.Width) * size_t(image.Height), "every pixel is there");
    } catch (const EKVBError &) {
        // Refusing a damaged PNG with the library's own error is expected.
    }
    return 0;
}
