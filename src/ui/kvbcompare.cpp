#include "ui/kvbcompare.h"

#include "ui/described_form.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kvb::ui {

TfrmCompare::TfrmCompare(logic::TDialogs &dialogs, QWidget *parent)
    : QDialog(parent),
      dialogs_(dialogs),
      logic_(*this)
{
    const auto &description = logic::TCompareLogic::Description();
    setObjectName(Q(description.Name));
    setWindowTitle(Q(description.Caption));
    // The main window's font (Verdana, 11 pixels) is the font of every window.
    if (parent)
        setFont(parent->font());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    controls_ =
        std::make_unique<TDescribedControls>(this, description.Looks(), description.Layout, layout);
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
