// TfrmKVBEditor: the main window. It owns the open catalogue, lists its entries one block of
// 1,000 at a time, shows the info lines and hosts every tool of the program.
#pragma once

#include "archive/catalogue.h"
#include "ui/dialogs.h"
#include "ui/entry_list.h"
#include "platform/media_player.h"
#include "ui/kapdlg.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QMimeData;
class QPoint;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kvb::ui {

class TLinkLabel;
class TfrmTexView;
class TfrmAdvanced;

class TfrmKVBEditor : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmKVBEditor(Dialogs &dialogs, QWidget *parent = nullptr);
    ~TfrmKVBEditor() override;

    // The windows created after this one at start-up.
    void SetSecondaryWindows(TfrmTexView *texView, TfrmAdvanced *advanced);

    // Handlers. Each is connected through Guarded, so a failure shows an error box.
    void FormCreate();
    void btnOpenClick();
    void cmbListChange();
    void FillFileList();
    void ShowProgress(int32_t position, int32_t maximum);
    void btnExtractClick();
    void btnExtractAllClick();
    void lstFilesDblClick();
    void btnCreateClick();
    void btnAnalyseClick();
    void Label3Click();
    void Label4Click();
    // Hands the open archive to the advanced editor; afterwards no archive is open.
    void btnAdvancedClick();
    void FormDestroy();

    // The list's context menu (right button or the menu key) for the selected entry; the menu
    // belongs to the caller. Its actions carry object names: mnuExtract, mnuReplace,
    // mnuExportPng and mnuImportPng (textures), mnuSaveWav (music), mnuStopMusic.
    std::unique_ptr<QMenu> EntryMenu();
    void lstFilesContextMenu(const QPoint &position);
    void mnuReplaceClick();
    void mnuExportPngClick();
    void mnuImportPngClick();
    void mnuSaveWavClick();
    void mnuStopMusicClick();
    // Ctrl+F asks for part of a name and selects the next entry holding it (ASCII case
    // ignored), in whichever block it lies; F3 finds the next one.
    void FindClick();
    void FindNextClick();

    // Dragging a row out extracts its entry into a folder of its own in the private temporary
    // folder and hands that file over; dropping a .KVB file onto the window opens it.
    std::string ExtractForDrag(QTreeWidgetItem *row);
    // The archive a drop brings, or nothing.
    static std::optional<QString> DroppedArchive(const QMimeData *data);

    // The player behind Media; tests put in one of their own.
    void SetMediaPlayer(std::unique_ptr<MediaPlayer> player) { Media = std::move(player); }

    // Opens an archive as if it had been chosen in "Open KVB".
    void OpenArchive(const QString &fileName);

    // The open catalogue, or none.
    const TKVBFile *Catalogue() const { return catalogue_.get(); }
    void ReleaseCatalogue() { catalogue_.reset(); }

    // Controls, top to bottom.
    QPushButton *btnOpen;
    QPushButton *btnExtract;
    QPushButton *btnExtractAll;
    TEntryList *lstFiles;
    QListWidget *lstInfo;
    QPushButton *btnCreate;
    QPushButton *btnAnalyse;
    QPushButton *btnAdvanced;
    QComboBox *cmbList;
    QLabel *Label5;
    QCheckBox *chkFullRead;
    QLabel *Label1;
    TLinkLabel *Label3;
    QLabel *Label2;
    TLinkLabel *Label4;
    QProgressBar *Status;
    std::unique_ptr<MediaPlayer> Media; // hidden: plays the music of the preview

    // Dialogs of the window.
    FileDialogOptions opnKVB;
    FileDialogOptions savKVB;
    FileDialogOptions savAny;
    FileDialogOptions opnAny;
    FileDialogOptions opnPng;
    FileDialogOptions savPng;
    FileDialogOptions savWav;
    TFolderDialog selFolder;

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void BuildControls();
    void ShowTexture(const std::string &path);
    // The selected row's record index, or -1 (after a notice) when no row is selected.
    int SelectedIndex();
    // Asks, naming the file the user chose, then rebuilds the archive with entry index's data
    // replaced by file, and opens it again showing the same block with the entry selected.
    void ReplaceEntryWith(int index, const std::string &file, const std::string &chosen);
    void ShowInfoLines(const std::vector<std::string> &lines);
    // Lets the window repaint during long work; user input waits until the work is done.
    void KeepPainting();

    // Disables the window for the length of a long operation; closing waits for its end.
    class BusyScope {
    public:
        explicit BusyScope(TfrmKVBEditor &window);
        ~BusyScope();

    private:
        TfrmKVBEditor &window_;
    };

    Dialogs &dialogs_;
    std::unique_ptr<TKVBFile> catalogue_;
    QString openedFileName_; // the name chosen in "Open KVB", for the info lines
    TfrmTexView *frmTexView_ = nullptr;
    TfrmAdvanced *frmAdvanced_ = nullptr;
    bool busy_ = false;
    QString findText_;
    int64_t lastPaint_ = 0;
};

} // namespace kvb::ui
