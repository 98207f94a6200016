#include "logic/main_window.h"

#include "archive/extract.h"
#include "archive/info_lines.h"
#include "archive/text.h"
#include "game/game_folder.h"
#include "logic/advanced_window.h"
#include "logic/preview_window.h"
#include "media/media_player.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/stream.h"
#include "platform/temp_dir.h"
#include "preview/entry_preview.h"
#include "preview/tex.h"
#include "tools/analysis.h"
#include "tools/creation.h"

namespace kvb::logic {

namespace {

const std::string kArchiveFilter = "KVB Archives|*.KVB|All files|*.*";
const std::string kAllFiles = "All files|*.*";

// A box that lists thousands of cut names would not fit the screen: the first few, then how
// many more there are (kvb create prints each).
constexpr size_t kWarningsListed = 10;

std::string CreationWarningsText(const std::vector<std::string> &warnings)
{
    std::string text = "The archive was created. Some of its names will not come out again "
                       "everywhere as they went in:";
    const size_t listed = std::min(warnings.size(), kWarningsListed);
    for (size_t i = 0; i < listed; ++i)
        text += "\n" + warnings[i];
    if (warnings.size() > listed)
        text += "\nand " + std::to_string(warnings.size() - listed) + " more";
    return text;
}

} // namespace

TKVBEditorLogic::TKVBEditorLogic(TMainView &view, TDialogs &dialogs, MediaPlayer &player, TNameSort sort,
                                 TWavRenderer renderWav)
    : opnKVB{kArchiveFilter, "KVB", {}, {}},
      savKVB{kArchiveFilter, "KVB", {}, {}},
      savAny{kAllFiles, {}, {}, {}},
      opnAny{kAllFiles, {}, {}, {}},
      opnPng{"PNG images|*.png|All files|*.*", {}, {}, {}},
      savPng{"PNG images|*.png|All files|*.*", "png", {}, {}},
      savWav{"WAV sound|*.wav|All files|*.*", "wav", {}, {}},
      opnMod{"Mod packages|*.kvbmod|All files|*.*", {}, {}, {}},
      opnUndo{"Undo packages|*.kvbundo|All files|*.*", {}, {}, {}},
      selFolder(dialogs),
      view_(view),
      dialogs_(dialogs),
      Media(player),
      sort_(std::move(sort)),
      renderWav_(std::move(renderWav)),
      find_(dialogs, "Find the next entry whose name contains:"),
      work_(view, dialogs)
{
}

TKVBEditorLogic::~TKVBEditorLogic() = default;

void TKVBEditorLogic::SetSecondaryWindows(TTexViewLogic &texView, TAdvancedLogic &advanced,
                                          TCompareLogic &compare)
{
    frmTexView_ = &texView;
    frmAdvanced_ = &advanced;
    frmCompare_ = &compare;
}

void TKVBEditorLogic::FormCreate()
{
    // The game's install folder from the registry, when it is there; then its data folder.
    const std::optional<std::string> appPath = FindGameAppPath();
    if (!appPath)
        return;
    EnterGameDataFolder(GameDataFolder(*appPath));
}

void TKVBEditorLogic::btnOpenClick()
{
    const std::optional<std::string> fileName = dialogs_.OpenFile(opnKVB);
    if (!fileName)
        return;
    OpenArchive(*fileName);
}

void TKVBEditorLogic::OpenArchive(const std::string &fileName)
{
    if (!CloseEditedFiles("the archive is closed"))
        return;
    // On failure or cancel the previous catalogue, the blocks, the list and the info lines stay
    // as they were.
    if (std::unique_ptr<TKVBFile> catalogue = ReadCatalogue(fileName)) {
        ShowCatalogue(std::move(catalogue), fileName);
        // The program keeps no list of its own: the desktop's is the one the user sees.
        view_.AddRecentDocument(AbsolutePathOf(fileName));
    }
}

std::unique_ptr<TKVBFile> TKVBEditorLogic::ReadCatalogue(const std::string &fileName)
{
    std::unique_ptr<TKVBFile> catalogue;
    const bool read = work_.Run(
        [&] {
            catalogue = std::make_unique<TKVBFile>(fileName, view_.FullRead(),
                                                   [this](int32_t position, int32_t maximum) {
                                                       ShowProgress(position, maximum);
                                                   });
        },
        "Opening " + FileNameOf(fileName) + "...");
    if (!read) {
        view_.SetStatus("Cancelled: " + FileNameOf(fileName) + " was not opened.");
        return nullptr;
    }
    view_.SetStatus({});
    return catalogue;
}

void TKVBEditorLogic::ShowCatalogue(std::unique_ptr<TKVBFile> catalogue, const std::string &fileName,
                                    bool again)
{
    catalogue_ = std::move(catalogue);
    openedFileName_ = FileNameOf(fileName);
    if (catalogue_->Note())
        dialogs_.Notice(*catalogue_->Note());

    // The block labels, then block 0.
    if (!again) {
        listed_.Clear();
        sortColumn_ = -1;
        filterText_.clear();
        view_.SetFilterText({});
    }
    listed_.Reset(*catalogue_);
    ShowListing();

    // The info lines, then the mods recorded beside the archive.
    std::vector<std::string> lines = CatalogueInfoLines(*catalogue_, openedFileName_);
    for (std::string &line : AppliedModLines(fileName))
        lines.push_back(std::move(line));
    ShowInfoLines(lines);
    if (frmGallery_)
        frmGallery_->CatalogueChanged(*catalogue_, openedFileName_);
}

void TKVBEditorLogic::mnuGalleryClick()
{
    if (frmGallery_ && catalogue_)
        frmGallery_->ShowGallery(*catalogue_, openedFileName_, *this);
}

void TKVBEditorLogic::PreviewRecord(int32_t index)
{
    if (catalogue_ && index >= 0 && index < catalogue_->EntryCount())
        PreviewEntry(*catalogue_, index);
}

void TKVBEditorLogic::ShowProgress(int32_t position, int32_t maximum)
{
    work_.Report(position, maximum);
}

void TKVBEditorLogic::btnCancelClick()
{
    work_.Cancel();
}

void TKVBEditorLogic::EscapePressed()
{
    if (work_.Running())
        work_.Cancel();
    else
        mnuStopMusicClick();
}

bool TKVBEditorLogic::FormCloseQuery()
{
    if (work_.Running())
        return work_.CloseQuery("Work is still running. Cancel it and close the program?");
    // The window stays open when the edited files could not be put back: they would go with it.
    try {
        return CloseEditedFiles("the program ends");
    } catch (const std::exception &e) {
        dialogs_.Error(ErrorBoxText(e.what()));
        return false;
    }
}

void TKVBEditorLogic::lstFilesDblClick()
{
    // The selected row (the current one, of several).
    const int row = view_.SelectedEntryRow();
    if (row < 0 || !catalogue_)
        return;
    PreviewEntry(*catalogue_, RecordOfRow(row));
}

void TKVBEditorLogic::ReleasePlayer()
{
    MediaMode mode = Media.QueryMode();
    if (mode == MediaMode::Playing || mode == MediaMode::Paused)
        Media.Stop();
    mode = Media.QueryMode();
    if (mode == MediaMode::Stopped || mode == MediaMode::Open)
        Media.Close();
    HidePlaying();
}

void TKVBEditorLogic::ShowPlaying(const std::string &caption)
{
    playing_ = true;
    view_.ShowPlaying("Playing " + caption);
}

void TKVBEditorLogic::HidePlaying()
{
    if (!playing_)
        return;
    playing_ = false;
    view_.ShowPlaying({});
}

void TKVBEditorLogic::PlaybackTick()
{
    if (playing_ && Media.QueryMode() != MediaMode::Playing)
        HidePlaying();
}

void TKVBEditorLogic::PreviewEntry(const TKVBFile &catalogue, int32_t index)
{
    // The caption as the list shows it names the preview's file.
    const std::string caption = ShownText(catalogue.GetEntry(index).Name);

    // Textures and music only.
    const std::string extension = PreviewExtension(caption);
    const bool texture = extension == ".TEX";
    if (!texture && extension != ".MID") {
        dialogs_.Notice(kCannotPreviewText);
        return;
    }
    // The caption becomes a file name in the private folder and must not lead out of it.
    if (!IsSafeEntryName(caption))
        throw EUnusableNameError(caption, "previewed");

    // The player may still hold the previous temporary file: it lets go of it first.
    ReleasePlayer();

    // The previous file goes before the new path replaces it.
    DeletePreviewTempFile();
    PreviewTempFile = GetTempDir() + caption;

    // The entry, extracted under its caption; the archive is closed again at once.
    {
        TFileStream archive(catalogue.FileName(), TFileStream::Mode::OpenRead);
        ExtractEntry(archive, catalogue.GetEntry(index), PreviewTempFile);
    }

    // Shown, or played.
    if (texture) {
        ShowTexture(PreviewTempFile);
        return;
    }
    // The player names the file it was given, a path in the private folder; the user knows the
    // entry.
    try {
        Media.Open(PreviewTempFile);
        Media.Play();
        ShowPlaying(caption);
    } catch (const EKVBError &e) {
        auto named = [&](std::string text) {
            for (size_t at = text.find(PreviewTempFile); at != std::string::npos;
                 at = text.find(PreviewTempFile, at + caption.size()))
                text.replace(at, PreviewTempFile.size(), caption);
            return text;
        };
        throw EKVBError(named(e.Message()), named(e.Detail()));
    }
}

void TKVBEditorLogic::ShowTexture(const std::string &path)
{
    const TTexImage texture = ReadTexFile(path);
    // A window of no width or height would vanish without a word.
    if (texture.Width == 0 || texture.Height == 0) {
        dialogs_.Notice("The texture has no pixels (" + std::to_string(texture.Width) + " x " +
                        std::to_string(texture.Height) + "), so there is nothing to show.");
        return;
    }
    frmTexView_->ShowTexture(texture, FileNameOf(path));
}

void TKVBEditorLogic::btnCreateClick()
{
    // The warning, every time, before anything else.
    dialogs_.Notice(kCreateWarning);
    // The folder, then the new archive's name.
    if (!selFolder.Execute())
        return;
    const std::optional<std::string> output = dialogs_.SaveFile(savKVB);
    if (!output)
        return;
    // List, sort, find the template, write the archive; a cancel leaves nothing.
    try {
        TCreatedArchive created;
        const bool done = work_.Run(
            [&] {
                created = CreateArchive(selFolder.Path(), *output, {}, sort_,
                                        [this](int32_t position, int32_t maximum) {
                                            ShowProgress(position, maximum);
                                        });
            },
            "Creating " + FileNameOf(*output) + " from " + selFolder.Path() + "...");
        // What was done about an interrupted edit of the archive that was replaced.
        if (created.RecordNote)
            dialogs_.Notice(*created.RecordNote);
        const std::string files = std::to_string(std::max(0, work_.Maximum()));
        view_.SetStatus(done ? FileNameOf(*output) + " created from " + files + " files in " +
                                   selFolder.Path()
                             : "Cancelled: no archive was written.");
        if (done && !created.Warnings.empty())
            dialogs_.Notice(CreationWarningsText(created.Warnings));
    } catch (const ENoTemplateError &e) {
        dialogs_.Notice(e.what());
    }
}

void TKVBEditorLogic::btnAnalyseClick()
{
    // Something to analyse.
    if (!catalogue_) {
        dialogs_.Notice(kAnalyseWithoutArchiveMessage);
        return;
    }
    // Read again with the lengths and name checks, whatever the check box says; it becomes
    //    the current catalogue only when the read succeeds.
    std::unique_ptr<TKVBFile> reread;
    if (!work_.Run(
            [&] {
                reread = std::make_unique<TKVBFile>(catalogue_->FileName(), true,
                                                    [this](int32_t position, int32_t maximum) {
                                                        ShowProgress(position, maximum);
                                                    });
            },
            "Analysing " + openedFileName_ + "...")) {
        view_.SetStatus("Cancelled: " + openedFileName_ + " was not analysed.");
        return;
    }
    view_.SetStatus({});
    catalogue_ = std::move(reread);

    // The report, whole, in the info lines as ever; then in a window of its own, where it is
    // read without scrolling and copied.
    const std::vector<std::string> report = AnalyseArchive(*catalogue_, openedFileName_).Lines;
    ShowInfoLines(report);
    if (frmReport_)
        frmReport_->ShowReport(openedFileName_, report);
}

void TKVBEditorLogic::OpenAddress(const std::string &url)
{
    // Without a browser the click would otherwise do nothing at all: the address is still of use.
    if (!view_.OpenLink(url))
        dialogs_.Notice("No program on this system opens " + url +
                        "\nOpen the address in a web browser yourself.");
}

void TKVBEditorLogic::Label3Click()
{
    OpenAddress(KVB_ISSUES_URL);
}

void TKVBEditorLogic::Label4Click()
{
    OpenAddress(KVB_PROJECT_URL);
}

void TKVBEditorLogic::btnAdvancedClick()
{
    // Something to edit.
    if (!catalogue_) {
        dialogs_.Notice("Open an KVB file first!");
        return;
    }
    // The edits in place would leave the edited files' entries behind.
    if (!CloseEditedFiles("the advanced window edits the archive"))
        return;
    // The advanced window, modal, on the open archive.
    if (!frmAdvanced_->OpenForEdit(catalogue_->FileName()))
        return;
    frmAdvanced_->ShowModal();

    // The archive may have changed under the catalogue.
    catalogue_.reset();
    listed_.Clear();
    sortColumn_ = -1;
    view_.ShowSortColumn(-1, false);
    view_.SetFilterCount({});
    ShowInfoLines({"No file open."});
    view_.SetEntryRows({});
}

void TKVBEditorLogic::FormDestroy()
{
    if (frmGallery_)
        frmGallery_->FormClose();
    ForgetEditedFiles();
    catalogue_.reset();
    Media.Close();
    // The window is going: its playing line goes with it.
    playing_ = false;
    DeletePreviewTempFile();
}

bool TKVBEditorLogic::IsDroppedArchive(const std::vector<std::string> &paths)
{
    if (paths.empty())
        return false;
    const std::string &path = paths.front();
    return path.size() > 4 && SameName(path.substr(path.size() - 4), ".KVB");
}

} // namespace kvb::logic
