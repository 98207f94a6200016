// The three windows as both faces draw them: every control's name, kind and caption, the menus
// and when each item is offered, the keys, and the Tab order (top to bottom, left to right).
#include "logic/scripted_face.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace kvb;
using namespace kvb::logic;
using namespace kvb::test;

namespace {

using Kind = TControlKind;

template <typename Logic>
std::vector<std::string> Captions(const TWindowDescription<Logic> &w)
{
    std::vector<std::string> captions;
    for (const TControl<Logic> &c : w.Controls)
        if (!c.Caption.empty())
            captions.push_back(c.Name + ": " + c.Caption);
    return captions;
}

template <typename Logic>
std::vector<std::string> Offered(const TWindowDescription<Logic> &w, const Logic &logic)
{
    std::vector<std::string> items;
    for (const TMenuItem<Logic> &i : w.Menu) {
        if (i.Name.empty())
            items.push_back("-");
        else if (i.IsShownFor(logic))
            items.push_back(i.Caption + (i.HasKey ? '\t' + KeyText(i.Key) : "") +
                            (i.IsEnabledFor(logic) ? "" : " (off)"));
    }
    return items;
}

template <typename Logic>
std::vector<std::string> Keys(const TWindowDescription<Logic> &w)
{
    std::vector<std::string> keys;
    for (const TKeyBinding<Logic> &k : w.Keys)
        keys.push_back(KeyText(k.Key) + (k.Control.empty() ? "" : " on " + k.Control) +
                       (k.DuringWork ? ", during work" : ""));
    return keys;
}

// Every control has a place, once, and every place a control.
template <typename Logic>
void ExpectEachControlPlacedOnce(const TWindowDescription<Logic> &w)
{
    std::vector<std::string> placed;
    std::function<void(const TPlace &)> walk = [&](const TPlace &p) {
        if (!p.Control.empty())
            placed.push_back(p.Control);
        for (const TPlace &item : p.Items)
            walk(item);
    };
    walk(w.Layout);
    ASSERT_EQ(placed.size(), w.Controls.size());
    for (const TControl<Logic> &c : w.Controls)
        EXPECT_EQ(std::count(placed.begin(), placed.end(), c.Name), 1) << c.Name;
}

} // namespace

TEST(WindowDescriptions, TheMainWindow)
{
    const auto &w = TKVBEditorLogic::Description();
    EXPECT_EQ(w.Caption, "KVB Editor");
    EXPECT_EQ(Captions(w),
              (std::vector<std::string>{"btnOpen: Open KVB", "btnExtract: Extract",
                                        "btnExtractAll: Extract all", "edtFilter: Filter by name",
                                        "btnCreate: Create KVB", "btnAnalyse: Analyse KVB",
                                        "btnAdvanced: Advanced...",
                                        "Label5: The editor can only display 1,000 (!) files at once. "
                                        "Archives with more files in them are split "
                                        "up into 1,000 file 'blocks'.",
                                        "chkFullRead: Read lengths (slower loading when on)",
                                        "Label1: Questions or bug reports: ", "Label3: Mail Tarnwick",
                                        "Label2: Check for updates at ", "Label4: Tarnwick's website",
                                        "btnStopMusic: Stop", "btnCancel: Cancel"}));
    std::vector<std::string> columns;
    for (const TColumn &column : w.Find("lstFiles")->Columns)
        columns.push_back(column.Caption);
    EXPECT_EQ(columns, (std::vector<std::string>{"Filename", "Table start", "File length", "#", "Size"}));
    EXPECT_TRUE(w.Find("lstFiles")->SeveralRows);
    EXPECT_TRUE(w.Find("lstFiles")->ClickableHeaders);
    EXPECT_EQ(w.Find("edtFilter")->Kind, Kind::Edit);
    EXPECT_TRUE(w.Find("chkFullRead")->Checked);
    EXPECT_EQ(w.Find("btnCancel")->DuringWork, TDuringWork::OnlyThen);
    EXPECT_EQ(w.TabOrder(),
              (std::vector<std::string>{"btnOpen", "btnExtract", "btnExtractAll", "edtFilter", "lstFiles",
                                        "lstInfo", "btnCreate", "btnAnalyse", "btnAdvanced", "cmbList",
                                        "chkFullRead", "Label3", "Label4", "btnStopMusic", "btnCancel"}));
    // The playing line is there only while music plays.
    std::vector<std::string> hidden;
    for (const TControl<TKVBEditorLogic> &c : w.Controls)
        if (c.Hidden)
            hidden.push_back(c.Name);
    EXPECT_EQ(hidden, (std::vector<std::string>{"lblPlaying", "btnStopMusic"}));
    EXPECT_EQ(Keys(w),
              (std::vector<std::string>{"Enter on lstFiles", "Ctrl+A on lstFiles", "Esc, during work",
                                        "Ctrl+F", "F3", "Ctrl+O", "Ctrl+E"}));
    ExpectEachControlPlacedOnce(w);

    // The entry menu: for no row, a texture, and a tune.
    ScriptedWindows s;
    TempDir dir;
    WriteFile(dir / "a.kvb",
              ArchiveBuilder().Add("A.BIN", "a").Add("PIC.TEX", "t").Add("T.MID", "m").Build());
    s.dialogs.files.push_back(dir / "a.kvb");
    s.Do([&] { s.main.btnOpenClick(); });
    EXPECT_EQ(Offered(w, s.main),
              (std::vector<std::string>{"Extract... (off)", "Replace with file... (off)",
                                        "Edit with... (off)", "Open with default program (off)", "-",
                                        "Stop music (off)", "-", "Export for editing...",
                                        "Update from folder...", "Compare with...", "Texture gallery...", "-", "Apply mod...",
                                        "Revert mod..."}));
    s.mainView.selectedRow = 1;
    EXPECT_EQ(Offered(w, s.main),
              (std::vector<std::string>{"Extract...", "Replace with file...", "Edit with...",
                                        "Open with default program", "Export as PNG...", "Import PNG...",
                                        "-", "Stop music (off)", "-", "Export for editing...",
                                        "Update from folder...", "Compare with...", "Texture gallery...", "-", "Apply mod...",
                                        "Revert mod..."}));
    s.mainView.selectedRow = 2;
    EXPECT_EQ(Offered(w, s.main)[4], "Save as WAV...");
    // Several rows: what acts on each of them; what makes one file of one entry is off.
    s.mainView.selectedRows = {0, 1};
    EXPECT_EQ(Offered(w, s.main),
              (std::vector<std::string>{"Extract...", "Replace with file... (off)", "Edit with...",
                                        "Open with default program", "-", "Stop music (off)", "-",
                                        "Export for editing...", "Update from folder...",
                                        "Compare with...", "Texture gallery...", "-", "Apply mod...", "Revert mod..."}));
    WriteFile(dir / "b.kvb", ArchiveBuilder().Add("A.TEX", "a").Add("B.TEX", "b").Build());
    s.dialogs.files.push_back(dir / "b.kvb");
    s.Do([&] { s.main.btnOpenClick(); });
    s.mainView.selectedRows = {0, 1};
    EXPECT_EQ(Offered(w, s.main)[4], "Export as PNG...");
    EXPECT_EQ(Offered(w, s.main)[5], "Import PNG... (off)");
}

TEST(WindowDescriptions, TheAdvancedWindow)
{
    const auto &w = TAdvancedLogic::Description();
    EXPECT_EQ(w.Caption, "Advanced KVB Editor");
    EXPECT_EQ(Captions(w),
              (std::vector<std::string>{"btnQuit: Quit", "btnAppend: Append file to KVB",
                                        "btnTruncate: Truncate file (delete data)",
                                        "Label1: Listed files", "Label3: Link", "btnLink: ->",
                                        "Label2: Available data",
                                        "Label4: The editor can only display 1,000 (!) files at once. "
                                        "Archives with more files in them are split "
                                        "up into 1,000 file 'blocks'.",
                                        "btnCancel: Cancel"}));
    EXPECT_EQ(w.Find("lstHeader")->Columns[0].Caption, "#");
    EXPECT_EQ(w.Find("lstTable")->Columns[1].Caption, "Data");
    EXPECT_EQ(w.TabOrder(),
              (std::vector<std::string>{"lstInfo", "btnQuit", "btnAppend", "btnTruncate", "lstTable",
                                        "btnLink", "lstHeader", "cmbTable", "cmbHeader", "btnCancel"}));
    EXPECT_EQ(Keys(w), (std::vector<std::string>{"Esc, during work", "Ctrl+F", "F3"}));
    EXPECT_TRUE(w.Menu.empty());
    ExpectEachControlPlacedOnce(w);
}

TEST(WindowDescriptions, ThePreviewWindow)
{
    const auto &w = TTexViewLogic::Description();
    EXPECT_EQ(w.Caption, "Preview");
    EXPECT_TRUE(w.Controls.empty());
    EXPECT_EQ(Keys(w), (std::vector<std::string>{"Ctrl++", "Ctrl+-", "Ctrl+0", "Esc", "Space"}));
    ScriptedWindows s;
    EXPECT_EQ(Offered(w, s.texViewLogic),
              (std::vector<std::string>{"Save as PNG... (off)", "-", "Zoom in\tCtrl++ (off)",
                                        "Zoom out\tCtrl+- (off)", "Actual size\tCtrl+0 (off)"}));
    // Two versions of a texture: the item that shows the other one.
    TTexImage texture;
    texture.Width = texture.Height = 1;
    texture.Colours = {0};
    texture.HeldPixels = 1;
    s.texViewLogic.ShowComparison(texture, "a.kvb", texture, "b.kvb", "PIC.TEX");
    EXPECT_EQ(Offered(w, s.texViewLogic)[1], "Show the other version\tSpace");
}

TEST(WindowDescriptions, TheCompareWindow)
{
    const auto &w = TCompareLogic::Description();
    EXPECT_EQ(w.Caption, "Compare");
    EXPECT_EQ(Captions(w), (std::vector<std::string>{"btnClose: Close"}));
    std::vector<std::string> columns;
    for (const TColumn &c : w.Find("lstDiff")->Columns)
        columns.push_back(c.Caption);
    EXPECT_EQ(columns,
              (std::vector<std::string>{"Entry", "Record(s)", "Change", "Old size", "New size"}));
    EXPECT_EQ(w.Find("lblSummary")->Kind, Kind::Text);
    EXPECT_EQ(w.TabOrder(), (std::vector<std::string>{"lstDiff", "btnClose"}));
    EXPECT_EQ(Keys(w), (std::vector<std::string>{"Enter on lstDiff", "Esc"}));
    ExpectEachControlPlacedOnce(w);
    // With no row selected only Stop music is in the menu, and off.
    ScriptedWindows s;
    EXPECT_EQ(Offered(w, s.compare), (std::vector<std::string>{"-", "Stop music (off)"}));
}

TEST(WindowDescriptions, TheGallery)
{
    const auto &w = TGalleryLogic::Description();
    EXPECT_EQ(w.Caption, "Textures");
    EXPECT_EQ(Captions(w), (std::vector<std::string>{"edtGalleryFilter: Filter by name", "btnClose: Close"}));
    EXPECT_EQ(w.Find("lstThumbs")->Kind, Kind::ThumbnailGrid);
    EXPECT_EQ(w.TabOrder(), (std::vector<std::string>{"edtGalleryFilter", "lstThumbs", "btnClose"}));
    EXPECT_EQ(Keys(w), (std::vector<std::string>{"Enter on lstThumbs", "Ctrl+A on lstThumbs", "Esc"}));
    ExpectEachControlPlacedOnce(w);
    // Without a selection every item is there, and off.
    ScriptedWindows s;
    EXPECT_EQ(Offered(w, s.gallery),
              (std::vector<std::string>{"Preview (off)", "-", "Extract... (off)", "Export as PNG... (off)",
                                        "Edit with... (off)", "Open with default program (off)"}));
}

TEST(WindowDescriptions, TheReportWindow)
{
    const auto &w = TReportLogic::Description();
    EXPECT_EQ(w.Caption, "Analysis");
    EXPECT_EQ(Captions(w), (std::vector<std::string>{"btnCopy: Copy", "btnClose: Close"}));
    EXPECT_EQ(w.Find("lstReport")->Kind, Kind::InfoList);
    EXPECT_EQ(w.TabOrder(), (std::vector<std::string>{"lstReport", "btnCopy", "btnClose"}));
    EXPECT_EQ(Keys(w), (std::vector<std::string>{"Esc"}));
    ExpectEachControlPlacedOnce(w);
}

// Screen readers name every control: the ones without a caption by the name the description
// gives them; text shown names itself. No two controls that take the focus share a name, so that
// a listener can tell them apart (a label names the control below it).
template <typename Logic>
std::vector<std::string> AccessibleNames(const TWindowDescription<Logic> &w)
{
    std::vector<std::string> names;
    for (const TControl<Logic> &c : w.Controls) {
        if (ShowsItsName(c.Kind) && c.AccessibleName.empty())
            continue;
        EXPECT_FALSE(AccessibleNameOf(c).empty()) << c.Name;
        if (TakesFocus(c.Kind)) {
            EXPECT_EQ(std::count_if(w.Controls.begin(), w.Controls.end(),
                                    [&](const TControl<Logic> &o) {
                                        return TakesFocus(o.Kind) && AccessibleNameOf(o) == AccessibleNameOf(c);
                                    }),
                      1)
                << c.Name;
        }
        if (!c.AccessibleName.empty())
            names.push_back(c.Name + ": " + c.AccessibleName);
    }
    return names;
}

TEST(WindowDescriptions, EveryControlHasAnAccessibleName)
{
    EXPECT_EQ(AccessibleNames(TKVBEditorLogic::Description()),
              (std::vector<std::string>{"lstFiles: Entries", "lstInfo: Info", "cmbList: Block",
                                        "Status: Progress"}));
    EXPECT_EQ(AccessibleNames(TAdvancedLogic::Description()),
              (std::vector<std::string>{"lstInfo: Info", "lstTable: Listed files", "btnLink: Link",
                                        "lstHeader: Available data", "cmbTable: Block of listed files",
                                        "cmbHeader: Block of available data", "Status: Progress"}));
    EXPECT_EQ(AccessibleNames(TCompareLogic::Description()),
              (std::vector<std::string>{"lstDiff: Differences"}));
    EXPECT_EQ(AccessibleNames(TGalleryLogic::Description()),
              (std::vector<std::string>{"lstThumbs: Textures"}));
    EXPECT_EQ(AccessibleNames(TReportLogic::Description()), (std::vector<std::string>{"lstReport: Report"}));
    // The edit's name is its hint.
    EXPECT_EQ(AccessibleNameOf(*TKVBEditorLogic::Description().Find("edtFilter")), "Filter by name");
}
