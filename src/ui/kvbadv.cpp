#include "ui/kvbadv.h"

#include "archive/info_lines.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/file_attributes.h"
#include "ui/blocks.h"
#include "ui/form_helpers.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QTreeWidget>

#include <algorithm>

namespace kvb::ui {

namespace {

QTreeWidget *LinkableList(QWidget *parent, const char *name,
                         std::initializer_list<std::pair<QString, int>> columns)
{
    QTreeWidget *list = ReportList(parent, name, columns);
    // A link needs a row selected in both lists at once, so both must stay visible.
    QPalette palette = list->palette();
    for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    list->setPalette(palette);
    return list;
}

// The one selected row of a list, or none.
QTreeWidgetItem *SelectedRow(const QTreeWidget *list)
{
    const QList<QTreeWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

} // namespace

TfrmAdvanced::TfrmAdvanced(Dialogs &dialogs, QWidget *parent) : QDialog(parent), dialogs_(dialogs)
{
    setObjectName("frmAdvanced");
    setWindowTitle("Advanced KVB Editor");
    // The main window's font (Verdana, 11 pixels) is the font of every window.
    if (parent)
        setFont(parent->font());
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    BuildControls();
    setFixedSize(542, 313);
    move(200, 108);

    opnAny = {QStringLiteral("All files (*)"), {}, {}};

    On(this, dialogs_, btnQuit, &QPushButton::clicked, &TfrmAdvanced::btnQuitClick);
    On(this, dialogs_, btnAppend, &QPushButton::clicked, &TfrmAdvanced::btnAppendClick);
    On(this, dialogs_, btnTruncate, &QPushButton::clicked, &TfrmAdvanced::btnTruncateClick);
    On(this, dialogs_, btnLink, &QPushButton::clicked, &TfrmAdvanced::btnLinkClick);
    On(this, dialogs_, lstTable, &QTreeWidget::itemClicked, &TfrmAdvanced::lstTableClick);
    On(this, dialogs_, cmbTable, &QComboBox::activated, &TfrmAdvanced::cmbTableChange);
    On(this, dialogs_, cmbHeader, &QComboBox::activated, &TfrmAdvanced::cmbHeaderChange);
    On(this, dialogs_, new QShortcut(QKeySequence::Find, this), &QShortcut::activated,
       &TfrmAdvanced::FindClick);
    On(this, dialogs_, new QShortcut(QKeySequence::FindNext, this), &QShortcut::activated,
       &TfrmAdvanced::FindNextClick);
}

TfrmAdvanced::~TfrmAdvanced() = default;

void TfrmAdvanced::BuildControls()
{
    auto button = [this](const char *name, const char *text, QRect geometry) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setGeometry(geometry);
        PressOnEnter(b);
        b->setAutoDefault(false);
        return b;
    };
    auto label = [this](const char *name, const char *text, QPoint position) {
        auto *l = new QLabel(text, this);
        l->setObjectName(name);
        l->move(position);
        l->adjustSize();
        return l;
    };
    auto combo = [this](const char *name, QPoint position) {
        auto *c = new QComboBox(this);
        c->setObjectName(name);
        c->setEditable(false);
        c->setGeometry(position.x(), position.y(), 129, c->sizeHint().height());
        SetShownBlock(c, -1);
        return c;
    };

    lstInfo = InfoList(this);
    lstInfo->setGeometry(8, 8, 289, 73);

    btnQuit = button("btnQuit", "Quit", {304, 8, 193, 25});
    btnAppend = button("btnAppend", "Append file to KVB", {304, 36, 193, 25});
    btnTruncate = button("btnTruncate", "Truncate file (delete data)", {304, 64, 193, 25});

    Label1 = label("Label1", "Listed files", {16, 96});
    Label2 = label("Label2", "Available data", {296, 96});

    lstTable = LinkableList(this, "lstTable", {{"Filename", 100}, {"Data", 120}});
    lstTable->setGeometry(8, 112, 241, 150);

    Label3 = label("Label3", "Link", {256, 144});
    btnLink = button("btnLink", "->", {256, 168, 25, 25});

    lstHeader = LinkableList(this, "lstHeader", {{"#", 35}, {"Name", 105}, {"File length", 90}});
    lstHeader->setGeometry(288, 112, 250, 150);

    cmbTable = combo("cmbTable", {8, 272});

    Label4 = new QLabel("The editor can only display 1,000 (!) files at once. Archives with more "
                        "files in them are split up into 1,000 file 'blocks'.",
                        this);
    Label4->setObjectName("Label4");
    Label4->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label4->setWordWrap(true);
    Label4->setGeometry(146, 272, 249, 41);

    cmbHeader = combo("cmbHeader", {408, 272});

    QWidget *order[] = {lstInfo, lstTable,    lstHeader, btnLink,  btnAppend,
                        btnQuit, btnTruncate, cmbTable,  cmbHeader};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

TRawKVBFile &TfrmAdvanced::Raw()
{
    if (!rawFile_)
        throw EKVBError("No archive is open for editing");
    return *rawFile_;
}

bool TfrmAdvanced::OpenForEdit(const std::string &path)
{
    const std::optional<TFileAttributes> attributes = FileAttributes(path);
    if (!attributes)
        throw EKVBError("Couldn't retrieve file properties!");

    if (attributes->ReadOnly) {
        if (!dialogs_.Question("This file is read-only. You can only use advanced edit on files "
                               "that are writeable. Do you want to remove the read-only property "
                               "of this file?",
                               "Error!"))
            return false;
        // A failure shows when the archive is opened for writing below.
        ClearReadOnly(path);
    }

    // The lock of an archive still held would keep the new one from opening.
    rawFile_.reset();
    rawFile_ = std::make_unique<TRawKVBFile>(path);
    if (rawFile_->RecoveryNote())
        dialogs_.Notice(QString::fromStdString(*rawFile_->RecoveryNote()));

    lstInfo->clear();
    for (const auto &line : RawInfoLines(*rawFile_, FileNameOf(path)))
        lstInfo->addItem(QString::fromStdString(line));

    cmbTable->clear();
    cmbHeader->clear();
    FillBlockCombos();
    return true;
}

void TfrmAdvanced::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Guarded(dialogs_, [this] { FormShow(); });
}

void TfrmAdvanced::FormShow()
{
    dialogs_.Notice("Warning! Edits to the KVB file in this mode are IMMEDIATE and CANNOT be "
                    "undone. I recommend you keep a backup copy of any files to be edited!");
}

void TfrmAdvanced::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TfrmAdvanced::FormClose()
{
    rawFile_.reset();
}

void TfrmAdvanced::btnQuitClick()
{
    reject();
}

void TfrmAdvanced::FillBlockCombos()
{
    FillBlockLabels(cmbHeader, Raw().DataCount());
    FillBlockLabels(cmbTable, Raw().TocCount());
    SetShownBlock(cmbTable, -1);
    SetShownBlock(cmbHeader, -1);
    cmbHeader->setCurrentIndex(0);
    cmbTable->setCurrentIndex(0);
    cmbTableChange();
    cmbHeaderChange();
}

void TfrmAdvanced::cmbTableChange()
{
    if (TakeChosenBlock(cmbTable))
        FillTableList();
}

void TfrmAdvanced::cmbHeaderChange()
{
    if (TakeChosenBlock(cmbHeader))
        FillHeaderList();
}

void TfrmAdvanced::FillTableList()
{
    const TRawKVBFile &file = Raw();
    FillBlock(lstTable, cmbTable, file.TocCount(), [&](int t) {
        const TKVB_TocRecord record = file.GetTocRecord(t);
        QStringList texts{Shown(NameFromField(record.Name))};
        if (const int32_t j = file.FindDataRecordAt(record.Offset); j >= 0)
            texts << Shown(LinkedDataText(j + 1, NameFromField(file.GetDataRecord(j).Name)));
        return texts;
    });
}

void TfrmAdvanced::FillHeaderList()
{
    const TRawKVBFile &file = Raw();
    FillBlock(lstHeader, cmbHeader, file.DataCount(), [&](int j) {
        const TKVB_DataRecord record = file.GetDataRecord(j);
        return QStringList{QString::number(j + 1), Shown(NameFromField(record.Name)),
                           QString::number(record.Length)};
    });
}

void TfrmAdvanced::lstTableClick()
{
    const QTreeWidgetItem *row = SelectedRow(lstTable);
    if (!row)
        return;
    const QString data = row->text(1);
    const qsizetype bracket = data.indexOf(')');
    if (bracket < 0)
        return;
    bool isNumber = false;
    const int k = data.left(bracket).toInt(&isNumber) - 1;
    if (!isNumber)
        return;
    if (QTreeWidgetItem *target = RowOfRecord(lstHeader, cmbHeader, k)) {
        lstHeader->setCurrentItem(target);
        lstHeader->scrollToItem(target, QAbstractItemView::EnsureVisible);
    }
}

void TfrmAdvanced::btnLinkClick()
{
    QTreeWidgetItem *tableRow = SelectedRow(lstTable);
    QTreeWidgetItem *headerRow = SelectedRow(lstHeader);
    if (!tableRow || !headerRow) {
        dialogs_.Notice("Select an item in BOTH lists before trying to link them!");
        return;
    }
    const int t = RecordIndex(lstTable, tableRow, cmbTable);
    const int h = RecordIndex(lstHeader, headerRow, cmbHeader);
    Raw().LinkTocRecord(t, h);

    tableRow->setText(1, headerRow->text(0) + ") " + headerRow->text(1));
}

void TfrmAdvanced::btnAppendClick()
{
    const std::optional<QString> chosen = dialogs_.OpenFile(opnAny);
    if (!chosen)
        return;
    TRawKVBFile &file = Raw();
    {
        // Held only until it is written.
        const TAppendFile input = ReadFileForAppend(chosen->toStdString());
        file.AppendData(input.Record());
    }
    const TKVB_DataRecord added = file.GetDataRecord(file.DataCount() - 1);

    if (ShownBlock(cmbHeader) == cmbHeader->count() - 1)
        lstHeader->addTopLevelItem(new QTreeWidgetItem(
            QStringList{QString::number(file.DataCount()), Shown(NameFromField(added.Name))}));

    ReplaceCountLines();
}

void TfrmAdvanced::btnTruncateClick()
{
    QTreeWidgetItem *row = SelectedRow(lstHeader);
    if (!row) {
        dialogs_.Notice("Select an item to start deletion from!");
        return;
    }
    TRawKVBFile &file = Raw();
    const int a = RecordIndex(lstHeader, row, cmbHeader);
    const TKVB_DataRecord data = file.GetDataRecord(a);

    const std::string question = TruncateQuestion(a, NameFromField(data.Name), file.DataCount());
    if (!dialogs_.Question(QString::fromStdString(question), "Warning!"))
        return;
    file.TruncateFrom(a);

    FillBlockCombos();
    ReplaceCountLines();
}

void TfrmAdvanced::FindClick()
{
    std::optional<QString> text = dialogs_.AskText("Find the next record whose name contains:", "Find");
    if (!text)
        return;
    findText_ = *text;
    FindNextClick();
}

void TfrmAdvanced::FindNextClick()
{
    if (findText_.isEmpty()) {
        FindClick();
        return;
    }
    const TRawKVBFile &file = Raw();
    if (lstHeader->hasFocus() || lstTable->hasFocus())
        findInData_ = lstHeader->hasFocus();
    QTreeWidget *list = findInData_ ? lstHeader : lstTable;
    QComboBox *selector = findInData_ ? cmbHeader : cmbTable;
    QTreeWidgetItem *item = list->currentItem();
    const int after = item && item->isSelected() ? RecordIndex(list, item, selector) : -1;
    const std::optional<std::string> part = Utf8ToCp1252(findText_.toStdString());
    int found = -1;
    if (part && findInData_)
        found = FindNextName(file.DataCount(), after, *part,
                             [&](int32_t j) { return NameFromField(file.GetDataRecord(j).Name); });
    else if (part)
        found = FindNextName(file.TocCount(), after, *part,
                             [&](int32_t t) { return NameFromField(file.GetTocRecord(t).Name); });
    if (found < 0) {
        dialogs_.Notice("No entry matches " + findText_ + ".");
        return;
    }
    if (findInData_)
        ShowRecord(lstHeader, cmbHeader, found, [this] { FillHeaderList(); });
    else
        ShowRecord(lstTable, cmbTable, found, [this] { FillTableList(); });
}

void TfrmAdvanced::ReplaceCountLines()
{
    const std::vector<std::string> counts = RawCountLines(Raw());
    // takeItem hands the row over; the temporary owner deletes it.
    while (lstInfo->count() > 3)
        std::unique_ptr<QListWidgetItem>(lstInfo->takeItem(lstInfo->count() - 1));
    for (const auto &line : counts)
        lstInfo->addItem(QString::fromStdString(line));
}

} // namespace kvb::ui
