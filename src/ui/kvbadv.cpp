#include "ui/kvbadv.h"

#include "ui/form_helpers.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QTreeWidget>

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

void FillCombo(QComboBox *combo, const std::vector<std::string> &labels)
{
    combo->clear();
    for (const std::string &label : labels)
        combo->addItem(Q(label));
}

} // namespace

TfrmAdvanced::TfrmAdvanced(logic::TDialogs &dialogs, QWidget *parent)
    : QDialog(parent), dialogs_(dialogs), logic_(*this, dialogs)
{
    setObjectName("frmAdvanced");
    setWindowTitle("Advanced KVB Editor");
    // The main window's font (Verdana, 11 pixels) is the font of every window.
    if (parent)
        setFont(parent->font());
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    CreateControls();
    setFixedSize(542, 313);
    move(200, 108);
    ConnectEvents();
}

TfrmAdvanced::~TfrmAdvanced() = default;

void TfrmAdvanced::CreateControls()
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

void TfrmAdvanced::ConnectEvents()
{
    logic::TAdvancedLogic &l = logic_;
    On(this, dialogs_, btnQuit, &QPushButton::clicked, [&l] { l.btnQuitClick(); });
    On(this, dialogs_, btnAppend, &QPushButton::clicked, [&l] { l.btnAppendClick(); });
    On(this, dialogs_, btnTruncate, &QPushButton::clicked, [&l] { l.btnTruncateClick(); });
    On(this, dialogs_, btnLink, &QPushButton::clicked, [&l] { l.btnLinkClick(); });
    On(this, dialogs_, lstTable, &QTreeWidget::itemClicked, [&l] { l.lstTableClick(); });
    On(this, dialogs_, cmbTable, &QComboBox::activated, [&l] { l.cmbTableChange(); });
    On(this, dialogs_, cmbHeader, &QComboBox::activated, [&l] { l.cmbHeaderChange(); });
    On(this, dialogs_, new QShortcut(QKeySequence::Find, this), &QShortcut::activated,
       [&l] { l.FindClick(); });
    On(this, dialogs_, new QShortcut(QKeySequence::FindNext, this), &QShortcut::activated,
       [&l] { l.FindNextClick(); });
}

void TfrmAdvanced::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        logic::Guarded(dialogs_, [this] { logic_.FormShow(); });
}

void TfrmAdvanced::done(int result)
{
    logic_.FormClose();
    QDialog::done(result);
}

void TfrmAdvanced::SetInfoLines(const std::vector<std::string> &lines)
{
    lstInfo->clear();
    for (const std::string &line : lines)
        lstInfo->addItem(Q(line));
}

void TfrmAdvanced::SetTableBlockLabels(const std::vector<std::string> &labels)
{
    FillCombo(cmbTable, labels);
}

void TfrmAdvanced::SetDataBlockLabels(const std::vector<std::string> &labels)
{
    FillCombo(cmbHeader, labels);
}

void TfrmAdvanced::SelectTableBlockLabel(int index)
{
    cmbTable->setCurrentIndex(index);
}

void TfrmAdvanced::SelectDataBlockLabel(int index)
{
    cmbHeader->setCurrentIndex(index);
}

int TfrmAdvanced::ChosenTableBlockLabel() const
{
    return cmbTable->currentIndex();
}

int TfrmAdvanced::ChosenDataBlockLabel() const
{
    return cmbHeader->currentIndex();
}

int TfrmAdvanced::DataBlockLabelCount() const
{
    return cmbHeader->count();
}

void TfrmAdvanced::SetTableRows(const std::vector<TTableRow> &rows)
{
    FillReportList(lstTable, rows);
}

void TfrmAdvanced::SetDataRows(const std::vector<TDataRow> &rows)
{
    FillReportList(lstHeader, rows);
}

void TfrmAdvanced::AddDataRow(const TDataRow &row)
{
    auto *item = new QTreeWidgetItem;
    for (size_t column = 0; column < row.size(); ++column)
        item->setText(int(column), Q(row[column]));
    lstHeader->addTopLevelItem(item);
}

void TfrmAdvanced::SetTableRowData(int row, const std::string &data)
{
    if (QTreeWidgetItem *item = lstTable->topLevelItem(row))
        item->setText(1, Q(data));
}

int TfrmAdvanced::SelectedTableRow() const
{
    return SelectedRow(lstTable);
}

int TfrmAdvanced::SelectedDataRow() const
{
    return SelectedRow(lstHeader);
}

std::string TfrmAdvanced::TableRowData(int row) const
{
    const QTreeWidgetItem *item = lstTable->topLevelItem(row);
    return item ? item->text(1).toStdString() : std::string();
}

void TfrmAdvanced::SelectTableRow(int row, bool focus)
{
    SelectReportRow(lstTable, row, focus);
}

void TfrmAdvanced::SelectDataRow(int row, bool focus)
{
    SelectReportRow(lstHeader, row, focus);
}

TfrmAdvanced::TList TfrmAdvanced::FocusedList() const
{
    if (lstHeader->hasFocus())
        return TList::Data;
    if (lstTable->hasFocus())
        return TList::Table;
    return TList::None;
}

void TfrmAdvanced::ShowModal()
{
    exec();
}

void TfrmAdvanced::Close()
{
    reject();
}

} // namespace kvb::ui
