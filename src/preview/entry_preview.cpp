#include "preview/entry_preview.h"

#include "platform/errors.h"
#include "archive/extract.h"
#include "platform/stream.h"
#include "platform/media_player.h"
#include "platform/encoding.h"
#include "platform/file_attributes.h"
#include "platform/temp_dir.h"

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

} // namespace

std::string PreviewTempFile;

void DeletePreviewTempFile()
{
    // A file that cannot be deleted stays behind; whoever asked goes on regardless.
    if (!PreviewTempFile.empty())
        RemoveFile(PreviewTempFile);
}

std::string ExtractToWorkFile(const TKVBFile &catalogue, int32_t index, const std::string &extension)
{
    const std::string path = GetTempDir() + "entry" + extension;
    TFileStream archive(catalogue.FileName(), TFileStream::Mode::OpenRead);
    ExtractEntry(archive, catalogue.GetEntry(index), path);
    return path;
}

std::string ExtractToDragFile(const TKVBFile &catalogue, int32_t index)
{
    const TKVB_Entry entry = catalogue.GetEntry(index);
    CheckSafeEntryName(entry.Name, "extracted");
    // A folder of its own for each drag: the file must carry the entry's name, and an earlier
    // drag's file of that name may still be in a file manager's hands.
    const std::string path = NewTempSubfolder() + Cp1252ToUtf8(entry.Name);
    TFileStream archive(catalogue.FileName(), TFileStream::Mode::OpenRead);
    ExtractEntry(archive, entry, path);
    return path;
}

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
        throw EUnusableNameError(caption, "previewed");

    ReleasePlayer(player);
    DeletePreviewTempFile();
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
