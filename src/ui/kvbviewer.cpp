#include "ui/kvbviewer.h"

#include "media/fluidsynth_player.h"
#include "qt/name_compare.h"
#include "ui/entry_list.h"
#include "ui/form_helpers.h"
#include "ui/link_label.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QUrl>
#include <QVBoxLayout>

namespace kvb::ui {

namespace {

// The window (and its dialogs) use Verdana at 11 pixels where it is installed.
QFont WindowFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (QFontDatabase::families().contains("Verdana"))
        font.setFamily("Verdana");
    font.setPixelSize(11);
    return font;
}

// The local files a drag brings.
std::vector<std::string> DroppedFiles(const QMimeData *data)
{
    std::vector<std::string> paths;
    if (data && data->hasUrls())
        for (const QUrl &url : data->urls())
            if (url.isLocalFile())
                paths.push_back(url.toLocalFile().toStdString());
    return paths;
}

} // namespace

TfrmKVBEditor::TfrmKVBEditor(logic::TDialogs &dialogs, MediaPlayer &player, QWidget *parent)
    : QMainWindow(parent), dialogs_(dialogs),
      logic_(*this, dialogs, player, LocaleNameSort(),
             [](const std::string &mid, const std::string &wav) {
                 RenderMidiToWav(mid, wav, FluidSynthSetup::FromEnvironment());
             })
{
    setObjectName("frmKVBEditor");
    setWindowTitle("KVB Editor");
    setFont(WindowFont());

    // The controls, which long work disables, above the progress row, which it does not.
    auto *central = new QWidget(this);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(6, 6, 6, 6);
    outer->setSpacing(4);
    setCentralWidget(central);
    controls_ = new QWidget(central);
    auto *layout = new QVBoxLayout(controls_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    outer->addWidget(controls_, 1);
    CreateButtons(layout);
    CreateLists(layout);
    CreateNotes(layout);
    CreateStatus(outer);
    ConnectEvents();

    // 300 pixels wide at first, centred on the screen; the lists grow with the window.
    resize(300, 575);
    setMinimumSize(300, minimumSizeHint().height());
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Forward([this] { logic_.FormCreate(); });
}

TfrmKVBEditor::~TfrmKVBEditor()
{
    logic_.FormDestroy();
}

void TfrmKVBEditor::Forward(const std::function<void()> &call)
{
    logic::Guarded(dialogs_, call);
}

void TfrmKVBEditor::ConnectEvents()
{
    logic::TKVBEditorLogic &l = logic_;
    On(this, dialogs_, btnOpen, &QPushButton::clicked, [&l] { l.btnOpenClick(); });
    On(this, dialogs_, btnExtract, &QPushButton::clicked, [&l] { l.btnExtractClick(); });
    On(this, dialogs_, btnExtractAll, &QPushButton::clicked, [&l] { l.btnExtractAllClick(); });
    On(this, dialogs_, btnCreate, &QPushButton::clicked, [&l] { l.btnCreateClick(); });
    On(this, dialogs_, btnAnalyse, &QPushButton::clicked, [&l] { l.btnAnalyseClick(); });
    On(this, dialogs_, btnAdvanced, &QPushButton::clicked, [&l] { l.btnAdvancedClick(); });
    On(this, dialogs_, cmbList, &QComboBox::activated, [&l] { l.cmbListChange(); });
    On(this, dialogs_, lstFiles, &QTreeWidget::itemDoubleClicked, [&l] { l.lstFilesDblClick(); });
    On(this, dialogs_, Label3, &TLinkLabel::clicked, [&l] { l.Label3Click(); });
    On(this, dialogs_, Label4, &TLinkLabel::clicked, [&l] { l.Label4Click(); });

    auto key = [this](QKeySequence keys, QWidget *parent, Qt::ShortcutContext context,
                      std::function<void()> call) {
        auto *shortcut = new QShortcut(keys, parent, nullptr, nullptr, context);
        On(this, dialogs_, shortcut, &QShortcut::activated, call);
    };
    key(QKeySequence(Qt::Key_Return), lstFiles, Qt::WidgetShortcut, [&l] { l.lstFilesDblClick(); });
    // Cancel, Escape and the close button act during long work too.
    connect(btnCancel, &QPushButton::clicked, this, [&l] { l.btnCancelClick(); });
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            [this, &l] { logic::GuardedDuringWork(dialogs_, [&l] { l.EscapePressed(); }); });
    key(QKeySequence::Find, this, Qt::WindowShortcut, [&l] { l.FindClick(); });
    key(QKeySequence::FindNext, this, Qt::WindowShortcut, [&l] { l.FindNextClick(); });
    key(QKeySequence(Qt::CTRL | Qt::Key_O), this, Qt::WindowShortcut, [&l] { l.btnOpenClick(); });
    key(QKeySequence(Qt::CTRL | Qt::Key_E), this, Qt::WindowShortcut, [&l] { l.btnExtractClick(); });

    lstFiles->ExtractForDrag = [&l](int row) { return l.ExtractForDrag(row); };
    lstFiles->DragFailed = [this](const std::exception &e) {
        dialogs_.Error(logic::ErrorBoxText(e.what()));
    };
    setAcceptDrops(true);
    lstFiles->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lstFiles, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        Forward([&] { EntryMenu()->exec(lstFiles->viewport()->mapToGlobal(at)); });
    });
}

std::unique_ptr<QMenu> TfrmKVBEditor::EntryMenu()
{
    const logic::TEntryMenu offer = logic_.EntryMenu();
    auto menu = std::make_unique<QMenu>(this);
    logic::TKVBEditorLogic &l = logic_;
    auto add = [&](const char *name, const char *text, bool enabled, std::function<void()> call) {
        QAction *action = menu->addAction(text);
        action->setObjectName(name);
        action->setEnabled(enabled);
        On(this, dialogs_, action, &QAction::triggered, call);
    };
    add("mnuExtract", "Extract...", offer.Selected, [&l] { l.btnExtractClick(); });
    add("mnuReplace", "Replace with file...", offer.Selected, [&l] { l.mnuReplaceClick(); });
    if (offer.Texture) {
        add("mnuExportPng", "Export as PNG...", true, [&l] { l.mnuExportPngClick(); });
        add("mnuImportPng", "Import PNG...", true, [&l] { l.mnuImportPngClick(); });
    }
    if (offer.Music)
        add("mnuSaveWav", "Save as WAV...", true, [&l] { l.mnuSaveWavClick(); });
    menu->addSeparator();
    add("mnuStopMusic", "Stop music", offer.Playing, [&l] { l.mnuStopMusicClick(); });
    return menu;
}

void TfrmKVBEditor::SetBlockLabels(const std::vector<std::string> &labels)
{
    cmbList->clear();
    for (const std::string &label : labels)
        cmbList->addItem(Q(label));
}

void TfrmKVBEditor::SelectBlockLabel(int index)
{
    cmbList->setCurrentIndex(index);
}

int TfrmKVBEditor::ChosenBlockLabel() const
{
    return cmbList->currentIndex();
}

void TfrmKVBEditor::SetEntryRows(const std::vector<TEntryRow> &rows)
{
    FillReportList(lstFiles, rows);
}

int TfrmKVBEditor::SelectedEntryRow() const
{
    return SelectedRow(lstFiles);
}

void TfrmKVBEditor::SelectEntryRow(int row)
{
    SelectReportRow(lstFiles, row, true);
}

void TfrmKVBEditor::SetInfoLines(const std::vector<std::string> &lines)
{
    lstInfo->clear();
    for (const std::string &line : lines)
        lstInfo->addItem(Q(line));
}

bool TfrmKVBEditor::FullRead() const
{
    return chkFullRead->isChecked();
}

void TfrmKVBEditor::SetProgressMaximum(int32_t maximum)
{
    Status->setMaximum(maximum);
}

void TfrmKVBEditor::SetProgressPosition(int32_t position)
{
    Status->setValue(position);
}

void TfrmKVBEditor::SetBusy(bool busy)
{
    controls_->setEnabled(!busy);
    btnCancel->setEnabled(busy);
    if (busy) {
        btnCancel->setFocus();
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

void TfrmKVBEditor::LetEventsRun()
{
    QCoreApplication::processEvents();
}

void TfrmKVBEditor::SetStatus(const std::string &text)
{
    lblStatus->setText(Q(text));
}

void TfrmKVBEditor::CloseWindow()
{
    // After the event being handled: the work's handler still runs below this call.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TfrmKVBEditor::OpenLink(const std::string &url)
{
    QDesktopServices::openUrl(QUrl(Q(url)));
}

void TfrmKVBEditor::closeEvent(QCloseEvent *event)
{
    bool close = true;
    logic::GuardedDuringWork(dialogs_, [&] { close = logic_.FormCloseQuery(); });
    if (!close) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TfrmKVBEditor::dragEnterEvent(QDragEnterEvent *event)
{
    if (!logic_.Busy() && logic::TKVBEditorLogic::IsDroppedArchive(DroppedFiles(event->mimeData())))
        event->acceptProposedAction();
}

void TfrmKVBEditor::dropEvent(QDropEvent *event)
{
    const std::vector<std::string> files = DroppedFiles(event->mimeData());
    if (logic_.Busy() || !logic::TKVBEditorLogic::IsDroppedArchive(files))
        return;
    event->acceptProposedAction();
    Forward([&] { logic_.FilesDropped(files); });
}

} // namespace kvb::ui
