#include "ui/kvbreport.h"

#include "ui/described_form.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>

namespace kvb::ui {

TfrmReport::TfrmReport(logic::TDialogs &dialogs, QWidget *parent)
    : QDialog(parent),
      dialogs_(dialogs),
      logic_(*this)
{
    const auto &description = logic::TReportLogic::Description();
    controls_ = DescribeWindow(this, description);
    const TDescribedControls &c = *controls_;
    lstReport = c.Get<QListWidget>("lstReport");
    btnCopy = c.Get<QPushButton>("btnCopy");
    btnClose = c.Get<QPushButton>("btnClose");
    Bind(this, dialogs_, logic_, description, c);

    setMinimumSize(LeastSize(this, description.LeastWidth));
    PlaceOnScreen(this, QSize(description.Width, description.Height));
}

TfrmReport::~TfrmReport() = default;

void TfrmReport::done(int result)
{
    logic_.FormClose();
    QDialog::done(result);
}

void TfrmReport::SetCaption(const std::string &caption)
{
    setWindowTitle(Q(caption));
}

void TfrmReport::SetReportLines(const std::vector<std::string> &lines)
{
    lstReport->clear();
    for (const std::string &line : lines)
        lstReport->addItem(Q(line));
}

void TfrmReport::CopyText(const std::string &text)
{
    QGuiApplication::clipboard()->setText(Q(text));
}

void TfrmReport::ShowModal()
{
    setWindowModality(Qt::WindowModal);
    btnClose->setFocus();
    exec();
}

void TfrmReport::Close()
{
    reject();
}

} // namespace kvb::ui
