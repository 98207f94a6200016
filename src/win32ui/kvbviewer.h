// TfrmKVBEditor: the main window as Win32 draws it. It builds the controls, forwards every event
// to the window's logic (logic/main_window.h) and shows what the logic asks for.
#pragma once

#include "logic/main_window.h"
#include "win32ui/described_form.h"
#include "win32ui/file_drag.h"
#include "win32ui/form.h"

#include <shellapi.h>

#include <functional>
#include <map>
#include <memory>

namespace kvb {
class MediaPlayer;
}

namespace kvb::win32ui {

struct TMenuDeleter {
    void operator()(HMENU menu) const { ::DestroyMenu(menu); }
};
using TMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, TMenuDeleter>;

// Opens a mail or web link the way the desktop opens it.
using TLinkOpener = std::function<bool(const std::string &url)>;
bool OpenWithShell(const std::string &url);

// Hands the file at path to another program: the one the shell opens such files with, or (choose)
// the one the user picks in the shell's own "Open with" dialog, owned by owner.
using TFileOpener =
    std::function<logic::TMainView::TOpened(const std::string &path, bool choose, HWND owner)>;
logic::TMainView::TOpened OpenFileWithShell(const std::string &path, bool choose, HWND owner);

class TfrmKVBEditor : public TForm, public logic::TMainView {
public:
    // player plays the preview's music, openLink opens the two links and openFile hands edited
    // entries to other programs; the window owns none of them.
    TfrmKVBEditor(logic::TDialogs &dialogs, MediaPlayer &player, TLinkOpener openLink = OpenWithShell,
                  TFileOpener openFile = OpenFileWithShell);
    ~TfrmKVBEditor() override;

    logic::TKVBEditorLogic &Logic() { return logic_; }
    // Runs when the user has closed the window (the program then ends).
    std::function<void()> Closed;
    // Drags the files extracted for the rows dragged out of the entry list (tests watch it).
    std::function<void(const std::vector<std::string> &paths)> DragFiles = DragFilesOut;
    // The entry list's context menu for the selected row; its commands reach the window.
    TMenu EntryMenu();

    // The controls the window's description names, top to bottom. Status is the progress bar.
    HWND btnOpen = nullptr, btnExtract = nullptr, btnExtractAll = nullptr, edtFilter = nullptr,
         lblFilterCount = nullptr, lstFiles = nullptr, lstInfo = nullptr;
    HWND btnCreate = nullptr, btnAnalyse = nullptr, btnAdvanced = nullptr, cmbList = nullptr,
         Label5 = nullptr;
    HWND chkFullRead = nullptr, Label1 = nullptr, Label3 = nullptr, Label2 = nullptr, Label4 = nullptr;
    HWND lblPlaying = nullptr, btnStopMusic = nullptr;
    HWND lblStatus = nullptr, Status = nullptr, btnCancel = nullptr;

    // TMainView.
    void SetBlockLabels(const std::vector<std::string> &labels) override;
    void SelectBlockLabel(int index) override;
    int ChosenBlockLabel() const override;
    void SetEntryRows(const std::vector<TEntryRow> &rows) override;
    int SelectedEntryRow() const override;
    std::vector<int> SelectedEntryRows() const override;
    void SelectEntryRow(int row) override;
    void SelectAllEntryRows() override;
    void ShowSortColumn(int column, bool descending) override;
    std::string FilterText() const override;
    void SetFilterText(const std::string &text) override;
    void SetFilterCount(const std::string &text) override;
    void SetInfoLines(const std::vector<std::string> &lines) override;
    bool FullRead() const override;
    void SetProgressMaximum(int32_t maximum) override;
    void SetProgressPosition(int32_t position) override;
    void SetBusy(bool busy) override;
    void LetEventsRun() override;
    void SetStatus(const std::string &text) override;
    void CloseWindow() override;
    bool OpenLink(const std::string &url) override;
    TOpened OpenWithDefault(const std::string &path) override;
    TOpened OpenWithChosenProgram(const std::string &path) override;
    void WatchFile(const std::string &path) override;
    void AddRecentDocument(const std::string &path) override;
    void UnwatchFile(const std::string &path) override;
    void ShowPlaying(const std::string &text) override;

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnNotify(const NMHDR &header) override;
    void Layout(int width, int height) override;
    SIZE MinimumClientSize() const override;
    void FontChanged() override;
    bool OnKey(const MSG &message) override;

private:
    void CreateControls();
    void ShowEntryMenu(LPARAM at);
    void FilesDropped(HDROP drop);
    // The watch timer's tick: the folders the system reports changed, handed to the logic once
    // they have been quiet for a tick and no handler runs.
    void LookAtWatchedFolders();

    // A watched file's folder: the system's change notification on it, and whether it has
    // changed since the logic last heard.
    struct TWatch {
        HANDLE Notification = INVALID_HANDLE_VALUE;
        std::string File;
        bool Changed = false;
        bool ChangedThisTick = false;
    };

    TLinkOpener openLink_;
    TFileOpener openFile_;
    std::map<std::string, TWatch> watches_; // by folder
    std::unique_ptr<TDescribedControls> controls_;
    TFont linkFont_;
    std::unique_ptr<std::remove_pointer_t<HBRUSH>, TGdiDeleter> silver_;
    bool busy_ = false;
    logic::TKVBEditorLogic logic_;
};

} // namespace kvb::win32ui
