// ParseManifest on any text, as a manifest edited by hand or planted in an export's folder is
// read. A finding is a crash, a sanitizer report, a run past the time limit, or a manifest read
// that does not come back the same through its own text.
#include "fuzz_support.h"
#include "platform/errors.h"
#include "tools/manifest.h"

#include <string>

using namespace kvb;
using kvb::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        const TManifest read =
            ParseManifest(std::string_view(reinterpret_cast<const char *>(data), size), "Manifest M");
        const std::string text = ManifestText(read);
        Check(ManifestText(ParseManifest(text, "Manifest M")) == text, "manifest text round trip");
    } catch (const EKVBError &) {
        // Refused with a message, as it should be.
    }
    return 0;
}
