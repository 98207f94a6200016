#include "ui/kvbadv.h"

#include "ui/described_form.h"
#include "ui/status_label.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

namespace kvb::ui {

namespace {

void FillCombo(QComboBox *combo, const std::vector<std::string> &labels)
{
    combo->clear();
    for (const std::string &label : labels)
        combo->addItem(Q(label));
}

} // namespace

TfrmAdvanced::TfrmAdvanced(logic::TDialogs &dialogs, QWidget *parent)
    : QDialog(parent),
      dialogs_(dialogs),
      logic_(*this, dialogs)
{
    const auto &description = logic::TAdvancedLogic::Description();
    controls_ = DescribeWindow(this, description);
    const TDescribedControls &c = *controls_;
    lstInfo = c.Get<QListWidget>("lstInfo");
    lstTable = c.Get<QTreeWidget>("lstTable");
    lstHeader = c.Get<QTreeWidget>("lstHeader");
    btnLink = c.Get<QPushButton>("btnLink");
    btnAppend = c.Get<QPushButton>("btnAppend");
    btnQuit = c.Get<QPushButton>("btnQuit");
    btnTruncate = c.Get<QPushButton>("btnTruncate");
    cmbTable = c.Get<QComboBox>("cmbTable");
    cmbHeader = c.Get<QComboBox>("cmbHeader");
    Label1 = c.Get<QLabel>("Label1");
    Label2 = c.Get<QLabel>("Label2");
    Label3 = c.Get<QLabel>("Label3");
    Label4 = c.Get<QLabel>("Label4");
    lblStatus = c.Get<TStatusLabel>("lblStatus");
    Status = c.Get<QProgressBar>("Status");
    btnCancel = c.Get<QPushButton>("btnCancel");
    // The info lines keep their height (five lines); the lists below take what the window gains.
    lstInfo->setFixedHeight(
        std::max(lstInfo->minimumHeight(), 5 * lstInfo->fontMetrics().lineSpacing() + 8));
    Bind(this, dialogs_, logic_, description, c);
    setAcceptDrops(true);

    setMinimumSize(LeastSize(this, description.LeastWidth));
    PlaceOnScreen(this,
                  QSize(std::max(600, sizeHint().width()),
                        std::max(description.Height, sizeHint().height())),
                  QPoint(200, 108));
}

TfrmAdvanced::~TfrmAdvanced() = default;

void TfrmAdvanced::closeEvent(QCloseEvent *event)
{
    bool close = true;
    logic::GuardedDuringWork(dialogs_, [&] { close = logic_.FormCloseQuery(); });
    if (close)
        QDialog::closeEvent(event);
    else
        event->ignore();
}

void TfrmAdvanced::dragEnterEvent(QDragEnterEvent *event)
{
    if (logic_.AcceptsDrop(DroppedFiles(event->mimeData())))
        event->acceptProposedAction();
}

void TfrmAdvanced::dropEvent(QDropEvent *event)
{
    const std::vector<std::string> files = DroppedFiles(event->mimeData());
    if (!logic_.AcceptsDrop(files))
        return;
    event->acceptProposedAction();
    // After the drop has ended: the desktop's drag waits for it, and the question is modal.
    QTimer::singleShot(0, this,
                       [this, files] { logic::Guarded(dialogs_, [&] { logic_.FilesDropped(files); }); });
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
    controls_->SetBusy(busy);
    if (busy)
        btnCancel->setFocus();
}

void TfrmAdvanced::LetEventsRun()
{
    QCoreApplication::processEvents();
}

void TfrmAdvanced::SetStatus(const std::string &text)
{
    lblStatus->SetFullText(Q(text));
}

void TfrmAdvanced::CloseWindow()
{
    QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
}

} // namespace kvb::ui
