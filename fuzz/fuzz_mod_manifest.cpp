// ParseModManifest on any text, as the manifest of a mod package from anyone is read. A finding
// is a crash, a sanitizer report, a run past the time limit, or a manifest read that does not
// come back the same through its own text.
#include "fuzz_support.h"
#include "platform/errors.h"
#include "tools/mod_manifest.h"

#include <string>

using namespace kvb;
using kvb::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        const TModManifest read =
            ParseModManifest(std::string_view(reinterpret_cast<const char *>(data), size),
                             "Mod package M");
        const std::string text = ModManifestText(read);
        Check(ModManifestText(ParseModManifest(text, "Mod package M")) == text,
              "mod manifest text round trip");
    } catch (const EKVBError &) {
        // Refused with a message, as it should be.
    }
    return 0;
}
