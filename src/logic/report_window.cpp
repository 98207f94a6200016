#include "logic/report_window.h"

namespace kvb::logic {

TReportLogic::TReportLogic(TReportView &view) : view_(view)
{
}

void TReportLogic::ShowReport(const std::string &name, std::vector<std::string> lines)
{
    lines_ = std::move(lines);
    view_.SetCaption("Analysis of " + name);
    view_.SetReportLines(lines_);
    view_.ShowModal();
    // Closed, whichever way.
    FormClose();
}

void TReportLogic::btnCopyClick()
{
    // Pasted into a message or a file, the last line ends as the others do.
    std::string text;
    for (const std::string &line : lines_)
        text += line + '\n';
    view_.CopyText(text);
}

void TReportLogic::btnCloseClick()
{
    view_.Close();
}

void TReportLogic::FormClose()
{
    lines_.clear();
}

} // namespace kvb::logic
