// The advanced window as data: the info lines and the edits' buttons, the two lists with the
// link between them, their block selectors, the progress row, and the keys.
#include "logic/advanced_window.h"

namespace kvb::logic {

namespace {

using L = TAdvancedLogic;

TControl<L> Make(const std::string &name, TControlKind kind, const std::string &caption = {},
                 THandler<L> click = nullptr)
{
    TControl<L> c;
    c.Name = name;
    c.Kind = kind;
    c.Caption = caption;
    c.Click = click;
    return c;
}

TControl<L> EditButton(const std::string &name, const std::string &caption, THandler<L> click)
{
    TControl<L> c = Make(name, TControlKind::Button, caption, click);
    c.LeastWidth = 193;
    return c;
}

TControl<L> Selector(const std::string &name, const std::string &accessibleName, THandler<L> choose)
{
    TControl<L> c = Make(name, TControlKind::BlockSelector);
    c.AccessibleName = accessibleName;
    c.Width = 129;
    c.Choose = choose;
    return c;
}

TWindowDescription<L> Describe()
{
    TWindowDescription<L> w;
    w.Name = "frmAdvanced";
    w.Caption = "Advanced KVB Editor";
    w.Width = 542;
    w.Height = 313;
    w.LeastWidth = 542;

    TControl<L> info = Make("lstInfo", TControlKind::InfoList);
    info.AccessibleName = "Info";
    info.LeastWidth = 289;
    info.LeastHeight = 73;
    info.DuringWork = TDuringWork::Kept;
    TControl<L> table = Make("lstTable", TControlKind::ReportList, {}, &L::lstTableClick);
    table.Columns = {{"Filename", 100, {}}, {"Data", 120, {}}};
    // The lists are named by the labels above them, the link button by the one above it.
    table.AccessibleName = "Listed files";
    table.LeastHeight = 150;
    // "#" holds record numbers of up to seven digits.
    TControl<L> data = Make("lstHeader", TControlKind::ReportList);
    data.Columns = {{"#", 0, "0000000"}, {"Name", 105, {}}, {"File length", 90, {}}};
    data.AccessibleName = "Available data";
    data.LeastHeight = 150;
    TControl<L> link = Make("btnLink", TControlKind::Button, "->", &L::btnLinkClick);
    link.AccessibleName = "Link";
    link.Width = link.Height = 25;
    TControl<L> status = Make("lblStatus", TControlKind::StatusText);
    status.DuringWork = TDuringWork::Kept;
    // The progress bar is called Status, as in the main window.
    TControl<L> progress = Make("Status", TControlKind::ProgressBar);
    progress.AccessibleName = "Progress";
    progress.DuringWork = TDuringWork::Kept;
    TControl<L> cancel = Make("btnCancel", TControlKind::Button, "Cancel", &L::btnCancelClick);
    cancel.DuringWork = TDuringWork::OnlyThen;

    w.Controls = {
        info,
        EditButton("btnQuit", "Quit", &L::btnQuitClick),
        EditButton("btnAppend", "Append file to KVB", &L::btnAppendClick),
        EditButton("btnTruncate", "Truncate file (delete data)", &L::btnTruncateClick),
        Make("Label1", TControlKind::Label, "Listed files"),
        table,
        Make("Label3", TControlKind::Label, "Link"),
        link,
        Make("Label2", TControlKind::Label, "Available data"),
        data,
        Selector("cmbTable", "Block of listed files", &L::cmbTableChange),
        Make("Label4", TControlKind::Note,
             "The editor can only display 1,000 (!) files at once. Archives with more files in them "
             "are split up into 1,000 file 'blocks'."),
        Selector("cmbHeader", "Block of available data", &L::cmbHeaderChange),
        status,
        progress,
        cancel,
    };
    // The two lists take what the window gains, the link between them in their middle.
    w.Layout = Column({
        Row({Place("lstInfo", 1), Column({Place("btnQuit"), Place("btnAppend"), Place("btnTruncate")})}),
        Row({Column({Place("Label1"), Place("lstTable", 1)}, 1),
             Column({Space(), Place("Label3", 0, true), Place("btnLink", 0, true), Space()}),
             Column({Place("Label2"), Place("lstHeader", 1)}, 1)},
            1),
        Row({Place("cmbTable"), Place("Label4", 1), Place("cmbHeader")}),
        Row({Place("lblStatus", 1, true), Place("Status", 1, true), Place("btnCancel")}),
    });
    w.Keys = {
        {TKey::Escape, &L::EscapePressed, {}, true},
        {TKey::CtrlF, &L::FindClick, {}, false},
        {TKey::F3, &L::FindNextClick, {}, false},
    };
    return w;
}

} // namespace

const TWindowDescription<TAdvancedLogic> &TAdvancedLogic::Description()
{
    static const TWindowDescription<TAdvancedLogic> description = Describe();
    return description;
}

} // namespace kvb::logic
