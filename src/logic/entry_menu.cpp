// The main window's entry menu: replace an entry with a file, export a texture as PNG or
// import one, save music as WAV, stop the music. Editing in other programs is edit_with.cpp's.
#include "logic/main_window.h"

#include "archive/extract.h"
#include "archive/info_lines.h"
#include "archive/text.h"
#include "media/media_player.h"
#include "platform/paths.h"
#include "platform/temp_dir.h"
#include "preview/entry_preview.h"
#include "preview/png_image.h"
#include "preview/tex.h"
#include "preview/tex_encode.h"
#include "tools/rebuild.h"

namespace kvb::logic {

void TKVBEditorLogic::ReplaceEntryWith(int index, const std::string &file, const std::string &chosen)
{
    // An archive that cannot be rebuilt is refused before anything is asked.
    PlanReplacement(catalogue_->FileName(), {{index, file}});
    const std::string entry = ShownText(catalogue_->GetEntry(index).Name);
    const std::string question = "The archive file " + openedFileName_ +
                                 " will be rewritten, with the data of entry " + entry + " replaced by " +
                                 FileNameOf(chosen) + ". Everything else stays as it is. Continue?";
    if (!dialogs_.Question(question, "Replace entry"))
        return;
    if (RewriteArchive({{index, file}}))
        view_.SetStatus("Entry " + entry + " replaced; " + openedFileName_ + " was rewritten.");
}

bool TKVBEditorLogic::RewriteArchive(const std::vector<TReplacement> &replacements)
{
    const std::string archive = catalogue_->FileName();
    std::optional<std::string> note;
    const bool done = work_.Run(
        [&] {
            ReplaceEntries(
                archive, replacements, {},
                [this](int32_t position, int32_t maximum) { ShowProgress(position, maximum); }, &note);
        },
        "Rewriting " + openedFileName_ + "...");
    if (note)
        dialogs_.Notice(*note);
    if (!done) {
        view_.SetStatus("Cancelled: " + openedFileName_ + " was left as it was.");
        return false;
    }
    // The archive on disk is a new one: the catalogue is read again, at the same place. The
    // archive stays the open one, with the files being edited from it.
    if (std::unique_ptr<TKVBFile> reread = ReadCatalogue(archive))
        ShowCatalogue(std::move(reread), archive, true);
    ShowRecord(replacements.front().TocIndex);
    return true;
}

void TKVBEditorLogic::mnuReplaceClick()
{
    const int index = SelectedIndex("Select a file first!");
    if (index < 0)
        return;
    const std::optional<std::string> file = dialogs_.OpenFile(opnAny);
    if (!file)
        return;
    ReplaceEntryWith(index, *file, *file);
}

void TKVBEditorLogic::mnuExportPngClick()
{
    if (catalogue_ && view_.SelectedEntryRows().size() > 1)
        ExportRecordsAsPng(SelectedIndices("Select a file first!"));
    else if (const int index = SelectedIndex("Select a file first!"); index >= 0)
        ExportRecordsAsPng({index});
}

void TKVBEditorLogic::ExportRecordsAsPng(const std::vector<int> &indices)
{
    if (indices.size() > 1) {
        ExportSeveralAsPng(indices);
        return;
    }
    if (indices.empty() || !catalogue_)
        return;
    const int index = indices.front();
    const std::string name = catalogue_->GetEntry(index).Name;
    savPng.FileName = IsSafeEntryName(name) ? WithExtension(ShownText(name), ".png") : std::string();
    const std::optional<std::string> target = dialogs_.SaveFile(savPng);
    if (!target)
        return;
    TexFileToPngFile(ExtractToWorkFile(*catalogue_, index, ".TEX"), *target);
}

void TKVBEditorLogic::ExportSeveralAsPng(const std::vector<int> &indices)
{
    if (indices.empty() || !selFolder.Execute())
        return;
    // Named as "Extract all" names files, ".png" for ".TEX"; a name that cannot be a file name
    // is passed over and named once the others are written. Pictures written before a cancel or
    // an error stay; the status line says how many.
    const std::string folder = selFolder.Path();
    const auto count = int32_t(indices.size());
    int32_t written = 0;
    std::vector<std::string> passed;
    auto exported = [&] { return std::to_string(written) + " of " + std::to_string(count); };
    try {
        const bool done = work_.Run(
            [&] {
                for (const int index : indices) {
                    const std::string name = catalogue_->GetEntry(index).Name;
                    if (const std::optional<std::string> reason = UnusableNameReason(name)) {
                        passed.push_back(PassedOverText(index, name, *reason));
                    } else {
                        TexFileToPngFile(ExtractToWorkFile(*catalogue_, index, ".TEX"),
                                         JoinPath(folder, WithExtension(Cp1252ToUtf8(name), ".png")));
                        ++written;
                    }
                    ShowProgress(written + int32_t(passed.size()), count);
                }
            },
            "Exporting " + std::to_string(count) + " textures to " + folder + "...");
        if (!done) {
            view_.SetStatus("Cancelled: " + exported() + " textures exported to " + folder);
            return;
        }
    } catch (const std::exception &) {
        view_.SetStatus("Stopped by an error: " + exported() + " textures exported to " + folder);
        throw;
    }
    if (!passed.empty()) {
        const EUnextractedNames passedOver(UnextractedText(written, count, passed, "exported"));
        view_.SetStatus(passedOver.what());
        throw passedOver;
    }
    view_.SetStatus(std::to_string(count) + " textures exported to " + folder);
}

void TKVBEditorLogic::mnuImportPngClick()
{
    const int index = SelectedIndex("Select a file first!");
    if (index < 0)
        return;
    const std::optional<std::string> png = dialogs_.OpenFile(opnPng);
    if (!png)
        return;
    const std::string texture = GetTempDir() + "imported.TEX";
    MakeTextureFor(index, *png, texture);
    ReplaceEntryWith(index, texture, *png);
}

void TKVBEditorLogic::MakeTextureFor(int index, const std::string &png, const std::string &texture)
{
    // The entry itself is the reference: the new texture is read by the game as it was. An
    // archive that cannot be rebuilt is refused before anything else is asked.
    const std::string reference = ExtractToWorkFile(*catalogue_, index, ".TEX");
    PlanReplacement(catalogue_->FileName(), {{index, reference}});
    // Colours the texture's palette lacks are said before anything is written, with a new
    // palette offered instead.
    TMadeTexture made = MakeTex(reference, png, false);
    if (made.Change.Pixels > 0) {
        const std::string change =
            std::to_string(made.Change.Pixels) + " of the " + std::to_string(made.Change.Of) +
            " pixels of " + FileNameOf(png) + " would change colour, by up to " +
            std::to_string(made.Change.Largest) +
            " of 255 in red, green or blue, because the texture's palette lacks their colours.";
        if (!NewPalettesAvailable())
            dialogs_.Notice(change);
        else if (dialogs_.Question(change +
                                       " Make a new palette for the texture from the picture instead?",
                                   "Import PNG"))
            made = MakeTex(reference, png, true);
    }
    WriteTex(made, reference, png, texture);
}

void TKVBEditorLogic::mnuSaveWavClick()
{
    const int index = SelectedIndex("Select a file first!");
    if (index < 0 || !renderWav_)
        return;
    const std::string name = catalogue_->GetEntry(index).Name;
    savWav.FileName = IsSafeEntryName(name) ? WithExtension(ShownText(name), ".wav") : std::string();
    const std::optional<std::string> target = dialogs_.SaveFile(savWav);
    if (!target)
        return;
    work_.Run([&] { renderWav_(ExtractToWorkFile(*catalogue_, index, ".MID"), *target); },
              "Saving " + FileNameOf(*target) + "...");
}

void TKVBEditorLogic::mnuStopMusicClick()
{
    Media.Stop();
    HidePlaying();
}

} // namespace kvb::logic
