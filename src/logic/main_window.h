// The main window's behaviour, whatever draws it: the open catalogue, the entry list shown one
// block of 1,000 at a time, the info lines, and every tool of the program. A face (the Qt window,
// the Win32 window) builds the controls, forwards each event to the handler of the same name
// and implements TMainView; the steps, messages and questions are all here.
#pragma once

#include "archive/catalogue.h"
#include "logic/blocks.h"
#include "logic/edit_with.h"
#include "logic/face.h"
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
    // Filename, Table start, File length.
    using TEntryRow = std::array<std::string, 3>;

    virtual ~TMainView() = default;
    // cmbList: replaces every label; SelectBlockLabel selects one from code, which runs no
    // handler; ChosenBlockLabel is the selected one (-1: none).
    virtual void SetBlockLabels(const std::vector<std::string> &labels) = 0;
    virtual void SelectBlockLabel(int index) = 0;
    virtual int ChosenBlockLabel() const = 0;
    // lstFiles: replaces every row with painting suspended and scrolls to the top.
    virtual void SetEntryRows(const std::vector<TEntryRow> &rows) = 0;
    // The selected row, -1 when none.
    virtual int SelectedEntryRow() const = 0;
    // Selects row, scrolls to it and gives the list the focus, so that the keys that act on a
    // row act on this one.
    virtual void SelectEntryRow(int row) = 0;
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
    virtual void UnwatchFile(const std::string &path) = 0;
};

// What the main window's entry menu offers for the selected row.
struct TEntryMenu {
    bool Selected = false; // Extract..., Replace with file..., Edit with..., Open with default program
    bool Texture = false;  // Export as PNG..., Import PNG...
    bool Music = false;    // Save as WAV...
    bool Playing = false;  // Stop music
    // Export for editing..., Update from folder..., Apply mod..., Revert mod...: an archive is
    // open.
    bool Open = false;
};

// Renders the MIDI file mid into the WAV file wav; empty where the build has no renderer.
using TWavRenderer = std::function<void(const std::string &mid, const std::string &wav)>;

class TKVBEditorLogic {
public:
    // player plays the preview's music; sort puts names in the user's order for "Create KVB";
    // renderWav makes "Save as WAV..." (none: the menu does not offer it).
    TKVBEditorLogic(TMainView &view, TDialogs &dialogs, MediaPlayer &player, TNameSort sort,
                    TWavRenderer renderWav);
    ~TKVBEditorLogic();

    // The window's controls and where they stand, its entry menu and its keys, which both
    // faces draw and bind to the handlers below.
    static const TWindowDescription<TKVBEditorLogic> &Description();

    // The windows created after this one at start-up.
    void SetSecondaryWindows(TTexViewLogic &texView, TAdvancedLogic &advanced);

    // Handlers.
    void FormCreate();
    void btnOpenClick();
    void cmbListChange();
    void FillFileList();
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
    void mnuStopMusicClick();
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
    // Files dropped on the window: the first, when it is a .KVB file, is opened. False when
    // the drop brings no archive (the face then refuses it).
    static bool IsDroppedArchive(const std::vector<std::string> &paths);
    void FilesDropped(const std::vector<std::string> &paths);
    // Dragging row out: extracts its entry under its own name into a folder of its own in the
    // private temporary folder and returns the file's path; raises when it cannot.
    std::string ExtractForDrag(int row);

    // Whether long work runs in the window.
    bool Busy() const { return work_.Running(); }
    const TKVBFile *Catalogue() const { return catalogue_.get(); }

    // The dialogs' settings.
    TFileDialog opnKVB, savKVB, savAny, opnAny, opnPng, savPng, savWav, opnMod, opnUndo;
    TFolderDialog selFolder;

private:
    // Opens url, or tells the user where it leads when no program here opens it.
    void OpenAddress(const std::string &url);
    // The catalogue index of the selected row; -1 (after notice) when no row is selected.
    int SelectedIndex(const std::string &notice);
    // The catalogue indices of the selected rows; none (after notice) when no row is selected.
    std::vector<int> SelectedIndices(const std::string &notice);
    void ShowInfoLines(const std::vector<std::string> &lines) { view_.SetInfoLines(lines); }
    // "Mod applied: NAME VERSION" for each mod that an undo package beside archive records;
    // nothing when there is none.
    std::vector<std::string> AppliedModLines(const std::string &archive) const;
    // The mod to revert: the one recorded beside archive, or the one whose undo package the user
    // picks when there are several; nothing (after a notice) when none is recorded or the pick
    // is none of them.
    std::optional<TAppliedMod> ChooseAppliedMod(const std::string &archive);
    // Shows record index: its block, then its row, selected.
    void ShowRecord(int index);
    // Reads the catalogue of an archive; nothing when cancelled (the status line says so).
    std::unique_ptr<TKVBFile> ReadCatalogue(const std::string &fileName);
    // Makes catalogue the current one: its blocks, block 0 and the info lines.
    void ShowCatalogue(std::unique_ptr<TKVBFile> catalogue, const std::string &fileName);
    // Asks, naming the file the user chose, then rebuilds the archive with entry index's data
    // replaced by file (see RewriteArchive).
    void ReplaceEntryWith(int index, const std::string &file, const std::string &chosen);
    // Rebuilds the open archive with the replacements in one safe step, and reads it again,
    // showing the first replaced entry selected in its block. False when cancelled: the
    // archive is left as it was.
    bool RewriteArchive(const std::vector<TReplacement> &replacements);
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

    TMainView &view_;
    TDialogs &dialogs_;
    MediaPlayer &Media;
    TNameSort sort_;
    TWavRenderer renderWav_;
    TTexViewLogic *frmTexView_ = nullptr;
    TAdvancedLogic *frmAdvanced_ = nullptr;

    std::unique_ptr<TKVBFile> catalogue_;
    std::string openedFileName_; // the name chosen in "Open KVB", without folder
    TBlockedList shownBlock_;    // cmbList's Tag
    TFind find_;
    TWork work_;
    TEditedFiles edits_;
    // A change is being asked about or put back; changes reported meanwhile are looked at after.
    bool askingAboutChanges_ = false;
    bool changedMeanwhile_ = false;
};

} // namespace kvb::logic
