// The Win32 main window's wiring: its controls and texts, each handler reached through the real
// controls, the keys, the entry menu, a dropped archive, Cancel during long work, and the
// layout as the window grows. What the handlers do is the logic's tests' business.
#include "drawn_description.h"
#include "logic/main_window_fixture.h"
#include "win32_windows.h"

#include "platform/program_folder.h"
#include "preview/entry_preview.h"
#include "support/midi_builder.h"
#include "support/tex_builder.h"
#include "tools/analysis.h"
#include "tools/creation.h"
#include "win32ui/controls.h"

#include <gtest/gtest.h>

#include <oleacc.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

using namespace kvb;
using namespace kvb::test;
using kvb::win32ui::TfrmKVBEditor;

namespace {

std::string ArchiveOf(int count)
{
    ArchiveBuilder b;
    for (int i = 0; i < count; ++i)
        b.Add('E' + std::to_string(i) + ".BIN", PatternBytes(size_t(8 + i % 5), unsigned(i)));
    return b.Build();
}

std::string PreviewArchive()
{
    ArchiveBuilder b;
    b.Add("GRADIENT.TEX", GradientTex(256, 128).Build());
    b.Add("PICTURE.TEX", PictureTex(64, 32).Build());
    b.Add("TUNE.MID", SimpleTune());
    b.Add("README.TXT", "text");
    return b.Build();
}

SIZE ClientSize(HWND window)
{
    RECT r{};
    ::GetClientRect(window, &r);
    return {r.right, r.bottom};
}

int Height(HWND control)
{
    const RECT r = Win32Windows::Bounds(control);
    return r.bottom - r.top;
}

} // namespace

TEST(MainForm, DrawsItsDescription)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    ExpectDrawn(m.Handle(), logic::TKVBEditorLogic::Description());
    for (const auto &c : logic::TKVBEditorLogic::Description().Controls)
        EXPECT_EQ(!c.Hidden,
                  ::IsWindowVisible(
                      ::GetDlgItem(m.Handle(), win32ui::ControlId(logic::TKVBEditorLogic::Description(),
                                                                  c.Name))) != FALSE)
            << c.Name;
    EXPECT_EQ(::SendMessageW(m.lstFiles, LVM_GETCOLUMNWIDTH, 0, 0), 100);
    EXPECT_EQ(::SendMessageW(m.lstFiles, LVM_GETCOLUMNWIDTH, 2, 0), 75);
    EXPECT_EQ(::SendMessageW(m.cmbList, CB_GETMINVISIBLE, 0, 0), 20);
    EXPECT_TRUE(Win32Windows::Lines(m.lstInfo).empty());
    // Labels are as wide as their texts: the link follows its label without covering it.
    EXPECT_GE(Win32Windows::Bounds(m.Label4).left, Win32Windows::Bounds(m.Label2).right);
    EXPECT_GT(Win32Windows::Bounds(m.Label2).right - Win32Windows::Bounds(m.Label2).left, 40);

    EXPECT_EQ(Win32Windows::Text(w.preview.Handle()), logic::TTexViewLogic::Description().Caption);
    EXPECT_FALSE(::IsWindowVisible(w.preview.Handle()));
    EXPECT_FALSE(::IsWindowVisible(w.advanced.Handle()));
}

TEST(MainForm, GrowsWithTheWindowDownToItsLeastSize)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    EXPECT_EQ(ClientSize(m.Handle()).cx, 300);
    EXPECT_EQ(ClientSize(m.Handle()).cy, 575);
    const int files = Height(m.lstFiles), info = Height(m.lstInfo);
    EXPECT_GE(files, 150);
    EXPECT_GE(info, 80);
    // The status row is the last one, inside the window.
    EXPECT_LE(Win32Windows::Bounds(m.btnCancel).bottom, Win32Windows::Bounds(m.Handle()).bottom);

    ::SetWindowPos(m.Handle(), nullptr, 0, 0, 700, 900, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_GT(Height(m.lstFiles), files);
    EXPECT_GT(Height(m.lstInfo), info);
    EXPECT_GT(Win32Windows::Bounds(m.cmbList).right - Win32Windows::Bounds(m.cmbList).left, 600);

    MINMAXINFO limits{};
    ::SendMessageW(m.Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    ::SetWindowPos(m.Handle(), nullptr, 0, 0, limits.ptMinTrackSize.x, limits.ptMinTrackSize.y,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(ClientSize(m.Handle()).cx, 300);
    EXPECT_GE(Height(m.lstFiles), 125);
    EXPECT_GE(Height(m.lstInfo), 80);
    EXPECT_LE(Win32Windows::Bounds(m.btnCancel).bottom, Win32Windows::Bounds(m.Handle()).bottom);
    // The filter and its count share their row, neither over the other.
    EXPECT_LE(Win32Windows::Bounds(m.edtFilter).right, Win32Windows::Bounds(m.lblFilterCount).left);
    EXPECT_LE(Win32Windows::Bounds(m.edtFilter).bottom, Win32Windows::Bounds(m.lstFiles).top);
}

// Whatever a resize moved is drawn again before the resize returns, not when the message queue
// is next empty: a modal notice's loop (the advanced window's opening one) left it unpainted.
TEST(MainForm, AResizeLeavesNothingWaitingToBePainted)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    ::ShowWindow(m.Handle(), SW_SHOWNOACTIVATE);
    ::UpdateWindow(m.Handle());
    ::SetWindowPos(m.Handle(), nullptr, 0, 0, 800, 700, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_FALSE(::GetUpdateRect(m.Handle(), nullptr, FALSE));
    for (HWND control : {m.lstFiles, m.lstInfo, m.Label5, m.chkFullRead, m.Label3, m.Label4, m.btnCancel})
        EXPECT_FALSE(::GetUpdateRect(control, nullptr, FALSE)) << Win32Windows::Text(control);
    ::ShowWindow(m.Handle(), SW_HIDE);
}

// The window, its columns and its font follow the screen's scale (the test runs at 100 % and,
// with KVB_TEST_SCREEN_DPI, on a screen of that scale).
TEST(MainForm, SizesFollowTheScreensScale)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    if (const char *expected = std::getenv("KVB_TEST_SCREEN_DPI")) {
        ASSERT_EQ(dpi, std::atoi(expected));
    }
    EXPECT_EQ(ClientSize(m.Handle()).cx, ::MulDiv(300, dpi, 96));
    // As tall as that, unless the screen is not: then as tall as the screen.
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_TRUE(ClientSize(m.Handle()).cy == ::MulDiv(575, dpi, 96) ||
                Win32Windows::Bounds(m.Handle()).bottom - Win32Windows::Bounds(m.Handle()).top >=
                    work.bottom - work.top)
        << ClientSize(m.Handle()).cy;
    EXPECT_EQ(::SendMessageW(m.lstFiles, LVM_GETCOLUMNWIDTH, 0, 0), ::MulDiv(100, dpi, 96));
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(m.btnOpen, WM_GETFONT, 0, 0)), sizeof font,
                 &font);
    EXPECT_EQ(font.lfHeight, -::MulDiv(11, dpi, 96));
    // The controls fit their texts at that scale too.
    EXPECT_GE(Height(m.btnOpen), ::MulDiv(25, dpi, 96));
    EXPECT_LE(Win32Windows::Bounds(m.btnCancel).bottom, Win32Windows::Bounds(m.Handle()).bottom);
}

TEST(MainForm, OpensAnArchiveAndShowsItsBlocks)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    Win32Windows::Click(m.chkFullRead); // untick: the lengths are not read
    w.Open(w.Write("MANY.KVB", ArchiveOf(2500)));

    EXPECT_TRUE(w.dialogs.shown.empty()) << w.dialogs.Last();
    EXPECT_EQ(w.dialogs.lastFile.Filter, "KVB Archives|*.KVB|All files|*.*");
    EXPECT_EQ(Win32Windows::Labels(m.cmbList),
              (std::vector<std::string>{"1-1000", "1001-2000", "2001-2500"}));
    EXPECT_EQ(::SendMessageW(m.cmbList, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(Win32Windows::Rows(m.lstFiles), 1000);
    EXPECT_EQ(Win32Windows::Cell(m.lstFiles, 999, 0), "E999.BIN");
    EXPECT_EQ(Win32Windows::Cell(m.lstFiles, 0, 2), "-1");
    EXPECT_EQ(Win32Windows::Lines(m.lstInfo),
              (std::vector<std::string>{"File: MANY.KVB", "# of files in archive: 2500",
                                        "Creator: SQUARESOFT", "Description: "}));
    // The bar stays where the load left it: at its end.
    EXPECT_EQ(::SendMessageW(m.Status, PBM_GETPOS, 0, 0),
              ::SendMessageW(m.Status, PBM_GETRANGE, FALSE, 0));

    Win32Windows::Choose(m.cmbList, 2);
    EXPECT_EQ(Win32Windows::Rows(m.lstFiles), 500);
    EXPECT_EQ(Win32Windows::Cell(m.lstFiles, 5, 0), "E2005.BIN");

    // A file that is no archive: the error box, and everything as it was.
    w.Open(w.Write("BROKEN.KVB", "KVB"));
    EXPECT_EQ(w.dialogs.Last().rfind("error: Stream read error.", 0), 0u) << w.dialogs.Last();
    EXPECT_EQ(Win32Windows::Rows(m.lstFiles), 500);
}

TEST(MainForm, AHeaderClickSortsTypingFiltersAndRowsAreSelectedSeveralAtATime)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    w.Open(w.Write("MANY.KVB", ArchiveOf(2500)));
    // A click on a header, as the list tells its window; the arrow the header shows then.
    auto clickHeader = [&](int column) {
        NMLISTVIEW note{};
        note.hdr.hwndFrom = m.lstFiles;
        note.hdr.idFrom = UINT_PTR(::GetDlgCtrlID(m.lstFiles));
        note.hdr.code = LVN_COLUMNCLICK;
        note.iItem = -1;
        note.iSubItem = column;
        ::SendMessageW(m.Handle(), WM_NOTIFY, note.hdr.idFrom, reinterpret_cast<LPARAM>(&note));
    };
    auto arrow = [&](int column) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        const auto header = reinterpret_cast<HWND>(::SendMessageW(m.lstFiles, LVM_GETHEADER, 0, 0));
        ::SendMessageW(header, HDM_GETITEMW, WPARAM(column), reinterpret_cast<LPARAM>(&item));
        return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
    };
    EXPECT_EQ(::GetWindowLongPtrW(m.lstFiles, GWL_STYLE) & (LVS_SINGLESEL | LVS_NOSORTHEADER), 0);
    clickHeader(3);
    EXPECT_EQ(Win32Windows::Cell(m.lstFiles, 0, 0), "E2499.BIN");
    EXPECT_EQ(Win32Windows::Cell(m.lstFiles, 0, 3), "2500");
    EXPECT_EQ(Win32Windows::Cell(m.lstFiles, 0, 4), "12 bytes");
    EXPECT_EQ(arrow(3), HDF_SORTDOWN);
    clickHeader(3);
    EXPECT_EQ(Win32Windows::Cell(m.lstFiles, 0, 0), "E0.BIN");
    EXPECT_EQ(arrow(3), 0);

    // Typed into the filter: the matches of every block, and how many, beside it.
    ::SetFocus(m.edtFilter);
    for (const char c : std::string("e24"))
        ::SendMessageW(m.edtFilter, WM_CHAR, WPARAM(c), 1);
    EXPECT_EQ(Win32Windows::Text(m.lblFilterCount), "111 of 2,500");
    EXPECT_EQ(Win32Windows::Rows(m.lstFiles), 111);
    EXPECT_EQ(Win32Windows::Labels(m.cmbList), std::vector<std::string>{"1-111"});
    EXPECT_EQ(::GetFocus(), m.edtFilter);
    EXPECT_LE(Win32Windows::Bounds(m.edtFilter).right, Win32Windows::Bounds(m.lblFilterCount).left);
    EXPECT_GT(Win32Windows::Bounds(m.lblFilterCount).right - Win32Windows::Bounds(m.lblFilterCount).left,
              40);

    // Ctrl-click and Shift-click as the list takes them; Ctrl+A.
    auto clickRow = [&](int row, WPARAM keys) {
        RECT cell{LVIR_LABEL, 0, 0, 0};
        ::SendMessageW(m.lstFiles, LVM_GETITEMRECT, WPARAM(row), reinterpret_cast<LPARAM>(&cell));
        const LPARAM at = MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
        ::SendMessageW(m.lstFiles, WM_LBUTTONDOWN, MK_LBUTTON | keys, at);
        ::SendMessageW(m.lstFiles, WM_LBUTTONUP, keys, at);
    };
    clickRow(1, 0);
    clickRow(3, MK_SHIFT);
    clickRow(6, MK_CONTROL);
    EXPECT_EQ(m.SelectedEntryRows(), (std::vector<int>{1, 2, 3, 6}));
    Win32Windows::Key(m.lstFiles, 'A', true);
    EXPECT_EQ(m.SelectedEntryRows().size(), 111u);

    // Extract: one folder for all of them.
    const std::string folder = w.dir / "several";
    std::filesystem::create_directory(PathFromUtf8(folder));
    w.dialogs.folders.push_back(folder);
    Win32Windows::Click(m.btnExtract);
    EXPECT_TRUE(w.dialogs.shown.empty()) << w.dialogs.Last();
    EXPECT_EQ(Win32Windows::Text(m.lblStatus).rfind("111 files extracted to ", 0), 0u)
        << Win32Windows::Text(m.lblStatus);
    EXPECT_EQ(ReadFile(PathFromUtf8(JoinPath(folder, "E2499.BIN"))), PatternBytes(12, 2499));

    // Erased: every entry in its blocks again.
    ::SetWindowTextW(m.edtFilter, L"");
    EXPECT_EQ(Win32Windows::Text(m.lblFilterCount), "");
    EXPECT_EQ(Win32Windows::Labels(m.cmbList).size(), 3u);
}

TEST(MainForm, ExtractsTheSelectedEntryAndThenEveryEntry)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    Win32Windows::Click(m.btnExtract);
    EXPECT_EQ(w.dialogs.Last(), "notice: Select a file to extract first!");
    Win32Windows::Click(m.btnExtractAll);
    EXPECT_EQ(w.dialogs.Last(), "notice: No archive is open. Open a KVB file first!");

    w.Open(w.Write("SEVEN.KVB", ArchiveOf(7)));
    Win32Windows::SelectRow(m.lstFiles, 5);
    const std::string target = w.dir / "chosen.bin";
    w.dialogs.files.push_back(target);
    Win32Windows::Click(m.btnExtract);
    EXPECT_EQ(w.dialogs.lastFile.FileName, "E5.BIN");
    EXPECT_EQ(ReadFile(PathFromUtf8(target)), PatternBytes(8, 5));

    const std::string folder = w.dir / "all";
    std::filesystem::create_directory(PathFromUtf8(folder));
    w.dialogs.folders.push_back(folder);
    Win32Windows::Click(m.btnExtractAll);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(ReadFile(PathFromUtf8(JoinPath(folder, 'E' + std::to_string(i) + ".BIN"))),
                  PatternBytes(size_t(8 + i % 5), unsigned(i)));
    EXPECT_EQ(Win32Windows::Text(m.lblStatus).rfind("7 files extracted to ", 0), 0u)
        << Win32Windows::Text(m.lblStatus);
    // However long the folder's name, the line stays one line and the list stays where it is;
    // the whole text is the tooltip.
    const RECT line = Win32Windows::Bounds(m.lblStatus), list = Win32Windows::Bounds(m.lstFiles);
    const std::string status = "Cancelled: C:\\users\\modder\\a folder with a long name\\another\\"
                               "and another\\DATA\\SOUNDS.KVB was not opened.";
    m.SetStatus(status);
    EXPECT_EQ(Win32Windows::Bounds(m.lblStatus).bottom - Win32Windows::Bounds(m.lblStatus).top,
              line.bottom - line.top);
    EXPECT_EQ(Win32Windows::Bounds(m.lstFiles).top, list.top);
    EXPECT_EQ(win32ui::StatusTooltipText(m.lblStatus), status);
    EXPECT_NE(::GetWindowLongPtrW(m.lblStatus, GWL_STYLE) & SS_PATHELLIPSIS, 0);
}

TEST(MainForm, CreatesAnArchiveAndAnalysesIt)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    const std::string folder = w.dir / "loose";
    std::filesystem::create_directory(PathFromUtf8(folder));
    for (const char *name : {"A.BIN", "B.TEX", "C.MID"})
        WriteFile(PathFromUtf8(JoinPath(folder, name)), std::string(40, name[0]));
    const std::string output = w.dir / "NEW.KVB";
    w.dialogs.folders.push_back(folder);
    w.dialogs.files.push_back(output);
    // The window looks for templates next to the program only, which the user who runs the
    // tests may not be allowed to write to: then it says that the template is missing.
    const std::string templatePath = JoinPath(ExecutableFolder(), "KVB.3");
    bool hasTemplate = true;
    try {
        WriteFile(PathFromUtf8(templatePath), StandardValidation());
    } catch (const std::exception &) {
        hasTemplate = false;
    }
    Win32Windows::Click(m.btnCreate);
    if (hasTemplate)
        std::filesystem::remove(PathFromUtf8(templatePath));

    ASSERT_FALSE(w.dialogs.shown.empty());
    EXPECT_EQ(w.dialogs.shown.front(), "notice: " + kCreateWarning);
    EXPECT_EQ(w.dialogs.lastFile.DefaultExtension, "KVB");
    if (hasTemplate) {
        EXPECT_EQ(Win32Windows::Text(m.lblStatus).rfind("NEW.KVB created from 3 files", 0), 0u)
            << Win32Windows::Text(m.lblStatus) << " / " << w.dialogs.Last();
    } else {
        EXPECT_NE(w.dialogs.Last().find("KVB.3"), std::string::npos) << w.dialogs.Last();
        WriteFile(PathFromUtf8(output), ArchiveOf(3));
    }

    Win32Windows::Click(m.btnAnalyse);
    EXPECT_EQ(w.dialogs.Last(), "notice: " + kAnalyseWithoutArchiveMessage);
    w.Open(output);
    // The report window that follows is closed as soon as it is up.
    static win32ui::TfrmReport *report = nullptr;
    report = w.windows.frmReport.get();
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
        if (report && report->Shown())
            ::PostMessageW(report->Handle(), WM_CLOSE, 0, 0);
    });
    Win32Windows::Click(m.btnAnalyse);
    ::KillTimer(nullptr, timer);
    report = nullptr;
    const TKVBFile catalogue(output, true);
    EXPECT_EQ(Win32Windows::Lines(m.lstInfo), AnalyseArchive(catalogue, "NEW.KVB").Lines);
    EXPECT_GT(Win32Windows::Lines(m.lstInfo).size(), 5u);
    EXPECT_EQ(Win32Windows::Rows(m.lstFiles), 3);
}

TEST(MainForm, PreviewsTexturesOfBothKindsAndPlaysMusic)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    w.Open(w.Write("PREVIEW.KVB", PreviewArchive()));
    HWND preview = w.preview.Handle();

    // A double-click on the palettised texture.
    Win32Windows::DoubleClick(m.lstFiles, 0);
    EXPECT_TRUE(::IsWindowVisible(preview)) << w.dialogs.Last();
    EXPECT_EQ(w.preview.Picture().BitsPerPixel(), 8);
    EXPECT_EQ(ClientSize(preview).cx, 256);
    EXPECT_EQ(ClientSize(preview).cy, 128);
    EXPECT_EQ(Win32Windows::Text(preview), "Preview");
    // Beside the main window, not over it.
    const RECT main = Win32Windows::Bounds(m.Handle()), shown = Win32Windows::Bounds(preview);
    EXPECT_TRUE(shown.left >= main.right || shown.right <= main.left);

    // Enter on the direct-colour one.
    Win32Windows::SelectRow(m.lstFiles, 1);
    Win32Windows::Key(m.lstFiles, VK_RETURN);
    EXPECT_EQ(w.preview.Picture().BitsPerPixel(), 16);
    EXPECT_EQ(w.preview.PictureSize().cx, 64);
    EXPECT_EQ(ClientSize(preview).cy, 32);

    Win32Windows::DoubleClick(m.lstFiles, 2);
    EXPECT_EQ(FileNameOf(w.player.openedFile), "TUNE.MID");
    EXPECT_EQ(w.player.calls.back(), "play");
    // Escape stops the music.
    Win32Windows::Key(m.lstFiles, VK_ESCAPE);
    EXPECT_EQ(w.player.calls.back(), "stop");

    Win32Windows::DoubleClick(m.lstFiles, 3);
    EXPECT_EQ(w.dialogs.Last(), std::string("notice: ") + kCannotPreviewText);
}

TEST(MainForm, TheListKeepsTheKeyboardWhenThePreviewAppears)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    w.Open(w.Write("PREVIEW.KVB", PreviewArchive()));
    HWND preview = w.preview.Handle();
    ::SetForegroundWindow(m.Handle());
    ::SetFocus(m.lstFiles);
    // A window manager that activates every window it maps, as Wine's may: the first preview,
    // and the first after the preview was closed.
    for (int round = 0; round < 2; ++round) {
        Win32Windows::SelectRow(m.lstFiles, 0);
        Win32Windows::Key(m.lstFiles, VK_RETURN);
        ASSERT_TRUE(::IsWindowVisible(preview));
        ::SetForegroundWindow(preview);
        win32ui::TForm::RunWaitingMessages();
        EXPECT_EQ(::GetActiveWindow(), m.Handle()) << round;
        EXPECT_EQ(::GetFocus(), m.lstFiles) << round;
        // Down and Enter browse on.
        Win32Windows::Key(m.lstFiles, VK_DOWN);
        Win32Windows::Key(m.lstFiles, VK_RETURN);
        EXPECT_EQ(w.preview.Picture().BitsPerPixel(), 16) << round;
        ::SendMessageW(preview, WM_CLOSE, 0, 0);
    }
    // The user's own activation of the preview stays.
    Win32Windows::Key(m.lstFiles, VK_UP);
    Win32Windows::Key(m.lstFiles, VK_RETURN);
    ::SendMessageW(preview, WM_MOUSEACTIVATE, WPARAM(preview), MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN));
    ::SetForegroundWindow(preview);
    win32ui::TForm::RunWaitingMessages();
    EXPECT_EQ(::GetActiveWindow(), preview);
}

TEST(MainForm, LinksOpenTheirTargetsWithAHandCursor)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    for (HWND link : {m.Label3, m.Label4}) {
        ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        ::SendMessageW(link, WM_LBUTTONUP, 0, 0);
    }
    EXPECT_EQ(w.links, (std::vector<std::string>{KVB_ISSUES_URL, KVB_PROJECT_URL}));

    ::SendMessageW(m.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(m.Label4),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));
}

namespace {

// The name Active Accessibility gives control, as a screen reader asks for it (through COM, as
// the program runs with it).
std::string AccessibleName(HWND control)
{
    static const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)com;
    IAccessible *accessible = nullptr;
    if (FAILED(::AccessibleObjectFromWindow(control, DWORD(OBJID_CLIENT), IID_IAccessible,
                                            reinterpret_cast<void **>(&accessible))))
        return "(none)";
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    std::string text;
    if (accessible->get_accName(self, &name) == S_OK && name) {
        text = win32::Utf8(std::wstring(name, ::SysStringLen(name)));
        ::SysFreeString(name);
    }
    accessible->Release();
    return text;
}

} // namespace

// Tab from the check box before them reaches each link, and back; Enter and Space on the
// focused link open it.
TEST(MainForm, LinksAreReachedByTabAndOpenedByEnterAndSpace)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    Win32Windows::Key(m.chkFullRead, VK_TAB);
    EXPECT_EQ(::GetFocus(), m.Label3);
    Win32Windows::Key(m.Label3, VK_TAB);
    EXPECT_EQ(::GetFocus(), m.Label4);
    Win32Windows::Key(m.Label4, VK_TAB, false, true);
    EXPECT_EQ(::GetFocus(), m.Label3);
    EXPECT_TRUE(w.links.empty());

    Win32Windows::Key(m.Label3, VK_RETURN);
    Win32Windows::Key(m.Label4, VK_SPACE);
    EXPECT_EQ(w.links, (std::vector<std::string>{KVB_ISSUES_URL, KVB_PROJECT_URL}));
    // Space on another control is that control's: the check box turns off, no link opens.
    Win32Windows::Key(m.chkFullRead, VK_SPACE);
    EXPECT_EQ(w.links.size(), 2u);
}

// The lists and the progress bar, whose window text nothing shows, carry their names there,
// where Active Accessibility reads them; captions name the rest.
TEST(MainForm, ControlsWithoutCaptionsHaveAccessibleNames)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    EXPECT_EQ(AccessibleName(m.lstFiles), "Entries");
    EXPECT_EQ(AccessibleName(m.lstInfo), "Info");
    EXPECT_EQ(AccessibleName(m.Status), "Progress");
    EXPECT_EQ(AccessibleName(m.btnOpen), "Open KVB");
    EXPECT_EQ(AccessibleName(m.Label3), "Mail Tarnwick");
}

TEST(MainForm, KeysReachTheirHandlers)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    // Ctrl+O: "Open KVB".
    w.dialogs.files.push_back(w.Write("KEYS.KVB", ArchiveOf(30)));
    Win32Windows::Key(m.lstFiles, 'O', true);
    EXPECT_EQ(Win32Windows::Rows(m.lstFiles), 30);

    // Ctrl+F asks for a part of a name and selects the entry; F3 finds the next one.
    w.dialogs.texts.push_back(std::string("E2"));
    Win32Windows::Key(m.lstFiles, 'F', true);
    EXPECT_EQ(w.dialogs.Last().rfind("ask ", 0), 0u);
    EXPECT_EQ(Win32Windows::Cell(m.lstFiles, m.SelectedEntryRow(), 0), "E2.BIN");
    Win32Windows::Key(m.lstFiles, VK_F3);
    EXPECT_EQ(Win32Windows::Cell(m.lstFiles, m.SelectedEntryRow(), 0), "E20.BIN");

    // Ctrl+E: "Extract" of the selected entry.
    w.dialogs.files.push_back(std::nullopt);
    Win32Windows::Key(m.lstFiles, 'E', true);
    EXPECT_EQ(w.dialogs.lastFile.FileName, "E20.BIN");
    EXPECT_TRUE(w.dialogs.files.empty());

    // Enter on a focused button presses it.
    w.dialogs.files.push_back(std::nullopt);
    Win32Windows::Key(m.btnOpen, VK_RETURN);
    EXPECT_TRUE(w.dialogs.files.empty());
}

TEST(MainForm, TheEntryMenuOffersWhatTheRowAllows)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    w.Open(w.Write("PREVIEW.KVB", PreviewArchive()));
    auto items = [&] {
        win32ui::TMenu menu = m.EntryMenu();
        std::vector<std::string> texts;
        for (int i = 0; i < ::GetMenuItemCount(menu.get()); ++i) {
            wchar_t text[64] = L"";
            ::GetMenuStringW(menu.get(), UINT(i), text, 64, MF_BYPOSITION);
            const UINT state = ::GetMenuState(menu.get(), UINT(i), MF_BYPOSITION);
            texts.push_back(
                state & MF_SEPARATOR ? "-" : win32::Utf8(text) + (state & MF_GRAYED ? " (off)" : ""));
        }
        return texts;
    };
    // What the description offers for the logic's state, as the menu shows it.
    auto offered = [&] {
        std::vector<std::string> texts;
        for (const auto &item : logic::TKVBEditorLogic::Description().Menu)
            if (item.Name.empty())
                texts.push_back("-");
            else if (item.IsShownFor(m.Logic()))
                texts.push_back(item.Caption + (item.HasKey ? '\t' + logic::KeyText(item.Key) : "") +
                                (item.IsEnabledFor(m.Logic()) ? "" : " (off)"));
        return texts;
    };
    EXPECT_EQ(items(), offered());
    EXPECT_EQ(items().front(), "Extract... (off)");
    Win32Windows::SelectRow(m.lstFiles, 0);
    EXPECT_EQ(items(), offered());
    EXPECT_EQ(items().front(), "Extract...");

    // A command of the menu reaches its handler.
    const std::string png = w.dir / "GRADIENT.png";
    w.dialogs.files.push_back(png);
    ::SendMessageW(m.Handle(), WM_COMMAND,
                   MAKEWPARAM(win32ui::MenuCommand(logic::TKVBEditorLogic::Description(), "mnuExportPng"),
                              0),
                   0);
    EXPECT_EQ(w.dialogs.lastFile.FileName, "GRADIENT.png");
    EXPECT_EQ(ReadFile(PathFromUtf8(png)).substr(1, 3), "PNG");

    // The mods' items, offered with an archive open, reach theirs.
    const std::vector<std::string> drawn = items();
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), "Apply mod..."), drawn.end());
    w.dialogs.files.push_back(std::nullopt);
    ::SendMessageW(m.Handle(), WM_COMMAND,
                   MAKEWPARAM(win32ui::MenuCommand(logic::TKVBEditorLogic::Description(), "mnuApplyMod"),
                              0),
                   0);
    EXPECT_EQ(w.dialogs.lastFile.Filter, "Mod packages|*.kvbmod|All files|*.*");
    ::SendMessageW(m.Handle(), WM_COMMAND,
                   MAKEWPARAM(win32ui::MenuCommand(logic::TKVBEditorLogic::Description(), "mnuRevertMod"),
                              0),
                   0);
    EXPECT_EQ(w.dialogs.Last(), "notice: No mod is recorded as applied to PREVIEW.KVB: there is no "
                                "undo package of a mod beside it.");
}

// Both items hand the entry to the shell; a save there reaches the logic through the folder's
// change notification, and the close button asks about what was not put back.
TEST(MainForm, EditWithAndOpenWithDefaultHandTheEntryOverAndASaveThereAsks)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    const auto &description = logic::TKVBEditorLogic::Description();
    const std::string path = w.Write("EDIT.KVB", ArchiveOf(3));
    w.Open(path);
    auto command = [&](const char *item) {
        ::SendMessageW(m.Handle(), WM_COMMAND, MAKEWPARAM(win32ui::MenuCommand(description, item), 0), 0);
    };
    auto asked = [&](size_t count) {
        return Win32Windows::WaitUntil([&] { return w.dialogs.shown.size() >= count; }) &&
               w.dialogs.shown.size() == count;
    };

    Win32Windows::SelectRow(m.lstFiles, 1);
    command("mnuOpenWithDefault");
    ASSERT_EQ(w.handed.size(), 1u) << w.dialogs.Last();
    ASSERT_EQ(w.handed[0].rfind("default ", 0), 0u);
    const std::string file = w.handed[0].substr(8);
    EXPECT_EQ(FileNameOf(file), "E1.BIN");
    EXPECT_EQ(ReadFile(PathFromUtf8(file)), PatternBytes(9, 1));

    w.dialogs.answers.push_back(true);
    WriteFile(PathFromUtf8(file), "saved in another program");
    ASSERT_TRUE(asked(1)) << w.dialogs.Last();
    EXPECT_EQ(w.dialogs.shown[0],
              "question Edited file: The file E1.BIN has been changed. Update the archive?");
    EXPECT_EQ(Main::Entry(path, 1), "saved in another program");
    EXPECT_EQ(Win32Windows::Cell(m.lstFiles, 1, 2), "24");

    // The shell's "Open with" dialog, cancelled: nothing of the entry stays.
    Win32Windows::SelectRow(m.lstFiles, 2);
    w.openings.push_back(logic::TMainView::TOpened::Cancelled);
    command("mnuEditWith");
    ASSERT_EQ(w.handed.size(), 2u);
    ASSERT_EQ(w.handed[1].rfind("chosen ", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(ParentFolderOf(w.handed[1].substr(7)))));

    // Declined, then the close button: Cancel keeps the window and the file; No lets both go.
    w.dialogs.answers.push_back(false);
    WriteFile(PathFromUtf8(file), "declined");
    ASSERT_TRUE(asked(2)) << w.dialogs.Last();
    bool closed = false;
    m.Closed = [&] { closed = true; };
    w.dialogs.choices = {logic::TAnswer::Cancel, logic::TAnswer::No};
    ::SendMessageW(m.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(w.dialogs.Last(),
              "question Edited files (or cancel): The changes to E1.BIN have not been put back "
              "into EDIT.KVB. Put them back before the program ends?");
    EXPECT_FALSE(closed);
    EXPECT_TRUE(std::filesystem::exists(PathFromUtf8(file)));
    ::SendMessageW(m.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(file)));
    EXPECT_EQ(Main::Entry(path, 1), "saved in another program");
}

TEST(MainForm, AnOpenedArchiveJoinsTheShellsRecentDocuments)
{
    Win32Windows w;
    wchar_t recent[MAX_PATH] = {};
    ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_RECENT, nullptr, SHGFP_TYPE_CURRENT, recent), S_OK);
    const std::string shortcut = JoinPath(win32::Utf8(std::wstring(recent)), "RECENT TEST.kvb.lnk");
    ::DeleteFileW(win32::Wide(shortcut).c_str());
    w.Open(w.Write("RECENT TEST.kvb", ArchiveOf(3)));
    ASSERT_EQ(Win32Windows::Rows(w.main.lstFiles), 3);
    EXPECT_NE(::GetFileAttributesW(win32::Wide(shortcut).c_str()), INVALID_FILE_ATTRIBUTES) << shortcut;
    ::DeleteFileW(win32::Wide(shortcut).c_str());
}

namespace {

// What the shell hands a window for files dropped on it.
HGLOBAL Dropped(const std::vector<std::string> &paths)
{
    std::wstring names;
    for (const std::string &path : paths)
        names += win32::Wide(path) + L'\0';
    names += L'\0';
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto *files = static_cast<DROPFILES *>(::GlobalLock(memory));
    files->pFiles = sizeof(DROPFILES);
    files->fWide = TRUE;
    std::memcpy(reinterpret_cast<char *>(files) + sizeof(DROPFILES), names.data(),
                names.size() * sizeof(wchar_t));
    ::GlobalUnlock(memory);
    return memory;
}

} // namespace

TEST(MainForm, DroppedFilesOpenReplaceOrAppend)
{
    Win32Windows w;
    auto drop = [&](const std::vector<std::string> &paths) {
        // The window takes the drop and lets go of it.
        ::SendMessageW(w.main.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(Dropped(paths)), 0);
    };
    drop({w.Write("notes.txt", "text")});
    EXPECT_TRUE(Win32Windows::Lines(w.main.lstInfo).empty());
    EXPECT_TRUE(w.dialogs.shown.empty()) << w.dialogs.Last();
    const std::string archive = w.Write("Dropped \xC3\xA9.kvb", ArchiveOf(3));
    drop({archive});
    ASSERT_FALSE(Win32Windows::Lines(w.main.lstInfo).empty()) << w.dialogs.Last();
    EXPECT_EQ(Win32Windows::Lines(w.main.lstInfo)[0], "File: Dropped \xC3\xA9.kvb");
    EXPECT_EQ(Win32Windows::Rows(w.main.lstFiles), 3);

    // Another file, with an archive open, replaces the entry of its name once the list is OK'd.
    const std::string entry = Win32Windows::Cell(w.main.lstFiles, 1, 0);
    w.dialogs.answers.push_back(true);
    drop({w.Write(entry, "new data")});
    ASSERT_EQ(w.dialogs.lastList.Rows.size(), 1u) << w.dialogs.Last();
    EXPECT_EQ(w.dialogs.lastList.Rows[0][1], entry);
    EXPECT_EQ(Main::Entry(archive, 1), "new data");

    // The advanced window takes dropped files too, to append them.
    ASSERT_TRUE(w.advanced.Logic().OpenForEdit(archive));
    w.dialogs.answers.push_back(true);
    HGLOBAL memory = Dropped({w.Write("MORE.BIN", "more")});
    ::SendMessageW(w.advanced.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    EXPECT_EQ(w.dialogs.lastList.Caption, "Append data");
    EXPECT_EQ(w.advanced.Logic().RawFile()->DataCount(), 4);
    w.advanced.Logic().FormClose();
}

TEST(MainForm, ThePlayingLineComesWithTheMusicAndItsStopButtonStopsIt)
{
    Win32Windows w;
    w.Open(w.Write("a.kvb", ArchiveBuilder().Add("TUNE.MID", "m").Build()));
    const auto shown = [](HWND control) {
        return (::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
    };
    EXPECT_FALSE(shown(w.main.lblPlaying));
    EXPECT_FALSE(shown(w.main.btnStopMusic));
    const LONG listBottom = Win32Windows::Bounds(w.main.lstFiles).bottom;
    Win32Windows::DoubleClick(w.main.lstFiles, 0);
    EXPECT_TRUE(shown(w.main.lblPlaying));
    EXPECT_TRUE(shown(w.main.btnStopMusic));
    EXPECT_EQ(Win32Windows::Text(w.main.lblPlaying), "Playing TUNE.MID");
    // A row of its own between the links and the status line, which the lists give up.
    EXPECT_GT(Win32Windows::Bounds(w.main.lblPlaying).top, Win32Windows::Bounds(w.main.Label4).bottom);
    EXPECT_LE(Win32Windows::Bounds(w.main.btnStopMusic).bottom,
              Win32Windows::Bounds(w.main.lblStatus).top);
    EXPECT_LT(Win32Windows::Bounds(w.main.lstFiles).bottom, listBottom);
    // Enter on Stop stops the music, and the line goes.
    Win32Windows::Key(w.main.btnStopMusic, VK_RETURN);
    EXPECT_EQ(w.player.mode, MediaMode::Stopped);
    EXPECT_FALSE(shown(w.main.btnStopMusic));
    EXPECT_EQ(Win32Windows::Bounds(w.main.lstFiles).bottom, listBottom);
    // The end of the tune, as the player reports it when asked.
    Win32Windows::DoubleClick(w.main.lstFiles, 0);
    ASSERT_TRUE(shown(w.main.lblPlaying));
    w.player.mode = MediaMode::Stopped;
    EXPECT_TRUE(Win32Windows::WaitUntil([&] { return !shown(w.main.lblPlaying); }));
    EXPECT_TRUE(w.dialogs.shown.empty()) << w.dialogs.Last();
}

TEST(MainForm, RowsDraggedOutGiveTheShellTheirExtractedFiles)
{
    Win32Windows w;
    w.Open(w.Write("a.kvb", ArchiveBuilder().Add("ONE.BIN", "1").Add("TWO.TEX", "22").Add("..", "3").Build()));
    std::vector<std::string> dragged;
    w.main.DragFiles = [&](const std::vector<std::string> &paths) { dragged = paths; };
    ::SendMessageW(w.main.lstFiles, LVM_SETITEMSTATE, WPARAM(-1), [] {
        static LVITEMW none{};
        none.stateMask = LVIS_SELECTED;
        return reinterpret_cast<LPARAM>(&none);
    }());
    for (const int row : {0, 1}) {
        LVITEMW item{};
        item.stateMask = item.state = LVIS_SELECTED;
        ::SendMessageW(w.main.lstFiles, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&item));
    }
    Win32Windows::Notify(w.main.lstFiles, LVN_BEGINDRAG);
    ASSERT_EQ(dragged.size(), 2u) << w.dialogs.Last();
    EXPECT_EQ(ReadFile(PathFromUtf8(dragged[1])), "22");

    // What the shell receives: the file list, each path whole.
    IDataObject *data = win32ui::MakeFileDropData(dragged);
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(data->QueryGetData(&format), S_OK);
    STGMEDIUM medium{};
    ASSERT_EQ(data->GetData(&format, &medium), S_OK);
    const auto drop = static_cast<HDROP>(medium.hGlobal);
    ASSERT_EQ(::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0), 2u);
    for (UINT i = 0; i < 2; ++i) {
        wchar_t path[MAX_PATH];
        ::DragQueryFileW(drop, i, path, MAX_PATH);
        EXPECT_EQ(win32::Utf8(path), dragged[i]);
    }
    ::ReleaseStgMedium(&medium);
    data->Release();

    // A row whose name cannot be a file name is refused, and nothing is dragged.
    dragged.clear();
    Win32Windows::SelectRow(w.main.lstFiles, 2);
    w.dialogs.shown.clear();
    Win32Windows::Notify(w.main.lstFiles, LVN_BEGINDRAG);
    EXPECT_TRUE(dragged.empty());
    EXPECT_EQ(w.dialogs.shown.size(), 1u);
}

TEST(MainForm, CancelAndTheCloseButtonActDuringLongWork)
{
    Win32Windows w;
    TfrmKVBEditor &m = w.main;
    const std::string archive = w.Write("LONG.KVB", ArchiveOf(3000));
    // Waiting until the work lets the window's events run: the close button first (answered
    // No), then Cancel, which is enabled only while the work runs.
    ::PostMessageW(m.Handle(), WM_CLOSE, 0, 0);
    ::PostMessageW(m.btnCancel, BM_CLICK, 0, 0);
    w.dialogs.answers.push_back(false);
    w.Open(archive);

    EXPECT_EQ(w.dialogs.Last(), "question " + logic::kApplicationTitle +
                                    ": Work is still running. Cancel it and close the program?");
    EXPECT_EQ(Win32Windows::Text(m.lblStatus), "Cancelled: LONG.KVB was not opened.");
    EXPECT_EQ(Win32Windows::Rows(m.lstFiles), 0);
    EXPECT_TRUE(::IsWindowVisible(m.Handle()));
    EXPECT_TRUE(::IsWindowEnabled(m.btnOpen));
    EXPECT_FALSE(::IsWindowEnabled(m.btnCancel));

    // Closed once no work runs: the program is told.
    bool closed = false;
    m.Closed = [&] { closed = true; };
    ::SendMessageW(m.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(::IsWindowVisible(m.Handle()));
}
