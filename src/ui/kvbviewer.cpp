#include "ui/kvbviewer.h"

#include "archive/extract.h"
#include "archive/info_lines.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/fluidsynth_player.h"
#include "platform/game_folder.h"
#include "platform/stream.h"
#include "preview/entry_preview.h"
#include "platform/temp_dir.h"
#include "preview/png_image.h"
#include "preview/tex.h"
#include "preview/tex_encode.h"
#include "qt/name_compare.h"
#include "qt/tex_image.h"
#include "tools/analysis.h"
#include "tools/creation.h"
#include "tools/rebuild.h"
#include "ui/blocks.h"
#include "ui/entry_list.h"
#include "ui/form_helpers.h"
#include "ui/kvbadv.h"
#include "ui/kvbpreview.h"
#include "ui/link_label.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
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
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace kvb::ui {

namespace {

const QString kArchiveFilter = QStringLiteral("KVB Archives (*.KVB *.kvb);;All files (*)");

// The window (and its dialogs) use Verdana at 11 pixels where it is installed.
QFont WindowFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (QFontDatabase::families().contains("Verdana"))
        font.setFamily("Verdana");
    font.setPixelSize(11);
    return font;
}

// The catalogue reports progress through a plain function; it reaches the window through this.
TfrmKVBEditor *progressWindow = nullptr;
void ProgressToWindow(int32_t position, int32_t maximum)
{
    if (progressWindow)
        progressWindow->ShowProgress(position, maximum);
}

} // namespace

TfrmKVBEditor::TfrmKVBEditor(Dialogs &dialogs, QWidget *parent)
    : QMainWindow(parent), Media(std::make_unique<FluidSynthPlayer>()), selFolder(dialogs),
      dialogs_(dialogs)
{
    setObjectName("frmKVBEditor");
    setWindowTitle("KVB Editor");
    setFont(WindowFont());
    BuildControls();

    opnKVB = {kArchiveFilter, "KVB", {}};
    savKVB = {kArchiveFilter, "KVB", {}};
    savAny = {QStringLiteral("All files (*)"), {}, {}};
    opnAny = {QStringLiteral("All files (*)"), {}, {}};
    opnPng = {QStringLiteral("PNG images (*.png *.PNG);;All files (*)"), {}, {}};
    savPng = {QStringLiteral("PNG images (*.png *.PNG);;All files (*)"), "png", {}};
    savWav = {QStringLiteral("WAV sound (*.wav *.WAV);;All files (*)"), "wav", {}};

    On(this, dialogs_, btnOpen, &QPushButton::clicked, &TfrmKVBEditor::btnOpenClick);
    On(this, dialogs_, btnExtract, &QPushButton::clicked, &TfrmKVBEditor::btnExtractClick);
    On(this, dialogs_, btnExtractAll, &QPushButton::clicked, &TfrmKVBEditor::btnExtractAllClick);
    On(this, dialogs_, cmbList, &QComboBox::activated, &TfrmKVBEditor::cmbListChange);
    On(this, dialogs_, lstFiles, &QTreeWidget::itemDoubleClicked, &TfrmKVBEditor::lstFilesDblClick);
    auto *previewKey = new QShortcut(QKeySequence(Qt::Key_Return), lstFiles, nullptr, nullptr,
                                     Qt::WidgetShortcut);
    On(this, dialogs_, previewKey, &QShortcut::activated, &TfrmKVBEditor::lstFilesDblClick);
    On(this, dialogs_, Label3, &TLinkLabel::clicked, &TfrmKVBEditor::Label3Click);
    On(this, dialogs_, Label4, &TLinkLabel::clicked, &TfrmKVBEditor::Label4Click);
    On(this, dialogs_, btnCreate, &QPushButton::clicked, &TfrmKVBEditor::btnCreateClick);
    On(this, dialogs_, btnAnalyse, &QPushButton::clicked, &TfrmKVBEditor::btnAnalyseClick);
    On(this, dialogs_, btnAdvanced, &QPushButton::clicked, &TfrmKVBEditor::btnAdvancedClick);
    lstFiles->ExtractForDrag = [this](QTreeWidgetItem *row) { return ExtractForDrag(row); };
    lstFiles->DragFailed = [this](const std::exception &e) {
        dialogs_.Error(ErrorBoxText(QString::fromUtf8(e.what())));
    };
    setAcceptDrops(true);
    lstFiles->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lstFiles, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint &position) { Guarded(dialogs_, [&] { lstFilesContextMenu(position); }); });
    auto key = [this](QKeySequence sequence, void (TfrmKVBEditor::*handler)()) {
        On(this, dialogs_, new QShortcut(sequence, this), &QShortcut::activated, handler);
    };
    key(QKeySequence(Qt::Key_Escape), &TfrmKVBEditor::mnuStopMusicClick);
    key(QKeySequence::Find, &TfrmKVBEditor::FindClick);
    key(QKeySequence::FindNext, &TfrmKVBEditor::FindNextClick);
    key(QKeySequence(Qt::CTRL | Qt::Key_O), &TfrmKVBEditor::btnOpenClick);
    key(QKeySequence(Qt::CTRL | Qt::Key_E), &TfrmKVBEditor::btnExtractClick);

    Guarded(dialogs_, [this] { FormCreate(); });
}

TfrmKVBEditor::~TfrmKVBEditor()
{
    FormDestroy();
    if (progressWindow == this)
        progressWindow = nullptr;
}

void TfrmKVBEditor::SetSecondaryWindows(TfrmTexView *texView, TfrmAdvanced *advanced)
{
    frmTexView_ = texView;
    frmAdvanced_ = advanced;
}

void TfrmKVBEditor::BuildControls()
{
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 0);
    layout->setSpacing(5);
    setCentralWidget(central);

    auto button = [central](const char *name, const char *text) {
        auto *b = new QPushButton(text, central);
        b->setObjectName(name);
        PressOnEnter(b);
        return b;
    };
    auto row = [layout](std::initializer_list<QWidget *> widgets) {
        auto *h = new QHBoxLayout;
        h->setSpacing(4);
        for (QWidget *w : widgets)
            h->addWidget(w);
        layout->addLayout(h);
        return h;
    };

    btnOpen = button("btnOpen", "Open KVB");
    btnExtract = button("btnExtract", "Extract");
    btnExtractAll = button("btnExtractAll", "Extract all");
    row({btnOpen, btnExtract, btnExtractAll});

    lstFiles = new TEntryList(central);
    SetUpReportList(lstFiles, "lstFiles",
                    {{"Filename", 100}, {"Table start", 75}, {"File length", 75}});
    lstFiles->setMinimumHeight(250);
    layout->addWidget(lstFiles);

    lstInfo = InfoList(central);
    lstInfo->setFixedHeight(110);
    layout->addWidget(lstInfo);

    btnCreate = button("btnCreate", "Create KVB");
    btnAnalyse = button("btnAnalyse", "Analyse KVB");
    btnAdvanced = button("btnAdvanced", "Advanced...");
    row({btnCreate, btnAnalyse, btnAdvanced});

    cmbList = new QComboBox(central);
    cmbList->setObjectName("cmbList");
    cmbList->setEditable(false);
    SetShownBlock(cmbList, -1);
    layout->addWidget(cmbList);

    Label5 = new QLabel("The editor can only display 1,000 (!) files at once. Archives with more "
                        "files in them are split up into 1,000 file 'blocks'.",
                        central);
    Label5->setObjectName("Label5");
    Label5->setAlignment(Qt::AlignHCenter);
    Label5->setWordWrap(true);
    layout->addWidget(Label5);

    chkFullRead = new QCheckBox("Read lengths (slower loading when on)", central);
    chkFullRead->setObjectName("chkFullRead");
    chkFullRead->setChecked(true);
    layout->addWidget(chkFullRead);

    Label1 = new QLabel("Questions or bug reports: ", central);
    Label1->setObjectName("Label1");
    Label3 = new TLinkLabel("Mail Tarnwick", central);
    Label3->setObjectName("Label3");
    row({Label1, Label3})->addStretch();

    Label2 = new QLabel("Check for updates at ", central);
    Label2->setObjectName("Label2");
    Label4 = new TLinkLabel("Tarnwick's website", central);
    Label4->setObjectName("Label4");
    row({Label2, Label4})->addStretch();

    Status = new QProgressBar(central);
    Status->setObjectName("Status");
    Status->setRange(0, 100);
    Status->setValue(0);
    Status->setTextVisible(false);
    Status->setFixedHeight(16);
    layout->addWidget(Status);

    // A fixed-size window, centred on the screen.
    setFixedSize(300, sizeHint().height());
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmKVBEditor::FormCreate()
{
    std::optional<std::string> appPath = FindGameAppPath();
    if (!appPath)
        return;
    EnterGameDataFolder(GameDataFolder(*appPath));
}

void TfrmKVBEditor::btnOpenClick()
{
    std::optional<QString> fileName = dialogs_.OpenFile(opnKVB);
    if (!fileName)
        return;
    OpenArchive(*fileName);
}

void TfrmKVBEditor::OpenArchive(const QString &fileName)
{
    progressWindow = this;
    ProgressHook = ProgressToWindow;

    std::unique_ptr<TKVBFile> catalogue;
    {
        BusyScope busy(*this);
        catalogue = std::make_unique<TKVBFile>(fileName.toStdString(), chkFullRead->isChecked());
    }
    catalogue_ = std::move(catalogue);
    openedFileName_ = QFileInfo(fileName).fileName();
    if (catalogue_->Note())
        dialogs_.Notice(QString::fromStdString(*catalogue_->Note()));

    FillBlockLabels(cmbList, catalogue_->Count());
    SetShownBlock(cmbList, -1);
    cmbList->setCurrentIndex(0);
    cmbListChange();

    ShowInfoLines(CatalogueInfoLines(*catalogue_, openedFileName_.toStdString()));
}

void TfrmKVBEditor::ShowInfoLines(const std::vector<std::string> &lines)
{
    lstInfo->clear();
    for (const auto &line : lines)
        lstInfo->addItem(QString::fromStdString(line));
}

void TfrmKVBEditor::ShowProgress(int32_t position, int32_t maximum)
{
    if (position == 1)
        Status->setMaximum(maximum);
    Status->setValue(position);
    KeepPainting();
}

void TfrmKVBEditor::KeepPainting()
{
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    if (now - lastPaint_ < 50)
        return;
    lastPaint_ = now;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfrmKVBEditor::cmbListChange()
{
    if (TakeChosenBlock(cmbList))
        FillFileList();
}

void TfrmKVBEditor::FillFileList()
{
    if (!catalogue_)
        return;
    FillBlock(lstFiles, cmbList, catalogue_->EntryCount(), [this](int index) {
        TKVB_Entry entry = catalogue_->GetEntry(index);
        return QStringList{Shown(entry.Name), QString::number(entry.Offset),
                           QString::number(entry.Length)};
    });
}

void TfrmKVBEditor::btnExtractClick()
{
    QTreeWidgetItem *item = lstFiles->currentItem();
    if (!item || !item->isSelected() || !catalogue_) {
        dialogs_.Notice("Select a file to extract first!");
        return;
    }
    const int index = RecordIndex(lstFiles, item, cmbList);
    TKVB_Entry entry = catalogue_->GetEntry(index);

    // Only a plain name is offered; anything else would point the dialog outside its folder.
    savAny.fileName = IsSafeEntryName(entry.Name) ? Shown(entry.Name) : QString();
    std::optional<QString> target = dialogs_.SaveFile(savAny);
    if (!target)
        return;

    TFileStream source(catalogue_->FileName(), TFileStream::Mode::OpenRead);
    ExtractEntry(source, entry, target->toStdString());
}

void TfrmKVBEditor::btnExtractAllClick()
{
    if (!catalogue_) {
        dialogs_.Notice("No archive is open. Open a KVB file first!");
        return;
    }
    if (!selFolder.Execute())
        return;

    BusyScope busy(*this);
    ExtractAll(*catalogue_, selFolder.Path().toStdString(),
               [this](int32_t position, int32_t maximum) { ShowProgress(position, maximum); });
}

void TfrmKVBEditor::lstFilesDblClick()
{
    QTreeWidgetItem *item = lstFiles->currentItem();
    if (!item || !item->isSelected() || !catalogue_)
        return;
    const int index = RecordIndex(lstFiles, item, cmbList);
    PreviewEntry(*catalogue_, index, item->text(0).toStdString(), *Media,
                 {[this](const std::string &text) { dialogs_.Notice(QString::fromStdString(text)); },
                  [this](const std::string &path) { ShowTexture(path); }});
}

void TfrmKVBEditor::ShowTexture(const std::string &path)
{
    const TTexImage texture = ReadTexFile(path);
    // A window of no width or height would vanish without a word.
    if (texture.Width == 0 || texture.Height == 0) {
        dialogs_.Notice("The texture has no pixels (" + QString::number(texture.Width) + " x " +
                        QString::number(texture.Height) + "), so there is nothing to show.");
        return;
    }
    frmTexView_->ShowPicture(texture.Width, texture.Height, TexImageToQImage(texture));
}

void TfrmKVBEditor::btnCreateClick()
{
    dialogs_.Notice(QString::fromStdString(kCreateWarning));
    if (!selFolder.Execute())
        return;
    std::optional<QString> output = dialogs_.SaveFile(savKVB);
    if (!output)
        return;

    try {
        BusyScope busy(*this);
        CreateArchive(selFolder.Path().toStdString(), output->toStdString(), {},
                      LocaleNameSort(),
                      [this](int32_t position, int32_t maximum) { ShowProgress(position, maximum); });
    } catch (const ENoTemplateError &e) {
        dialogs_.Notice(QString::fromStdString(e.what()));
    }
}

void TfrmKVBEditor::btnAnalyseClick()
{
    if (!catalogue_) {
        dialogs_.Notice(QString::fromStdString(kAnalyseWithoutArchiveMessage));
        return;
    }
    // Lengths and name checks are needed for every entry, whatever the check box says.
    std::unique_ptr<TKVBFile> reread;
    {
        BusyScope busy(*this);
        reread = std::make_unique<TKVBFile>(catalogue_->FileName(), true);
    }
    catalogue_ = std::move(reread);

    // A report that stops early still shows the lines it had.
    std::vector<std::string> lines;
    try {
        AnalyseArchive(*catalogue_, openedFileName_.toStdString(), lines);
    } catch (...) {
        if (!lines.empty())
            ShowInfoLines(lines);
        throw;
    }
    ShowInfoLines(lines);
}

void TfrmKVBEditor::Label3Click()
{
    QDesktopServices::openUrl(QUrl(QStringLiteral(KVB_AUTHOR_MAIL_URL)));
}

void TfrmKVBEditor::Label4Click()
{
    QDesktopServices::openUrl(QUrl(QStringLiteral(KVB_AUTHOR_WEB_URL)));
}

void TfrmKVBEditor::btnAdvancedClick()
{
    if (!catalogue_) {
        dialogs_.Notice("Open an KVB file first!");
        return;
    }
    if (!frmAdvanced_->OpenForEdit(catalogue_->FileName()))
        return;
    frmAdvanced_->exec();

    // The archive may have changed under the catalogue.
    ReleaseCatalogue();
    lstInfo->clear();
    lstInfo->addItem("No file open.");
    lstFiles->setUpdatesEnabled(false);
    lstFiles->clear();
    lstFiles->setUpdatesEnabled(true);
}

std::unique_ptr<QMenu> TfrmKVBEditor::EntryMenu()
{
    auto menu = std::make_unique<QMenu>(this);
    auto add = [&](const char *name, const char *text, void (TfrmKVBEditor::*handler)()) {
        QAction *action = menu->addAction(text);
        action->setObjectName(name);
        On(this, dialogs_, action, &QAction::triggered, handler);
        return action;
    };
    QTreeWidgetItem *item = lstFiles->currentItem();
    const bool selected = item && item->isSelected() && catalogue_;
    const std::string extension = selected ? PreviewExtension(item->text(0).toStdString()) : "";
    add("mnuExtract", "Extract...", &TfrmKVBEditor::btnExtractClick)->setEnabled(selected);
    add("mnuReplace", "Replace with file...", &TfrmKVBEditor::mnuReplaceClick)->setEnabled(selected);
    if (extension == ".TEX") {
        add("mnuExportPng", "Export as PNG...", &TfrmKVBEditor::mnuExportPngClick);
        add("mnuImportPng", "Import PNG...", &TfrmKVBEditor::mnuImportPngClick);
    }
    if (extension == ".MID")
        add("mnuSaveWav", "Save as WAV...", &TfrmKVBEditor::mnuSaveWavClick);
    menu->addSeparator();
    add("mnuStopMusic", "Stop music", &TfrmKVBEditor::mnuStopMusicClick)
        ->setEnabled(Media && Media->QueryMode() == MediaMode::Playing);
    return menu;
}

void TfrmKVBEditor::lstFilesContextMenu(const QPoint &position)
{
    std::unique_ptr<QMenu> menu = EntryMenu();
    menu->exec(lstFiles->viewport()->mapToGlobal(position));
}

int TfrmKVBEditor::SelectedIndex()
{
    QTreeWidgetItem *item = lstFiles->currentItem();
    if (!item || !item->isSelected() || !catalogue_) {
        dialogs_.Notice("Select a file first!");
        return -1;
    }
    return RecordIndex(lstFiles, item, cmbList);
}

void TfrmKVBEditor::ReplaceEntryWith(int index, const std::string &file, const std::string &chosen)
{
    const std::string archive = catalogue_->FileName();
    const QString question =
        "The archive file " + openedFileName_ + " will be rewritten, with the data of entry " +
        Shown(catalogue_->GetEntry(index).Name) + " replaced by " +
        QString::fromStdString(FileNameOf(chosen)) +
        ". Everything else stays as it is. Continue?";
    if (!dialogs_.Question(question, "Replace entry"))
        return;
    std::optional<std::string> note;
    {
        BusyScope busy(*this);
        ReplaceEntries(
            archive, {{index, file}}, {},
            [this](int32_t position, int32_t maximum) {
                Status->setMaximum(maximum);
                Status->setValue(position);
                KeepPainting();
            },
            &note);
    }
    if (note)
        dialogs_.Notice(QString::fromStdString(*note));
    // The archive on disk is a new one: the catalogue is read again, at the same place.
    OpenArchive(QString::fromStdString(archive));
    ShowRecord(lstFiles, cmbList, index, [this] { FillFileList(); });
}

void TfrmKVBEditor::FindClick()
{
    std::optional<QString> text = dialogs_.AskText("Find the next entry whose name contains:", "Find");
    if (!text)
        return;
    findText_ = *text;
    FindNextClick();
}

void TfrmKVBEditor::FindNextClick()
{
    if (findText_.isEmpty()) {
        FindClick();
        return;
    }
    if (!catalogue_)
        return;
    QTreeWidgetItem *item = lstFiles->currentItem();
    const int after = item && item->isSelected() ? RecordIndex(lstFiles, item, cmbList) : -1;
    const std::optional<std::string> part = Utf8ToCp1252(findText_.toStdString());
    const int found = part ? FindNextName(catalogue_->EntryCount(), after, *part,
                                          [this](int32_t i) { return catalogue_->GetEntry(i).Name; })
                           : -1;
    if (found < 0) {
        dialogs_.Notice("No entry matches " + findText_ + ".");
        return;
    }
    ShowRecord(lstFiles, cmbList, found, [this] { FillFileList(); });
}

void TfrmKVBEditor::mnuReplaceClick()
{
    const int index = SelectedIndex();
    if (index < 0)
        return;
    std::optional<QString> file = dialogs_.OpenFile(opnAny);
    if (!file)
        return;
    ReplaceEntryWith(index, file->toStdString(), file->toStdString());
}

void TfrmKVBEditor::mnuExportPngClick()
{
    const int index = SelectedIndex();
    if (index < 0)
        return;
    const std::string name = catalogue_->GetEntry(index).Name;
    savPng.fileName = IsSafeEntryName(name) ? Shown(name) + ".png" : QString();
    std::optional<QString> target = dialogs_.SaveFile(savPng);
    if (!target)
        return;
    TexFileToPngFile(ExtractToWorkFile(*catalogue_, index, ".TEX"), target->toStdString());
}

void TfrmKVBEditor::mnuImportPngClick()
{
    const int index = SelectedIndex();
    if (index < 0)
        return;
    std::optional<QString> png = dialogs_.OpenFile(opnPng);
    if (!png)
        return;
    // The entry itself is the reference: the new texture is read by the game as it was.
    const std::string reference = ExtractToWorkFile(*catalogue_, index, ".TEX");
    const std::string texture = GetTempDir() + "imported.TEX";
    PngToTex(reference, png->toStdString(), texture, false);
    ReplaceEntryWith(index, texture, png->toStdString());
}

void TfrmKVBEditor::mnuSaveWavClick()
{
    const int index = SelectedIndex();
    if (index < 0)
        return;
    std::optional<QString> target = dialogs_.SaveFile(savWav);
    if (!target)
        return;
    BusyScope busy(*this);
    RenderMidiToWav(ExtractToWorkFile(*catalogue_, index, ".MID"), target->toStdString(),
                    FluidSynthSetup::FromEnvironment());
}

void TfrmKVBEditor::mnuStopMusicClick()
{
    if (Media)
        Media->Stop();
}

std::string TfrmKVBEditor::ExtractForDrag(QTreeWidgetItem *row)
{
    if (!catalogue_)
        throw EKVBError("No archive is open");
    return ExtractToDragFile(*catalogue_, RecordIndex(lstFiles, row, cmbList));
}

std::optional<QString> TfrmKVBEditor::DroppedArchive(const QMimeData *data)
{
    if (!data || !data->hasUrls() || data->urls().isEmpty() || !data->urls().first().isLocalFile())
        return std::nullopt;
    const QString path = data->urls().first().toLocalFile();
    if (!path.endsWith(".kvb", Qt::CaseInsensitive))
        return std::nullopt;
    return path;
}

void TfrmKVBEditor::dragEnterEvent(QDragEnterEvent *event)
{
    if (!busy_ && DroppedArchive(event->mimeData()))
        event->acceptProposedAction();
}

void TfrmKVBEditor::dropEvent(QDropEvent *event)
{
    const std::optional<QString> archive = DroppedArchive(event->mimeData());
    if (busy_ || !archive)
        return;
    event->acceptProposedAction();
    Guarded(dialogs_, [&] { OpenArchive(*archive); });
}

void TfrmKVBEditor::FormDestroy()
{
    catalogue_.reset();
    if (Media)
        Media->Close();
    DeletePreviewTempFile();
}

void TfrmKVBEditor::closeEvent(QCloseEvent *event)
{
    if (busy_) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

TfrmKVBEditor::BusyScope::BusyScope(TfrmKVBEditor &window) : window_(window)
{
    window_.busy_ = true;
    window_.centralWidget()->setEnabled(false);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

TfrmKVBEditor::BusyScope::~BusyScope()
{
    QGuiApplication::restoreOverrideCursor();
    window_.centralWidget()->setEnabled(true);
    window_.busy_ = false;
}

} // namespace kvb::ui
