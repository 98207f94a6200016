// TfrmKVBEditor: the main window as Qt draws it. It builds the controls, forwards every event to
// the window's logic (logic/main_window.h) and shows what the logic asks for.
#pragma once

#include "logic/main_window.h"
#include "ui/dialogs.h"

#include <QMainWindow>
#include <QSet>
#include <QString>

#include <memory>

class QCheckBox;
class QComboBox;
class QFileSystemWatcher;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;

namespace kvb {
class MediaPlayer;
}

namespace kvb::ui {

class TDescribedControls;
class TEntryList;
class TLinkLabel;
class TStatusLabel;

class TfrmKVBEditor : public QMainWindow, public logic::TMainView {
    Q_OBJECT
public:
    // player plays the preview's music; the window does not own it.
    TfrmKVBEditor(logic::TDialogs &dialogs, MediaPlayer &player, QWidget *parent = nullptr);
    ~TfrmKVBEditor() override;

    logic::TKVBEditorLogic &Logic() { return logic_; }
    // The entry list's context menu for the selected row, as the window's description has it.
    std::unique_ptr<QMenu> EntryMenu();

    // The controls the window's description names, top to bottom. Status is the progress bar.
    QPushButton *btnOpen, *btnExtract, *btnExtractAll;
    QLineEdit *edtFilter;
    QLabel *lblFilterCount;
    TEntryList *lstFiles;
    QListWidget *lstInfo;
    QPushButton *btnCreate, *btnAnalyse, *btnAdvanced;
    QComboBox *cmbList;
    QLabel *Label5;
    QCheckBox *chkFullRead;
    QLabel *Label1;
    TLinkLabel *Label3;
    QLabel *Label2;
    TLinkLabel *Label4;
    QLabel *lblPlaying;
    QPushButton *btnStopMusic;
    TStatusLabel *lblStatus;
    QProgressBar *Status;
    QPushButton *btnCancel;

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
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void ConnectEvents();
    // Runs call inside the error guard: what every event of the window does.
    void Forward(const std::function<void()> &call);
    // A watched file or folder changed; the logic hears of it shortly, once no handler runs.
    void WatchedPathChanged(const QString &path);
    void DeliverChanges();

    logic::TDialogs &dialogs_;
    std::unique_ptr<TDescribedControls> controls_;
    QFileSystemWatcher *watcher_;
    QSet<QString> watchedFiles_;
    QSet<QString> changedPaths_;
    QTimer *changeDelay_;
    QTimer *playback_; // looks at the player while the playing line is shown
    logic::TKVBEditorLogic logic_;
};

} // namespace kvb::ui
