#include "preview/entry_preview.h"

#include "archive/errors.h"
#include "archive/extract.h"
#include "archive/stream.h"
#include "platform/media_player.h"
#include "preview/temp_dir.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace kvb {

namespace {

// The player may still hold the previous temporary file, so it has to let go of it first.
void ReleasePlayer(MediaPlayer &player)
{
    MediaMode mode = player.QueryMode();
    if (mode == MediaMode::Playing || mode == MediaMode::Paused)
        player.Stop();
    mode = player.QueryMode();
    if (mode == MediaMode::Stopped || mode == MediaMode::Open)
        player.Close();
}

// A file that cannot be deleted stays behind; the preview goes on regardless.
void DeletePreviousTempFile()
{
    if (PreviewTempFile.empty())
        return;
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(PreviewTempFile, ec)))
        fs::remove(PreviewTempFile, ec);
}

} // namespace

std::string PreviewExtension(const std::string &caption)
{
    size_t dot = caption.rfind('.');
    if (dot == std::string::npos || caption.find_first_of("\\:", dot) != std::string::npos)
        return {};
    std::string extension = caption.substr(dot);
    for (char &c : extension)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return extension;
}

void PreviewEntry(const TKVBFile &catalogue, int32_t index, const std::string &caption,
                  MediaPlayer &player, const PreviewCallbacks &callbacks)
{
    const std::string extension = PreviewExtension(caption);
    const bool texture = extension == ".TEX";
    if (!texture && extension != ".MID") {
        callbacks.notice(kCannotPreviewText);
        return;
    }
    // The caption becomes a file name in the private folder and must not lead out of it.
    if (!IsSafeEntryName(caption))
        throw EKVBError("Entry \"" + caption +
                        "\" has a name that cannot be used as a file name; it was not previewed");

    ReleasePlayer(player);
    DeletePreviousTempFile();
    PreviewTempFile = GetTempDir() + caption;

    {
        TFileStream archive(catalogue.FileName(), TFileStream::Mode::OpenRead);
        TKVB_Entry entry = catalogue.GetEntry(index);
        ExtractEntry(archive, entry, PreviewTempFile);
    }

    if (texture) {
        callbacks.showTexture(PreviewTempFile);
    } else {
        player.Open(PreviewTempFile);
        player.Play();
    }
}

} // namespace kvb
