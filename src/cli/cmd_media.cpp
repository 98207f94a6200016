// kvb midi2wav, tex2png, png2tex: the preview's decoders as commands, and the way back to a
// texture. midi2wav runs in the media module, loaded only when it runs; a build without
// FluidSynth has no midi2wav but says so.
#include "cli/commands.h"

#include "media/fluidsynth_player.h"
#include "platform/errors.h"
#include "preview/png_image.h"
#include "preview/tex_encode.h"

#if KVB_WITH_MEDIA_MODULE
#include "cli/media_module.h"
#endif

#include <memory>

namespace kvb::cli {

void RegisterMediaCommands(CLI::App &app)
{
    struct Args {
        std::string input, output, reference;
        bool newPalette = false;
        std::string maxMinutes = std::to_string(kDefaultMaxRenderMinutes);
        std::string size = "0";
    };
    auto args = std::make_shared<Args>();

    auto *midi2wav =
        app.add_subcommand("midi2wav", "Render a MIDI file to a WAV file as the preview would play it");
    midi2wav->add_option("MIDFILE", args->input, "The MIDI file to render")->required();
    midi2wav->add_option("WAVFILE", args->output, "The WAV file to write")->required();
    midi2wav
        ->add_option("--max-minutes", args->maxMinutes,
                     "Stop with an error once the music plays for longer than this")
        ->type_name("MINUTES")
        ->capture_default_str()
        ->check(DecimalNumber(1, INT32_MAX, "a whole number of minutes, 1 or more,"));
    midi2wav->callback([args] {
#if KVB_WITH_MEDIA_MODULE
        MediaCommands().MidiToWav(args->input, args->output, int(*ParseDecimal(args->maxMinutes)));
#else
        throw EKVBError("midi2wav is not available in this build of kvb: it needs FluidSynth, "
                        "which this build lacks");
#endif
    });

    auto *tex2png = app.add_subcommand("tex2png", "Decode a TEX texture and write it as a PNG");
    tex2png->add_option("TEXFILE", args->input, "The texture to decode")->required();
    tex2png->add_option("PNGFILE", args->output, "The PNG file to write")->required();
    tex2png
        ->add_option("--size", args->size,
                     "Scale the picture, keeping its proportions, so that its longer side is "
                     "this many pixels (thumbnails)")
        ->type_name("PIXELS")
        ->check(DecimalNumber(1, kMaxThumbnailSide,
                              "a size in pixels from 1 to " + std::to_string(kMaxThumbnailSide)));
    tex2png->callback(
        [args] { TexFileToPngFile(args->input, args->output, int(*ParseDecimal(args->size))); });

    // Needs neither Qt nor FluidSynth, so it runs without the media module.
    auto *png2tex =
        app.add_subcommand("png2tex", "Encode a PNG as a TEX texture that the game reads like REFERENCE");
    png2tex->add_option("REFERENCE", args->reference, "The texture the new one replaces")->required();
    png2tex->add_option("PNGFILE", args->input, "The picture to encode")->required();
    png2tex->add_option("TEXFILE", args->output, "The texture to write")->required();
    png2tex->add_flag("--new-palette", args->newPalette,
                      "Build a palette of at most the reference's count for the picture, instead "
                      "of mapping it to the reference's palette");
    png2tex->callback([args] { PngToTex(args->reference, args->input, args->output, args->newPalette); });
}

} // namespace kvb::cli
