#include "ui/kvbadv.h"

#include "ui/form_helpers.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

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
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    CreateControls();
    resize(std::max(600, sizeHint().width()), std::max(313, sizeHint().height()));
    move(200, 108);
    ConnectEvents();
}

TfrmAdvanced::~TfrmAdvanced() = default;

void TfrmAdvanced::CreateControls()
{
    auto button = [this](const char *name, const char *text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(name);
        PressOnEnter(b);
        b->setAutoDefault(false);
        return b;
    };
    auto label = [this](const char *name, const char *text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(name);
        return l;
    };
    auto combo = [this](const char *name) {
        auto *c = new QComboBox(this);
        c->setObjectName(name);
        c->setEditable(false);
        c->setStyleSheet("combobox-popup: 0;");
        c->setMaxVisibleItems(20);
        c->setFixedWidth(129);
        return c;
    };

    // The info lines keep their height (five lines); the lists below take what the window gains.
    lstInfo = InfoList(this);
    lstInfo->setMinimumWidth(289);
    lstInfo->setFixedHeight(std::max(73, 5 * lstInfo->fontMetrics().lineSpacing() + 8));
    btnQuit = button("btnQuit", "Quit");
    btnAppend = button("btnAppend", "Append file to KVB");
    btnTruncate = button("btnTruncate", "Truncate file (delete data)");
    Label1 = label("Label1", "Listed files");
    Label2 = label("Label2", "Available data");
    lstTable = LinkableList(this, "lstTable", {{"Filename", 100}, {"Data", 120}});
    Label3 = label("Label3", "Link");
    btnLink = button("btnLink", "->");
    btnLink->setFixedSize(25, 25);
    // "#" holds record numbers of up to seven digits.
    const int number = fontMetrics().horizontalAdvance("0000000") + 12;
    lstHeader = LinkableList(this, "lstHeader", {{"#", number}, {"Name", 105}, {"File length", 90}});
    cmbTable = combo("cmbTable");
    Label4 = new QLabel("The editor can only display 1,000 (!) files at once. Archives with more "
                        "files in them are split up into 1,000 file 'blocks'.",
                        this);
    Label4->setObjectName("Label4");
    Label4->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label4->setWordWrap(true);
    cmbHeader = combo("cmbHeader");
    lblStatus = label("lblStatus", "");
    Status = new QProgressBar(this);
    Status->setObjectName("Status");
    Status->setTextVisible(false);
    Status->setFixedHeight(16);
    btnCancel = button("btnCancel", "Cancel");
    btnCancel->setEnabled(false);

    // The window at its first size; the two lists and the info lines grow with it.
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    auto *top = new QHBoxLayout;
    top->addWidget(lstInfo, 1);
    auto *buttons = new QVBoxLayout;
    for (QWidget *w : {btnQuit, btnAppend, btnTruncate})
        buttons->addWidget(w);
    buttons->addStretch();
    top->addLayout(buttons);
    layout->addLayout(top);

    auto *lists = new QGridLayout;
    lists->addWidget(Label1, 0, 0);
    lists->addWidget(Label2, 0, 2);
    lists->addWidget(lstTable, 1, 0);
    auto *link = new QVBoxLayout;
    link->addStretch();
    link->addWidget(Label3, 0, Qt::AlignHCenter);
    link->addWidget(btnLink, 0, Qt::AlignHCenter);
    link->addStretch();
    lists->addLayout(link, 1, 1);
    lists->addWidget(lstHeader, 1, 2);
    lists->setColumnStretch(0, 1);
    lists->setColumnStretch(2, 1);
    lists->setRowStretch(1, 1);
    layout->addLayout(lists, 1);

    auto *blocks = new QHBoxLayout;
    blocks->addWidget(cmbTable, 0, Qt::AlignTop);
    blocks->addWidget(Label4, 1);
    blocks->addWidget(cmbHeader, 0, Qt::AlignTop);
    layout->addLayout(blocks);

    auto *work = new QHBoxLayout;
    work->addWidget(lblStatus, 1);
    work->addWidget(Status, 1);
    work->addWidget(btnCancel);
    layout->addLayout(work);

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
    // Cancel and Escape act during long work too.
    connect(btnCancel, &QPushButton::clicked, this, [&l] { l.btnCancelClick(); });
}

void TfrmAdvanced::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        logic::GuardedDuringWork(dialogs_, [this] { logic_.EscapePressed(); });
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmAdvanced::closeEvent(QCloseEvent *event)
{
    bool close = true;
    logic::GuardedDuringWork(dialogs_, [&] { close = logic_.FormCloseQuery(); });
    if (close)
        QDialog::closeEvent(event);
    else
        event->ignore();
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

void TfrmAdvanced::SetProgressMaximum(int32_t maximum)
{
    Status->setMaximum(maximum);
}

void TfrmAdvanced::SetProgressPosition(int32_t position)
{
    Status->setValue(position);
}

void TfrmAdvanced::SetBusy(bool busy)
{
    for (QWidget *w : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (w != btnCancel && w != Status && w != lblStatus)
            w->setEnabled(!busy);
    btnCancel->setEnabled(busy);
    if (busy)
        btnCancel->setFocus();
}

void TfrmAdvanced::LetEventsRun()
{
    QCoreApplication::processEvents();
}

void TfrmAdvanced::SetStatus(const std::string &text)
{
    lblStatus->setText(Q(text));
}

void TfrmAdvanced::CloseWindow()
{
    QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
}

} // namespace kvb::ui
