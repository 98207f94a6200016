// kvb tex2png.
#include "cli/commands.h"

#include "archive/errors.h"
#include "archive/stream.h"
#include "preview/tex.h"
#include "ui/tex_image.h"

#include <QByteArray>
#include <QFile>
#include <QImage>

#include <memory>

namespace kvb::cli {

namespace {

void TexToPng(const std::string &texFile, const std::string &pngFile)
{
    TTexImage texture;
    {
        TFileStream source(texFile, TFileStream::Mode::OpenRead);
        texture = TexToBitmap(source, kTexImageDataPosition);
    }
    if (texture.Width == 0 || texture.Height == 0)
        throw EKVBError("Texture " + texFile + " has no pixels (" + std::to_string(texture.Width) +
                        " x " + std::to_string(texture.Height) + "), and a PNG needs at least one");
    // File names are bytes on disk; decodeName keeps any that are not valid UTF-8.
    QString target = QFile::decodeName(QByteArray::fromStdString(pngFile));
    if (!TexImageToQImage(texture).save(target, "PNG"))
        throw EFCreateError(pngFile);
}

} // namespace

void RegisterPreviewCommands(CLI::App &app)
{
    struct Args {
        std::string texFile, pngFile;
    };
    auto args = std::make_shared<Args>();

    auto *tex2png = app.add_subcommand("tex2png", "Decode a TEX texture and write it as a PNG");
    tex2png->add_option("TEXFILE", args->texFile)->required();
    tex2png->add_option("PNGFILE", args->pngFile)->required();
    tex2png->callback([args] { TexToPng(args->texFile, args->pngFile); });
}

} // namespace kvb::cli
