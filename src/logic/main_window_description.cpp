// The main window as data: its controls top to bottom, the entry list's menu and the keys.
#include "logic/main_window.h"

namespace kvb::logic {

namespace {

TControl<TKVBEditorLogic> Button(const std::string &name, const std::string &caption,
                                 THandler<TKVBEditorLogic> click)
{
    TControl<TKVBEditorLogic> c;
    c.Name = name;
    c.Kind = TControlKind::Button;
    c.Caption = caption;
    c.Click = click;
    return c;
}

TControl<TKVBEditorLogic> Text(const std::string &name, TControlKind kind,
                               const std::string &caption = {})
{
    TControl<TKVBEditorLogic> c;
    c.Name = name;
    c.Kind = kind;
    c.Caption = caption;
    return c;
}

TWindowDescription<TKVBEditorLogic> Describe()
{
    using L = TKVBEditorLogic;
    TWindowDescription<L> w;
    w.Name = "frmKVBEditor";
    w.Caption = "KVB Editor";
    w.Width = 300;
    w.Height = 575;
    w.LeastWidth = 300;

    TControl<L> files = Text("lstFiles", TControlKind::ReportList);
    // The record number says which record a row is in a sorted or filtered list; the size in
    // human units shows where the window is wide enough.
    files.Columns = {{"Filename", 100, {}},
                     {"Table start", 75, {}},
                     {"File length", 75, {}},
                     {"#", 0, "200000"},
                     {"Size", 0, "1023.9 KiB"}};
    files.AccessibleName = "Entries";
    files.LeastHeight = 125;
    files.Choose = &L::lstFilesDblClick;
    files.SeveralRows = true;
    files.ClickableHeaders = true;
    files.HeaderClick = &L::lstFilesColumnClick;
    TControl<L> filter = Text("edtFilter", TControlKind::Edit, "Filter by name");
    filter.Change = &L::edtFilterChange;
    // The info lines hold the analysis report too; they stay readable while work runs.
    TControl<L> info = Text("lstInfo", TControlKind::InfoList);
    info.AccessibleName = "Info";
    info.LeastHeight = 80;
    info.DuringWork = TDuringWork::Kept;
    TControl<L> blocks = Text("cmbList", TControlKind::BlockSelector);
    blocks.AccessibleName = "Block";
    blocks.Choose = &L::cmbListChange;
    TControl<L> fullRead =
        Text("chkFullRead", TControlKind::CheckBox, "Read lengths (slower loading when on)");
    fullRead.Checked = true;
    TControl<L> mail = Text("Label3", TControlKind::Link, "Mail Tarnwick");
    mail.Click = &L::Label3Click;
    TControl<L> web = Text("Label4", TControlKind::Link, "Tarnwick's website");
    web.Click = &L::Label4Click;
    // While music plays: what plays, and a button that stops it; gone when it ends.
    TControl<L> playing = Text("lblPlaying", TControlKind::Label);
    playing.Hidden = true;
    TControl<L> stopMusic = Button("btnStopMusic", "Stop", &L::mnuStopMusicClick);
    stopMusic.Hidden = true;
    TControl<L> status = Text("lblStatus", TControlKind::StatusText);
    status.DuringWork = TDuringWork::Kept;
    // The progress bar is called Status, as the window has always called it.
    TControl<L> progress = Text("Status", TControlKind::ProgressBar);
    progress.AccessibleName = "Progress";
    progress.DuringWork = TDuringWork::Kept;
    TControl<L> cancel = Button("btnCancel", "Cancel", &L::btnCancelClick);
    cancel.DuringWork = TDuringWork::OnlyThen;

    w.Controls = {
        Button("btnOpen", "Open KVB", &L::btnOpenClick),
        Button("btnExtract", "Extract", &L::btnExtractClick),
        Button("btnExtractAll", "Extract all", &L::btnExtractAllClick),
        filter,
        Text("lblFilterCount", TControlKind::Label),
        files,
        info,
        Button("btnCreate", "Create KVB", &L::btnCreateClick),
        Button("btnAnalyse", "Analyse KVB", &L::btnAnalyseClick),
        Button("btnAdvanced", "Advanced...", &L::btnAdvancedClick),
        blocks,
        Text("Label5", TControlKind::Note,
             "The editor can only display 1,000 (!) files at once. Archives with more files in them "
             "are split up into 1,000 file 'blocks'."),
        fullRead,
        Text("Label1", TControlKind::Label, "Questions or bug reports: "),
        mail,
        Text("Label2", TControlKind::Label, "Check for updates at "),
        web,
        playing,
        stopMusic,
        status,
        progress,
        cancel,
    };
    // The entry list and the info lines share what the window gains, three parts to one.
    w.Layout = Column({
        Row({Place("btnOpen", 1), Place("btnExtract", 1), Place("btnExtractAll", 1)}),
        Row({Place("edtFilter", 1), Place("lblFilterCount", 0, true)}),
        Place("lstFiles", 3),
        Place("lstInfo", 1),
        Row({Place("btnCreate", 1), Place("btnAnalyse", 1), Place("btnAdvanced", 1)}),
        Place("cmbList"),
        Place("Label5"),
        Place("chkFullRead"),
        Row({Place("Label1"), Place("Label3")}),
        Row({Place("Label2"), Place("Label4")}),
        Row({Place("lblPlaying", 0, true), Place("btnStopMusic"), Space()}),
        Place("lblStatus"),
        Row({Place("Status", 1, true), Place("btnCancel")}),
    });

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
    // Extract, the exports and the hand-overs act on every selected entry; a replacement and a
    // WAV file are made of one.
    const auto selected = [](const L &l) { return l.EntryMenu().Selected; };
    const auto one = [](const L &l) { return l.EntryMenu().One; };
    const auto texture = [](const L &l) { return l.EntryMenu().Texture; };
    const auto open = [](const L &l) { return l.EntryMenu().Open; };
    w.Menu = {
        item("mnuExtract", "Extract...", &L::btnExtractClick, nullptr, selected),
        item("mnuReplace", "Replace with file...", &L::mnuReplaceClick, nullptr, one),
        item("mnuEditWith", "Edit with...", &L::mnuEditWithClick, nullptr, selected),
        item("mnuOpenWithDefault", "Open with default program", &L::mnuOpenWithDefaultClick, nullptr,
             selected),
        item("mnuExportPng", "Export as PNG...", &L::mnuExportPngClick, texture, nullptr),
        item("mnuImportPng", "Import PNG...", &L::mnuImportPngClick, texture, one),
        item(
            "mnuSaveWav", "Save as WAV...", &L::mnuSaveWavClick,
            [](const L &l) { return l.EntryMenu().Music; }, one),
        TMenuItem<L>{},
        item("mnuStopMusic", "Stop music", &L::mnuStopMusicClick, nullptr,
             [](const L &l) { return l.EntryMenu().Playing; }),
        TMenuItem<L>{},
        item("mnuExportForEditing", "Export for editing...", &L::mnuExportForEditingClick, nullptr, open),
        item("mnuUpdateFromFolder", "Update from folder...", &L::mnuUpdateFromFolderClick, nullptr, open),
        item("mnuCompareWith", "Compare with...", &L::mnuCompareWithClick, nullptr, open),
        item("mnuGallery", "Texture gallery...", &L::mnuGalleryClick, nullptr, open),
        TMenuItem<L>{},
        item("mnuApplyMod", "Apply mod...", &L::mnuApplyModClick, nullptr, open),
        item("mnuRevertMod", "Revert mod...", &L::mnuRevertModClick, nullptr, open),
    };

    w.Keys = {
        {TKey::Return, &L::lstFilesDblClick, "lstFiles", false},
        {TKey::CtrlA, &L::lstFilesSelectAll, "lstFiles", false},
        // Escape cancels long work, and stops the music otherwise.
        {TKey::Escape, &L::EscapePressed, {}, true},
        {TKey::CtrlF, &L::FindClick, {}, false},
        {TKey::F3, &L::FindNextClick, {}, false},
        {TKey::CtrlO, &L::btnOpenClick, {}, false},
        {TKey::CtrlE, &L::btnExtractClick, {}, false},
    };
    return w;
}

} // namespace

const TWindowDescription<TKVBEditorLogic> &TKVBEditorLogic::Description()
{
    static const TWindowDescription<TKVBEditorLogic> description = Describe();
    return description;
}

} // namespace kvb::logic
