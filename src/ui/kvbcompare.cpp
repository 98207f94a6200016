#include "ui/kvbcompare.h"

#include "ui/described_form.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>

namespace kvb::ui {

TfrmCompare::TfrmCompare(logic::TDialogs &dialogs, QWidget *parent)
    : QDialog(parent),
      dialogs_(dialogs),
      logic_(*this)
{
    const auto &description = logic::TCompareLogic::Description();
    controls_ = DescribeWindow(this, description);
    const TDescribedControls &c = *controls_;
    lblSummary = c.Get<QLabel>("lblSummary");
    lstDiff = c.Get<QTreeWidget>("lstDiff");
    btnClose = c.Get<QPushButton>("btnClose");
    // The summary may be copied, to be pasted into a note about the mod.
    lblSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Bind(this, dialogs_, logic_, description, c);
    lstDiff->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lstDiff, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        logic::Guarded(dialogs_, [&] { RowMenu()->exec(lstDiff->viewport()->mapToGlobal(at)); });
    });

    setMinimumSize(LeastSize(this, description.LeastWidth));
    PlaceOnScreen(this, QSize(description.Width, description.Height));
}

TfrmCompare::~TfrmCompare() = default;

std::unique_ptr<QMenu> TfrmCompare::RowMenu()
{
    return DescribedMenu(this, dialogs_, logic_, logic::TCompareLogic::Description());
}

void TfrmCompare::done(int result)
{
    logic_.FormClose();
    QDialog::done(result);
}

void TfrmCompare::SetCaption(const std::string &caption)
{
    setWindowTitle(Q(caption));
}

void TfrmCompare::SetSummary(const std::string &text)
{
    lblSummary->setText(Q(text));
}

void TfrmCompare::SetDiffRows(const std::vector<TDiffRow> &rows)
{
    FillReportList(lstDiff, rows);
}

int TfrmCompare::SelectedDiffRow() const
{
    return SelectedRow(lstDiff);
}

void TfrmCompare::ShowModal()
{
    // Modal over the main window only: the preview window beside it still takes the keys that
    // flip a texture's versions, and its close button.
    setWindowModality(Qt::WindowModal);
    lstDiff->setFocus();
    exec();
}

void TfrmCompare::Close()
{
    reject();
}

} // namespace kvb::ui
