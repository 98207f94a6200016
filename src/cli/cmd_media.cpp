// kvb midi2wav, tex2png: the preview's decoders as commands. Their work is done in the media
// module, loaded here only when one of them runs.
#include "cli/commands.h"

#include "cli/media_module.h"
#include "platform/fluidsynth_player.h"

#include <memory>

namespace kvb::cli {

void RegisterMediaCommands(CLI::App &app)
{
    struct Args {
        std::string input, output;
        std::string maxMinutes = std::to_string(kDefaultMaxRenderMinutes);
    };
    auto args = std::make_shared<Args>();

    auto *midi2wav = app.add_subcommand(
        "midi2wav", "Render a MIDI file to a WAV file as the preview would play it");
    midi2wav->add_option("MIDFILE", args->input)->required();
    midi2wav->add_option("WAVFILE", args->output)->required();
    midi2wav
        ->add_option("--max-minutes", args->maxMinutes,
                     "Stop with an error once the music plays for longer than this")
        ->type_name("MINUTES")
        ->capture_default_str()
        ->check(DecimalNumber(1, INT32_MAX, "a whole number of minutes, 1 or more,"));
    midi2wav->callback([args] {
        MediaCommands().MidiToWav(args->input, args->output, int(*ParseDecimal(args->maxMinutes)));
    });

    auto *tex2png = app.add_subcommand("tex2png", "Decode a TEX texture and write it as a PNG");
    tex2png->add_option("TEXFILE", args->input)->required();
    tex2png->add_option("PNGFILE", args->output)->required();
    tex2png->callback([args] { MediaCommands().TexToPng(args->input, args->output); });
}

} // namespace kvb::cli
