// The main window's behaviour, whatever draws it: the open catalogue, the entry list shown one
// block of 1,000 at a time, the info lines, and every tool of the program. A face (the Qt window,
// the Win32 window) builds the controls, forwards each event to the handler of the same name
// and implements TMainView; the steps, messages and questions are all here.
#pragma once

#include "archive/catalogue.h"
#include "logic/blocks.h"
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
}

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
    // Opens a link (mail or web) the way the desktop opens it.
    virtual void OpenLink(const std::string &url) = 0;
};

// What the main window's entry menu offers for the selected row.
struct TEntryMenu {
    bool Selected = false;  // Extract..., Replace with file...
    bool Texture = false;   // Export as PNG..., Import PNG...
    bool Music = false;     // Save as WAV...
    bool Playing = false;   // Stop music
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
    // to cancel it; after Yes the window closes as soon as the work has stopped.
    bool FormCloseQuery();
    void btnExtractClick();
    void btnExtractAllClick();
    void lstFilesDblClick();
    void btnCreateClick();
    void btnAnalyseClick();
    // The two links keep the names of the labels they once were: Label3 mails the author,
    // Label4 opens the author's web page.
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
    // Ctrl+F asks for part of a name and selects the next entry holding it (ASCII case
    // ignored), in whichever block it lies; F3 finds the next one.
    void FindClick();
    void FindNextClick();

    // Opens an archive as if it had been chosen in "Open KVB" (the command line, a drop).
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
    TFileDialog opnKVB, savKVB, savAny, opnAny, opnPng, savPng, savWav;
    TFolderDialog selFolder;

private:
    // The catalogue index of the selected row; -1 (after notice) when no row is selected.
    int SelectedIndex(const std::string &notice);
    void ShowInfoLines(const std::vector<std::string> &lines) { view_.SetInfoLines(lines); }
    // Shows record index: its block, then its row, selected.
    void ShowRecord(int index);
    // Asks, naming the file the user chose, then rebuilds the archive with entry index's data
    // replaced by file, and opens it again showing the same block with the entry selected.
    void ReplaceEntryWith(int index, const std::string &file, const std::string &chosen);
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
};

} // namespace kvb::logic
