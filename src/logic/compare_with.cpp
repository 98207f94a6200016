// The main window's "Compare with...": the open archive compared with a second one as long work,
// the differences shown in the compare window, and the previews it asks for: an entry of
// either archive as the entry list previews it, a changed texture as its old and new pictures.
#include "logic/main_window.h"

#include "archive/info_lines.h"
#include "logic/preview_window.h"
#include "media/media_player.h"
#include "platform/paths.h"
#include "preview/entry_preview.h"
#include "preview/tex.h"
#include "tools/diff.h"

namespace kvb::logic {

namespace {

bool HasPixels(const TTexImage &texture)
{
    return texture.Width > 0 && texture.Height > 0;
}

std::string SizeText(const TTexImage &texture)
{
    return std::to_string(texture.Width) + " x " + std::to_string(texture.Height);
}

} // namespace

void TKVBEditorLogic::mnuCompareWithClick()
{
    if (!catalogue_) {
        dialogs_.Notice("No archive is open. Open a KVB file first!");
        return;
    }
    // Chosen as "Open KVB" chooses an archive.
    const std::optional<std::string> other = dialogs_.OpenFile(opnKVB);
    if (!other)
        return;
    const std::string archive = catalogue_->FileName();
    const std::string otherName = FileNameOf(*other);

    // Both archives read whole, their data compared: long for large ones.
    TArchiveDiff diff;
    if (!work_.Run(
            [&] {
                diff = DiffArchives(archive, *other, [this](int32_t position, int32_t maximum) {
                    ShowProgress(position, maximum);
                });
            },
            "Comparing " + openedFileName_ + " with " + otherName + "...")) {
        view_.SetStatus("Cancelled: " + openedFileName_ + " was not compared with " + otherName + ".");
        return;
    }
    if (!diff.Notes.empty())
        dialogs_.Notice(JoinLines(diff.Notes));
    if (diff.SameFile) {
        dialogs_.Notice(otherName + " is the archive that is open (" + openedFileName_ +
                        "): there is nothing to compare it with.");
        return;
    }
    if (diff.Same()) {
        dialogs_.Notice(openedFileName_ + " and " + otherName +
                        " hold the same entries with the same data, and the same header, validation "
                        "block and description.");
        return;
    }
    frmCompare_->ShowComparison(std::move(diff), archive, *other, *this);
}

bool TKVBEditorLogic::MusicPlaying() const
{
    return Media.QueryMode() == MediaMode::Playing;
}

void TKVBEditorLogic::PreviewTextures(const TKVBFile &oldCatalogue, int32_t oldIndex,
                                      const std::string &oldName, const TKVBFile &newCatalogue,
                                      int32_t newIndex, const std::string &newName)
{
    // As for a texture of the entry list, the music stops first.
    ReleasePlayer();
    // Each decoded as soon as it is out: both go through the one work file.
    const TTexImage oldTexture = ReadTexFile(ExtractToWorkFile(oldCatalogue, oldIndex, ".TEX"));
    const TTexImage newTexture = ReadTexFile(ExtractToWorkFile(newCatalogue, newIndex, ".TEX"));
    const std::string entry = ShownText(newCatalogue.GetEntry(newIndex).Name);

    // A version without pixels would vanish from the window without a word.
    if (!HasPixels(oldTexture) || !HasPixels(newTexture)) {
        const bool oldShown = HasPixels(oldTexture);
        dialogs_.Notice(std::string(oldShown ? "The new" : "The old") + " texture has no pixels (" +
                        SizeText(oldShown ? newTexture : oldTexture) + ")" +
                        (oldShown || HasPixels(newTexture) ? "; only the other one is shown."
                                                           : ", nor has the other: nothing to show."));
        if (oldShown || HasPixels(newTexture))
            frmTexView_->ShowTexture(oldShown ? oldTexture : newTexture, entry);
        return;
    }
    frmTexView_->ShowComparison(oldTexture, oldName, newTexture, newName, entry);
}

} // namespace kvb::logic
