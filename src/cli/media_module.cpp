// The loadable module behind kvb tex2png and kvb midi2wav.
#include "cli/media_module.h"

#include "platform/errors.h"
#include "platform/fluidsynth_player.h"
#include "preview/tex.h"
#include "qt/tex_image.h"

#include <QByteArray>
#include <QFile>
#include <QImage>

namespace kvb::cli {

namespace {

void TexToPng(const std::string &texFile, const std::string &pngFile)
{
    const TTexImage texture = ReadTexFile(texFile);
    if (texture.Width == 0 || texture.Height == 0)
        throw EKVBError("Texture " + texFile + " has no pixels (" + std::to_string(texture.Width) +
                        " x " + std::to_string(texture.Height) + "), and a PNG needs at least one");
    // File names are bytes on disk; decodeName keeps any that are not valid UTF-8.
    QString target = QFile::decodeName(QByteArray::fromStdString(pngFile));
    if (!TexImageToQImage(texture).save(target, "PNG"))
        throw EFCreateError(pngFile);
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
