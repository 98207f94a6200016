// SummariseMidi on any bytes, as the player and midi2wav read a file before FluidSynth sees it.
// A finding is a crash, a sanitizer report, an allocation beyond libFuzzer's limit, a run past
// its time limit, or a summary that breaks its promises.
#include "fuzz_support.h"
#include "media/midi_file.h"
#include "platform/errors.h"

#include <cmath>
#include <string>

using namespace kvb;
using kvb::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        const TMidiSummary summary =
            SummariseMidi(std::string(reinterpret_cast<const char *>(data), size), "in.mid");
        Check(summary.Tracks >= 1 && summary.Tracks <= kMaxPlayableMidiTracks,
              "a summarised file has tracks FluidSynth plays");
        Check(std::isfinite(summary.Seconds) && summary.Seconds >= 0, "the length is a time");
    } catch (const EKVBError &) {
        // Refusing what FluidSynth would not play whole, with the library's own error, is expected.
    }
    return 0;
}
