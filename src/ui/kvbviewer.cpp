#include "ui/kvbviewer.h"

#include "media/fluidsynth_player.h"
#include "qt/name_compare.h"
#include "ui/described_form.h"
#include "ui/recent_documents.h"
#include "ui/status_label.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <utility>

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

// An editor saves in several steps (a new file, a rename, its attributes): the logic hears of
// them together, a moment after the first.
constexpr int kChangeDelayMs = 100;
// How often the player is asked whether its music still plays.
constexpr int kPlaybackLookMs = 250;

} // namespace

TfrmKVBEditor::TfrmKVBEditor(logic::TDialogs &dialogs, MediaPlayer &player, QWidget *parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      watcher_(new QFileSystemWatcher(this)),
      changeDelay_(new QTimer(this)),
      playback_(new QTimer(this)),
      logic_(*this, dialogs, player, LocaleNameSort(),
             [](const std::string &mid, const std::string &wav) {
                 RenderMidiToWav(mid, wav, FluidSynthSetup::FromEnvironment());
             })
{
    const auto &description = logic::TKVBEditorLogic::Description();
    setObjectName(Q(description.Name));
    setWindowTitle(Q(description.Caption));
    setFont(WindowFont());

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 6);
    setCentralWidget(central);
    controls_ =
        std::make_unique<TDescribedControls>(central, description.Looks(), description.Layout, layout);
    const TDescribedControls &c = *controls_;
    btnOpen = c.Get<QPushButton>("btnOpen");
    btnExtract = c.Get<QPushButton>("btnExtract");
    btnExtractAll = c.Get<QPushButton>("btnExtractAll");
    edtFilter = c.Get<QLineEdit>("edtFilter");
    lblFilterCount = c.Get<QLabel>("lblFilterCount");
    lstFiles = c.Get<TEntryList>("lstFiles");
    lstInfo = c.Get<QListWidget>("lstInfo");
    btnCreate = c.Get<QPushButton>("btnCreate");
    btnAnalyse = c.Get<QPushButton>("btnAnalyse");
    btnAdvanced = c.Get<QPushButton>("btnAdvanced");
    cmbList = c.Get<QComboBox>("cmbList");
    Label5 = c.Get<QLabel>("Label5");
    chkFullRead = c.Get<QCheckBox>("chkFullRead");
    Label1 = c.Get<QLabel>("Label1");
    Label3 = c.Get<TLinkLabel>("Label3");
    Label2 = c.Get<QLabel>("Label2");
    Label4 = c.Get<TLinkLabel>("Label4");
    lblPlaying = c.Get<QLabel>("lblPlaying");
    btnStopMusic = c.Get<QPushButton>("btnStopMusic");
    lblStatus = c.Get<TStatusLabel>("lblStatus");
    Status = c.Get<QProgressBar>("Status");
    btnCancel = c.Get<QPushButton>("btnCancel");
    ConnectEvents();

    // At its first size, centred on the screen, as far as the screen has room; the lists grow
    // with the window.
    setMinimumSize(LeastSize(central, description.LeastWidth));
    PlaceOnScreen(this, QSize(description.Width, description.Height));

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
    Bind(this, dialogs_, logic_, logic::TKVBEditorLogic::Description(), *controls_);
    logic::TKVBEditorLogic &l = logic_;
    lstFiles->AllowDragging([&l](const std::vector<int> &rows) { return l.ExtractForDrag(rows); },
                            [this](const std::exception &e) {
                                dialogs_.Error(logic::ErrorBoxText(e.what()));
                            });
    setAcceptDrops(true);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, &TfrmKVBEditor::WatchedPathChanged);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &TfrmKVBEditor::WatchedPathChanged);
    changeDelay_->setSingleShot(true);
    changeDelay_->setInterval(kChangeDelayMs);
    connect(changeDelay_, &QTimer::timeout, this, &TfrmKVBEditor::DeliverChanges);
    playback_->setInterval(kPlaybackLookMs);
    connect(playback_, &QTimer::timeout, this, [this] { Forward([this] { logic_.PlaybackTick(); }); });
    lstFiles->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lstFiles, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        Forward([&] { EntryMenu()->exec(lstFiles->viewport()->mapToGlobal(at)); });
    });
}

std::unique_ptr<QMenu> TfrmKVBEditor::EntryMenu()
{
    return DescribedMenu(this, dialogs_, logic_, logic::TKVBEditorLogic::Description());
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

std::vector<int> TfrmKVBEditor::SelectedEntryRows() const
{
    return SelectedRows(lstFiles);
}

void TfrmKVBEditor::SelectEntryRow(int row)
{
    SelectReportRow(lstFiles, row, true);
}

void TfrmKVBEditor::SelectAllEntryRows()
{
    lstFiles->selectAll();
}

void TfrmKVBEditor::ShowSortColumn(int column, bool descending)
{
    QHeaderView *header = lstFiles->header();
    header->setSortIndicatorShown(column >= 0);
    if (column >= 0)
        header->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

std::string TfrmKVBEditor::FilterText() const
{
    return edtFilter->text().toStdString();
}

void TfrmKVBEditor::SetFilterText(const std::string &text)
{
    edtFilter->setText(Q(text));
}

void TfrmKVBEditor::SetFilterCount(const std::string &text)
{
    lblFilterCount->setText(Q(text));
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
    controls_->SetBusy(busy);
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
    lblStatus->SetFullText(Q(text));
}

void TfrmKVBEditor::CloseWindow()
{
    // After the event being handled: the work's handler still runs below this call.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

bool TfrmKVBEditor::OpenLink(const std::string &url)
{
    return QDesktopServices::openUrl(QUrl(Q(url)));
}

TfrmKVBEditor::TOpened TfrmKVBEditor::OpenWithDefault(const std::string &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(Q(path))) ? TOpened::Opened : TOpened::NoProgram;
}

TfrmKVBEditor::TOpened TfrmKVBEditor::OpenWithChosenProgram(const std::string &path)
{
    // Qt has no chooser of programs, and the desktop portal's own (OpenURI, asking) is there only
    // where a portal runs: the user picks the program's file, which is started on its own.
    const std::optional<std::string> program = dialogs_.OpenFile({"All files|*.*", {}, {}, "/usr/bin"});
    if (!program)
        return TOpened::Cancelled;
    const QFileInfo chosen(Q(*program));
    if (!chosen.isFile() || !chosen.isExecutable() ||
        !QProcess::startDetached(chosen.absoluteFilePath(), {Q(path)}))
        return TOpened::NoProgram;
    return TOpened::Opened;
}

void TfrmKVBEditor::AddRecentDocument(const std::string &path)
{
    ui::AddRecentDocument(path, "application/x-kvb-archive");
}

void TfrmKVBEditor::ShowPlaying(const std::string &text)
{
    lblPlaying->setText(Q(text));
    lblPlaying->setVisible(!text.empty());
    btnStopMusic->setVisible(!text.empty());
    if (text.empty())
        playback_->stop();
    else
        playback_->start();
}

void TfrmKVBEditor::WatchFile(const std::string &path)
{
    // The folder too: an editor that saves by renaming a new file onto the old one ends the
    // old file's watch.
    watchedFiles_.insert(Q(path));
    watcher_->addPath(Q(path));
    watcher_->addPath(QFileInfo(Q(path)).absolutePath());
}

void TfrmKVBEditor::UnwatchFile(const std::string &path)
{
    watchedFiles_.remove(Q(path));
    watcher_->removePath(Q(path));
    watcher_->removePath(QFileInfo(Q(path)).absolutePath());
}

void TfrmKVBEditor::WatchedPathChanged(const QString &path)
{
    // A file renamed onto a watched one is watched in its place.
    const QStringList files = watcher_->files();
    for (const QString &file : std::as_const(watchedFiles_))
        if (!files.contains(file) && QFileInfo::exists(file))
            watcher_->addPath(file);
    changedPaths_.insert(path);
    changeDelay_->start();
}

void TfrmKVBEditor::DeliverChanges()
{
    // A handler that waits in a dialog may be working on the archive that a change would rewrite.
    if (logic::HandlerRunning()) {
        changeDelay_->start();
        return;
    }
    for (const QString &path : std::exchange(changedPaths_, {}))
        Forward([&] { logic_.EditedFileChanged(path.toStdString()); });
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
    // Rows dragged out of the list come back as the entries' own files: nothing to replace.
    if (!event->source() && logic_.AcceptsDrop(DroppedFiles(event->mimeData())))
        event->acceptProposedAction();
}

void TfrmKVBEditor::dropEvent(QDropEvent *event)
{
    const std::vector<std::string> files = DroppedFiles(event->mimeData());
    if (event->source() || !logic_.AcceptsDrop(files))
        return;
    event->acceptProposedAction();
    // After the drop has ended: the desktop's drag waits for it, and the questions are modal.
    QTimer::singleShot(0, this, [this, files] { Forward([&] { logic_.FilesDropped(files); }); });
}

} // namespace kvb::ui
