// The main window's behaviour, whatever draws it: the open catalogue, the entry list shown one
// block of 1,000 at a time, the info lines, and every tool of the program. A face (the Qt window,
// the Win32 window) builds the controls, forwards each event to the handler of the same name
// and implements TMainView; the steps, messages and questions are all here.
#pragma once

#include "archive/catalogue.h"
#include "logic/blocks.h"
#include "logic/compare_window.h"
#include "logic/edit_with.h"
#include "logic/face.h"
#include "logic/gallery_window.h"
#include "logic/listed_entries.h"
#include "logic/report_window.h"
#include "logic/window_description.h"
#include "logic/work.h"
#include "platform/collation.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kvb {
class MediaPlayer;
struct TAppliedMod;
struct TReplacement;
} // namespace kvb

namespace kvb::logic {

class TAdvancedLogic;
class TTexViewLogic;

// What the logic asks of the main window's controls; the progress bar, btnCancel and lblStatus
// are TWorkView's.
class TMainView : public TWorkView {
public:
    // Filename, Table start, File length, the record number (1-based), the length in human units.
    using TEntryRow = std::array<std::string, 5>;

    virtual ~TMainView() = default;
    // cmbList: replaces every label; SelectBlockLabel selects one from code, which runs no
    // handler; ChosenBlockLabel is the selected one (-1: none).
    virtual void SetBlockLabels(const std::vector<std::string> &labels) = 0;
    virtual void SelectBlockLabel(int index) = 0;
    virtual int ChosenBlockLabel() const = 0;
    // lstFiles: replaces every row with painting suspended and scrolls to the top.
    virtual void SetEntryRows(const std::vector<TEntryRow> &rows) = 0;
    // The row the keys act on: the current row when it is selected, otherwise the first row
    // selected; -1 when none is.
    virtual int SelectedEntryRow() const = 0;
    // Every selected row, in the list's order.
    virtual std::vector<int> SelectedEntryRows() const = 0;
    // Selects row alone, scrolls to it and gives the list the focus, so that the keys that act
    // on a row act on this one.
    virtual void SelectEntryRow(int row) = 0;
    // Selects every row of the list.
    virtual void SelectAllEntryRows() = 0;
    // The sort shown on the list's column headers: column (from 0) ascending or descending; -1
    // for none (table order).
    virtual void ShowSortColumn(int column, bool descending) = 0;
    // edtFilter's text, and setting it from code (which runs no handler); lblFilterCount.
    virtual std::string FilterText() const = 0;
    virtual void SetFilterText(const std::string &text) = 0;
    virtual void SetFilterCount(const std::string &text) = 0;
    virtual void SetInfoLines(const std::vector<std::string> &lines) = 0;
    // chkFullRead.
    virtual bool FullRead() const = 0;
    // Opens a web address the way the desktop opens it; false when nothing on the system would.
    virtual bool OpenLink(const std::string &url) = 0;

    // How handing a file to another program ended.
    enum class TOpened { Opened, Cancelled, NoProgram };
    // Opens the file at path in the program the desktop opens such files with.
    virtual TOpened OpenWithDefault(const std::string &path) = 0;
    // Lets the user choose a program, and opens the file at path in it; Cancelled when the user
    // chose none.
    virtual TOpened OpenWithChosenProgram(const std::string &path) = 0;
    // Watches the file at path, and its folder (an editor may save by renaming a new file onto
    // it): each time the system reports a change there, the face calls EditedFileChanged with
    // the file's or the folder's path, once no handler runs (HandlerRunning).
    virtual void WatchFile(const std::string &path) = 0;
    // Adds an archive the user opened (absolute path) to the desktop's own list of recent
    // documents; a failure there is the desktop's business and is not reported.
    virtual void AddRecentDocument(const std::string &path) = 0;
    virtual void UnwatchFile(const std::string &path) = 0;
    // lblPlaying's text, shown with btnStopMusic beside it; while they are shown the face calls
    // PlaybackTick a few times a second, the player telling no one when its music ends. Empty:
    // both hidden, and no more calls.
    virtual void ShowPlaying(const std::string &text) = 0;
};

// What the main window's entry menu offers for the selected rows.
struct TEntryMenu {
    bool Selected = false; // Extract..., Edit with..., Open with default program: one row or more
    bool One = false;      // Replace with file..., Import PNG..., Save as WAV...: one row only
    bool Texture = false;  // Export as PNG..., Import PNG...: every entry selected is a texture
    bool Music = false;    // Save as WAV...: every entry selected is music
    bool Playing = false;  // Stop music
    // Export for editing..., Update from folder..., Compare with..., Texture gallery..., Apply
    // mod..., Revert mod...: an archive is open.
    bool Open = false;
};

// Renders the MIDI file mid into the WAV file wav; empty where the build has no renderer.
using TWavRenderer = std::function<void(const std::string &mid, const std::string &wav)>;

class TKVBEditorLogic : public TEntryPreviews, public TGalleryHost {
public:
    // player plays the preview's music; sort puts names in the user's order for "Create KVB";
    // renderWav makes "Save as WAV..." (none: the menu does not offer it).
    TKVBEditorLogic(TMainView &view, TDialogs &dialogs, MediaPlayer &player, TNameSort sort,
                    TWavRenderer renderWav);
    ~TKVBEditorLogic() override;

    // The window's controls and where they stand, its entry menu and its keys, which both
    // faces draw and bind to the handlers below.
    static const TWindowDescription<TKVBEditorLogic> &Description();

    // The windows created after this one at start-up.
    void SetSecondaryWindows(TTexViewLogic &texView, TAdvancedLogic &advanced, TCompareLogic &compare);
    // The gallery, where the face has one.
    void SetGallery(TGalleryLogic &gallery) { frmGallery_ = &gallery; }
    // The window that shows the analysis report whole; without one the info lines alone hold it.
    void SetReportWindow(TReportLogic &report) { frmReport_ = &report; }

    // Handlers.
    void FormCreate();
    void btnOpenClick();
    void cmbListChange();
    void FillFileList();
    // A click on a column header sorts the list by that column, a second click the other way
    // round; the record number's column goes back to table order. The list shows its first block.
    void lstFilesColumnClick(int column);
    // The filter's text changed: the list shows only the entries whose names hold it (ASCII case
    // ignored), from all blocks, in blocks of their own, and lblFilterCount how many of all.
    void edtFilterChange();
    // Ctrl+A in the list: every row of the block shown.
    void lstFilesSelectAll();
    // The library's progress reports during long work (opening, extracting all, creating,
    // analysing, replacing): the progress bar, and the point where Cancel stops the work.
    void ShowProgress(int32_t position, int32_t maximum);
    // btnCancel, beside the progress bar: the long work stops at its next entry or piece.
    void btnCancelClick();
    // Escape: cancels the long work while one runs, stops the music otherwise.
    void EscapePressed();
    // The close button: true when the window may close now. During long work it asks whether
    // to cancel it; after Yes the window closes as soon as the work has stopped. Edited files
    // with changes the archive lacks are offered to be put back first.
    bool FormCloseQuery();
    void btnExtractClick();
    void btnExtractAllClick();
    void lstFilesDblClick();
    void btnCreateClick();
    // The report goes into the info lines, and is then shown whole in the report window.
    void btnAnalyseClick();
    // The two links keep the names of the labels they once were: Label3 opens the bug tracker,
    // Label4 the home page.
    void Label3Click();
    void Label4Click();
    void btnAdvancedClick();
    void FormDestroy();

    // The entry list's context menu and its actions.
    TEntryMenu EntryMenu() const;
    void mnuReplaceClick();
    void mnuExportPngClick();
    void mnuImportPngClick();
    void mnuSaveWavClick();
    // "Stop music", btnStopMusic beside the playing line, and Escape.
    void mnuStopMusicClick();
    // The face's look at the player while music plays: the playing line goes once it has ended.
    void PlaybackTick();
    // "Edit with..." and "Open with default program": the selected entries, extracted into files
    // of their own (textures as PNG pictures), opened in another program and watched.
    void mnuEditWithClick();
    void mnuOpenWithDefaultClick();
    // The face reports a change at path: an edited file, or the folder it lies in. Each new
    // content asks once whether to put it back into the archive.
    void EditedFileChanged(const std::string &path);
    // "Export for editing...": every entry into a chosen folder with the export's manifest,
    // textures as PNG pictures. "Update from folder...": the files changed there since, shown
    // as a list to confirm, then put back in one rebuild.
    void mnuExportForEditingClick();
    void mnuUpdateFromFolderClick();
    // "Compare with...": the open archive compared with a second one, chosen as "Open KVB"
    // chooses, as long work; the differences in the compare window, modal, which holds the
    // second archive's catalogue while it is open.
    void mnuCompareWithClick();
    // "Texture gallery...": the open archive's textures as thumbnails, in a window beside this
    // one that follows the archive open here.
    void mnuGalleryClick();

    // What the gallery does with the textures selected there, as the entry menu does.
    void PreviewRecord(int32_t index) override;
    void ExtractRecords(const std::vector<int> &indices) override;
    void ExportRecordsAsPng(const std::vector<int> &indices) override;
    void EditRecords(const std::vector<int> &indices, bool choose) override
    {
        EditEntries(indices, choose);
    }

    // The previews of the compare window, with the preview window and the player of this one.
    void PreviewEntry(const TKVBFile &catalogue, int32_t index) override;
    void PreviewTextures(const TKVBFile &oldCatalogue, int32_t oldIndex, const std::string &oldName,
                         const TKVBFile &newCatalogue, int32_t newIndex,
                         const std::string &newName) override;
    void StopMusic() override { mnuStopMusicClick(); }
    bool MusicPlaying() const override;

    // "Apply mod...": a mod package's plan for the open archive shown as a list to confirm (or
    // what of it does not fit, and then nothing is written), then the one rebuild, which keeps
    // what it replaces in an undo package beside the archive. "Revert mod...": a mod that an
    // undo package there records, taken out again after a question.
    void mnuApplyModClick();
    void mnuRevertModClick();
    // The entries being edited in other programs.
    const TEditedFiles &EditedFiles() const { return edits_; }
    // Ctrl+F asks for part of a name and selects the next entry holding it (ASCII case
    // ignored), in whichever block it lies; F3 finds the next one.
    void FindClick();
    void FindNextClick();

    // Opens an archive as if it had been chosen in "Open KVB" (the command line, a drop). The
    // files edited from the archive open before are settled first (CloseEditedFiles); a Cancel
    // there opens nothing.
    void OpenArchive(const std::string &fileName);
    // Files dropped on the window: the first, when it is a .KVB file, is opened. Other files,
    // while an archive is open, replace the entries of their names (ASCII case ignored), after
    // a list of them to confirm, in one rebuild; folders, links and files no entry is named as
    // are left out and named. IsDroppedArchive: whether the drop brings an archive; AcceptsDrop:
    // whether the window takes the drop now (the face refuses it otherwise).
    static bool IsDroppedArchive(const std::vector<std::string> &paths);
    bool AcceptsDrop(const std::vector<std::string> &paths) const;
    void FilesDropped(const std::vector<std::string> &paths);
    // Dragging rows out: extracts each one's entry under its own name into a folder of its own
    // in the private temporary folder and returns the files' paths; raises when one cannot be.
    std::vector<std::string> ExtractForDrag(const std::vector<int> &rows);

    // Whether long work runs in the window.
    bool Busy() const { return work_.Running(); }
    const TKVBFile *Catalogue() const { return catalogue_.get(); }

    // The dialogs' settings.
    TFileDialog opnKVB, savKVB, savAny, opnAny, opnPng, savPng, savWav, opnMod, opnUndo;
    TFolderDialog selFolder;

private:
    // Opens url, or tells the user where it leads when no program here opens it.
    void OpenAddress(const std::string &url);
    // The catalogue index of the row the keys act on; -1 (after notice) when no row is selected,
    // or (after a notice that says so) when several are.
    int SelectedIndex(const std::string &notice);
    // The catalogue indices of the selected rows, ascending; none (after notice) when no row is
    // selected.
    std::vector<int> SelectedIndices(const std::string &notice);
    // The record row r of the list stands for; -1 for none.
    int RecordOfRow(int row) const;
    // After a sort or a filter: the block labels of what is listed, its first block, the count.
    void ShowListing();
    // "Extract" of several rows: into a chosen folder, as "Extract all" writes them.
    void ExtractSeveral(const std::vector<int> &indices);
    // "Extract all", and "Extract" of several: indices (every entry when none) into folder, with
    // the status line's word on how far it got.
    void ExtractInto(const std::string &folder, const std::vector<int> *indices);
    // "Export as PNG..." of several textures: into a chosen folder, each under its own name with
    // ".png" for ".TEX".
    void ExportSeveralAsPng(const std::vector<int> &indices);
    void ShowInfoLines(const std::vector<std::string> &lines) { view_.SetInfoLines(lines); }
    // "Mod applied: NAME VERSION" for each mod that an undo package beside archive records;
    // nothing when there is none.
    std::vector<std::string> AppliedModLines(const std::string &archive) const;
    // The mod to revert: the one recorded beside archive, or the one whose undo package the user
    // picks when there are several; nothing (after a notice) when none is recorded or the pick
    // is none of them.
    std::optional<TAppliedMod> ChooseAppliedMod(const std::string &archive);
    // Shows record index: its block, then its row, selected; nothing when it is not listed.
    void ShowRecord(int index);
    // The same for the record at position of the list.
    void ShowPosition(int position);
    // Reads the catalogue of an archive; nothing when cancelled (the status line says so).
    std::unique_ptr<TKVBFile> ReadCatalogue(const std::string &fileName);
    // Makes catalogue the current one: its blocks, block 0 and the info lines. Another archive
    // is listed in table order without a filter; the same one read again (again) keeps both.
    void ShowCatalogue(std::unique_ptr<TKVBFile> catalogue, const std::string &fileName,
                       bool again = false);
    // Asks, naming the file the user chose, then rebuilds the archive with entry index's data
    // replaced by file (see RewriteArchive).
    void ReplaceEntryWith(int index, const std::string &file, const std::string &chosen);
    // Rebuilds the open archive with the replacements in one safe step, and reads it again,
    // showing the first replaced entry selected in its block. False when cancelled: the
    // archive is left as it was.
    bool RewriteArchive(const std::vector<TReplacement> &replacements);
    // The files dropped that are no archive, put in the place of the entries of their names.
    void ReplaceWithDropped(const std::vector<std::string> &paths);
    // The texture that the picture png makes as entry index, written to texture: the import's
    // steps, with its question about colours the entry's palette lacks.
    void MakeTextureFor(int index, const std::string &png, const std::string &texture);
    // Extracts the entries not being edited yet and hands each file to another program.
    void EditEntries(const std::vector<int> &indices, bool choose);
    // Puts the edited files of the entries indices back into the archive in one rebuild. False
    // when cancelled.
    bool PutBack(const std::vector<int> &indices);
    // Looks at the edited files of indices: each new content asks once.
    void AskAboutChanges(const std::vector<int> &indices);
    // Before the open archive is closed (as closing says): offers to put back the edited files
    // with changes the archive lacks, then stops watching them and removes them. False when
    // the user cancelled, or putting back failed or was cancelled: the archive stays open with
    // its edited files.
    bool CloseEditedFiles(const std::string &closing);
    void ForgetEditedFiles();
    // Shows a texture file in the preview window.
    void ShowTexture(const std::string &path);
    // The player stops and lets go of the file it may hold (the previous preview's).
    void ReleasePlayer();
    // The playing line for the tune called caption, or none.
    void ShowPlaying(const std::string &caption);
    void HidePlaying();

    TMainView &view_;
    TDialogs &dialogs_;
    MediaPlayer &Media;
    TNameSort sort_;
    TWavRenderer renderWav_;
    TTexViewLogic *frmTexView_ = nullptr;
    TAdvancedLogic *frmAdvanced_ = nullptr;
    TCompareLogic *frmCompare_ = nullptr;
    TGalleryLogic *frmGallery_ = nullptr;
    TReportLogic *frmReport_ = nullptr;

    std::unique_ptr<TKVBFile> catalogue_;
    std::string openedFileName_; // the name chosen in "Open KVB", without folder
    TListedEntries listed_;      // what the list shows, in which order
    TBlockedList shownBlock_;    // cmbList's Tag: a block of listed_
    std::string filterText_;     // edtFilter's text as last applied
    int sortColumn_ = -1;        // the column clicked last; -1 in table order
    TFind find_;
    TWork work_;
    TEditedFiles edits_;
    bool playing_ = false; // the playing line is shown
    // A change is being asked about or put back; changes reported meanwhile are looked at after.
    bool askingAboutChanges_ = false;
    bool changedMeanwhile_ = false;
};

} // namespace kvb::logic
