// The report window as data: the report's lines above Copy and Close, and the keys.
#include "logic/report_window.h"

namespace kvb::logic {

namespace {

using L = TReportLogic;

TControl<L> Button(const std::string &name, const std::string &caption, THandler<L> click)
{
    TControl<L> c;
    c.Name = name;
    c.Kind = TControlKind::Button;
    c.Caption = caption;
    c.Click = click;
    return c;
}

TWindowDescription<L> Describe()
{
    TWindowDescription<L> w;
    w.Name = "frmReport";
    // Until a report names its archive.
    w.Caption = "Analysis";
    // Tall enough for the report of an archive without faults, and the few lines of a gap.
    w.Width = 380;
    w.Height = 330;
    w.LeastWidth = 260;

    TControl<L> report;
    report.Name = "lstReport";
    report.AccessibleName = "Report";
    report.Kind = TControlKind::InfoList;
    report.LeastHeight = 120;
    w.Controls = {report, Button("btnCopy", "Copy", &L::btnCopyClick),
                  Button("btnClose", "Close", &L::btnCloseClick)};
    w.Layout = Column({Place("lstReport", 1), Row({Space(), Place("btnCopy"), Place("btnClose")})});
    w.Keys = {
        {TKey::Escape, &L::btnCloseClick, {}, false},
    };
    return w;
}

} // namespace

const TWindowDescription<TReportLogic> &TReportLogic::Description()
{
    static const TWindowDescription<TReportLogic> description = Describe();
    return description;
}

} // namespace kvb::logic
