// The loadable module behind kvb midi2wav.
#include "cli/media_module.h"

#include "media/fluidsynth_player.h"
#include "platform/errors.h"

namespace kvb::cli {

namespace {

void MidiToWav(const std::string &midiFile, const std::string &wavFile, int maxMinutes)
{
    try {
        RenderMidiToWav(midiFile, wavFile, FluidSynthSetup::FromEnvironment(), maxMinutes);
    } catch (const EMidiTooLong &e) {
        // Long music is not always a broken file; the user needs to know the way past the limit.
        throw EKVBError(std::string(e.what()) + " (--max-minutes allows more)");
    }
}

constexpr TMediaCommands kCommands{MidiToWav};

} // namespace

} // namespace kvb::cli

extern "C" __attribute__((visibility("default"))) const kvb::cli::TMediaCommands *KvbMediaCommands()
{
    return &kvb::cli::kCommands;
}
