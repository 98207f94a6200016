// The compare window as data: the summary above the list of differences, Close below it, the
// row menu that plays either version of a tune, and the keys.
#include "logic/compare_window.h"

namespace kvb::logic {

namespace {

using L = TCompareLogic;

TWindowDescription<L> Describe()
{
    TWindowDescription<L> w;
    w.Name = "frmCompare";
    // Until a comparison names both archives.
    w.Caption = "Compare";
    w.Width = 600;
    w.Height = 420;
    w.LeastWidth = 420;

    // Wrapped text at its start: the summary is read whole.
    TControl<L> summary;
    summary.Name = "lblSummary";
    summary.Kind = TControlKind::Text;
    TControl<L> list;
    list.Name = "lstDiff";
    list.Kind = TControlKind::ReportList;
    list.AccessibleName = "Differences";
    list.Columns = {{"Entry", 110, {}},
                    {"Record(s)", 0, "Record(s)0"},
                    {"Change", 0, "changed (matched by number)"},
                    {"Old size", 80, {}},
                    {"New size", 80, {}}};
    list.LeastHeight = 150;
    list.Choose = &L::lstDiffDblClick;
    TControl<L> close;
    close.Name = "btnClose";
    close.Kind = TControlKind::Button;
    close.Caption = "Close";
    close.Click = &L::btnCloseClick;
    w.Controls = {summary, list, close};
    w.Layout = Column({Place("lblSummary"), Place("lstDiff", 1), Row({Space(), Place("btnClose")})});

    auto item = [](const std::string &name, const std::string &caption, THandler<L> handler,
                   bool (*shown)(const L &), bool (*enabled)(const L &)) {
        TMenuItem<L> i;
        i.Name = name;
        i.Caption = caption;
        i.Handler = handler;
        i.Shown = shown;
        i.Enabled = enabled;
        return i;
    };
    const auto music = [](const L &l) { return l.RowMenu().Music; };
    w.Menu = {
        item("mnuPlayOld", "Play old", &L::mnuPlayOldClick, music,
             [](const L &l) { return l.RowMenu().Old; }),
        item("mnuPlayNew", "Play new", &L::mnuPlayNewClick, music,
             [](const L &l) { return l.RowMenu().New; }),
        TMenuItem<L>{},
        item("mnuStopMusic", "Stop music", &L::mnuStopMusicClick, nullptr,
             [](const L &l) { return l.RowMenu().Playing; }),
    };
    w.Keys = {
        {TKey::Return, &L::lstDiffDblClick, "lstDiff", false},
        {TKey::Escape, &L::btnCloseClick, {}, false},
    };
    return w;
}

} // namespace

const TWindowDescription<TCompareLogic> &TCompareLogic::Description()
{
    static const TWindowDescription<TCompareLogic> description = Describe();
    return description;
}

} // namespace kvb::logic
