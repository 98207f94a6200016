// The loadable module behind kvb tex2png and kvb midi2wav.
#include "cli/media_module.h"

#include "platform/errors.h"
#include "platform/fluidsynth_player.h"
#include "platform/output_file.h"
#include "platform/stream.h"
#include "preview/tex.h"
#include "qt/tex_image.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

namespace kvb::cli {

namespace {

void TexToPng(const std::string &texFile, const std::string &pngFile)
{
    TFileStream source(texFile, TFileStream::Mode::OpenRead);
    const TTexImage texture = TexToBitmap(source, kTexImageDataPosition);
    if (texture.Width == 0 || texture.Height == 0)
        throw EKVBError("Texture " + texFile + " has no pixels (" + std::to_string(texture.Width) +
                        " x " + std::to_string(texture.Height) + "), and a PNG needs at least one");
    // Encoded in memory, so that the file is written like every other output of the program.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!TexImageToQImage(texture).save(&buffer, "PNG"))
        throw EFCreateError(pngFile);
    TOutputFile output(pngFile, TOutputKind::Whole, {&source});
    output.Stream().WriteBuffer(png.constData(), png.size());
    output.Commit();
}

void MidiToWav(const std::string &midiFile, const std::string &wavFile, int maxMinutes)
{
    try {
        RenderMidiToWav(midiFile, wavFile, FluidSynthSetup::FromEnvironment(), maxMinutes);
    } catch (const EMidiTooLong &e) {
        // Long music is not always a broken file; the user needs to know the way past the limit.
        throw EKVBError(std::string(e.what()) + " (--max-minutes allows more)");
    }
}

constexpr TMediaCommands kCommands{TexToPng, MidiToWav};

} // namespace

} // namespace kvb::cli

extern "C" __attribute__((visibility("default"))) const kvb::cli::TMediaCommands *
KvbMediaCommands()
{
    return &kvb::cli::kCommands;
}
