// kvb midi2wav.
#include "cli/commands.h"

#include "platform/fluidsynth_player.h"

#include <memory>

namespace kvb::cli {

void RegisterMediaCommands(CLI::App &app)
{
    struct Args {
        std::string midiFile, wavFile;
    };
    auto args = std::make_shared<Args>();

    auto *midi2wav = app.add_subcommand(
        "midi2wav", "Render a MIDI file to a WAV file as the preview would play it");
    midi2wav->add_option("MIDFILE", args->midiFile)->required();
    midi2wav->add_option("WAVFILE", args->wavFile)->required();
    midi2wav->callback([args] {
        RenderMidiToWav(args->midiFile, args->wavFile, FluidSynthSetup::FromEnvironment());
    });
}

} // namespace kvb::cli
