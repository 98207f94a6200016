#include "win32ui/kvbviewer.h"

#include "platform/collation.h"
#include "platform/win32/wide.h"
#include "win32ui/controls.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

namespace kvb::win32ui {

namespace {

constexpr int kMargin = 6;
constexpr int kGap = 5;
// The first size of the window's client area, and its least width.
constexpr int kWidth = 300;
constexpr int kHeight = 575;
// The least heights of the entry list and the info lines, which share what the window has left.
constexpr int kLeastFiles = 150;
constexpr int kLeastInfo = 80;

constexpr const wchar_t *kLinkColourProperty = L"KvbLink";

} // namespace

void OpenWithShell(const std::string &url)
{
    ::ShellExecuteW(nullptr, L"open", win32::Wide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

TfrmKVBEditor::TfrmKVBEditor(logic::TDialogs &dialogs, MediaPlayer &player, TLinkOpener openLink)
    : TForm(dialogs), openLink_(std::move(openLink)), silver_(::CreateSolidBrush(RGB(0xC0, 0xC0, 0xC0))),
      logic_(*this, dialogs, player, SortByCompare(SystemNameCompare()), {})
{
    Create(L"TfrmKVBEditor", "KVB Editor", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
           WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT, nullptr, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    CreateControls();
    Ready(kWidth, kHeight);
    SetAccelerators({{FCONTROL | FVIRTKEY, 'F', CmdFind},
                     {FVIRTKEY, VK_F3, CmdFindNext},
                     {FCONTROL | FVIRTKEY, 'O', IdOpen},
                     {FCONTROL | FVIRTKEY, 'E', IdExtract}});

    // Centred on the screen's work area at first.
    RECT work{}, frame{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::GetWindowRect(Handle(), &frame);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    ::SetWindowPos(Handle(), nullptr, work.left + (work.right - work.left - w) / 2,
                   work.top + std::max(0L, (work.bottom - work.top - h) / 2), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    Guarded([this] { logic_.FormCreate(); });
}

TfrmKVBEditor::~TfrmKVBEditor()
{
    logic_.FormDestroy();
}

void TfrmKVBEditor::CreateControls()
{
    auto button = [&](const char *text, int id) { return Control(WC_BUTTONW, text, WS_TABSTOP | BS_PUSHBUTTON, id); };
    auto label = [&](const char *text, int id, DWORD style = 0) {
        return Control(WC_STATICW, text, SS_LEFT | SS_NOPREFIX | style, id);
    };
    btnOpen = button("Open KVB", IdOpen);
    btnExtract = button("Extract", IdExtract);
    btnExtractAll = button("Extract all", IdExtractAll);
    lstFiles = Control(WC_LISTVIEWW, "",
                       WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                       IdFiles, WS_EX_CLIENTEDGE);
    SetUpReportList(lstFiles, {{"Filename", Scale(100)}, {"Table start", Scale(75)}, {"File length", Scale(75)}});
    lstInfo = Control(WC_LISTBOXW, "", WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL,
                      IdInfo, WS_EX_CLIENTEDGE);
    btnCreate = button("Create KVB", IdCreate);
    btnAnalyse = button("Analyse KVB", IdAnalyse);
    btnAdvanced = button("Advanced...", IdAdvanced);
    cmbList = Control(WC_COMBOBOXW, "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, IdList);
    // A list with a scroll bar, not a drop-down as tall as the screen, for archives of many blocks.
    ::SendMessageW(cmbList, CB_SETMINVISIBLE, 20, 0);
    Label5 = label("The editor can only display 1,000 (!) files at once. Archives with more files in "
                   "them are split up into 1,000 file 'blocks'.",
                   IdLabel5, SS_CENTER);
    chkFullRead = Control(WC_BUTTONW, "Read lengths (slower loading when on)", WS_TABSTOP | BS_AUTOCHECKBOX, IdFullRead);
    ::SendMessageW(chkFullRead, BM_SETCHECK, BST_CHECKED, 0);
    Label1 = label("Questions or bug reports: ", IdLabel1);
    Label3 = label("Mail Tarnwick", IdLabel3, SS_NOTIFY);
    Label2 = label("Check for updates at ", IdLabel2);
    Label4 = label("Tarnwick's website", IdLabel4, SS_NOTIFY);
    ::SetPropW(Label3, kLinkColourProperty, Label3);
    ::SetPropW(Label4, kLinkColourProperty, Label4);
    FontChanged();
    lblStatus = label("", IdStatusText);
    Status = Control(PROGRESS_CLASSW, "", 0, IdStatus);
    ::SendMessageW(Status, PBM_SETRANGE32, 0, 100);
    btnCancel = button("Cancel", IdCancel);
    ::EnableWindow(btnCancel, FALSE);
}

void TfrmKVBEditor::FontChanged()
{
    LOGFONTW look{};
    ::GetObjectW(Font(), sizeof look, &look);
    look.lfUnderline = TRUE;
    linkFont_.reset(::CreateFontIndirectW(&look));
    for (HWND link : {Label3, Label4})
        ::SendMessageW(link, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_.get()), TRUE);
}

int TfrmKVBEditor::FixedHeight(int width) const
{
    const int inner = width - 2 * Scale(kMargin);
    const int buttons = std::max<int>(Scale(25), IdealSize(btnOpen).cy);
    RECT combo{};
    ::GetWindowRect(cmbList, &combo);
    const int line = TextSize(Label1, "Ag").cy;
    const int status = std::max(line, WrappedTextHeight(lblStatus, inner));
    return 2 * Scale(kMargin) + 2 * buttons + (combo.bottom - combo.top) + WrappedTextHeight(Label5, inner) +
           std::max<int>(Scale(17), IdealSize(chkFullRead).cy) + 2 * line + status + buttons + 9 * Scale(kGap);
}

SIZE TfrmKVBEditor::MinimumClientSize() const
{
    const int width = Scale(kWidth);
    return {width, FixedHeight(width) + Scale(kLeastFiles + kLeastInfo)};
}

void TfrmKVBEditor::Layout(int width, int height)
{
    const int m = Scale(kMargin), gap = Scale(kGap), inner = width - 2 * m;
    const int buttons = std::max<int>(Scale(25), IdealSize(btnOpen).cy);
    auto place = [](HWND control, int x, int y, int w, int h) {
        ::SetWindowPos(control, nullptr, x, y, std::max(0, w), std::max(0, h), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    auto row = [&](std::initializer_list<HWND> controls, int y) {
        const int n = int(controls.size()), w = (inner - (n - 1) * Scale(4)) / n;
        int x = m;
        for (HWND control : controls) {
            place(control, x, y, w, buttons);
            x += w + Scale(4);
        }
    };
    // The lists share what the fixed rows leave, three parts to one.
    const int lists = std::max(Scale(kLeastFiles + kLeastInfo), height - FixedHeight(width));
    const int info = std::max(Scale(kLeastInfo), lists / 4);

    int y = m;
    row({btnOpen, btnExtract, btnExtractAll}, y);
    y += buttons + gap;
    place(lstFiles, m, y, inner, lists - info);
    y += lists - info + gap;
    place(lstInfo, m, y, inner, info);
    y += info + gap;
    row({btnCreate, btnAnalyse, btnAdvanced}, y);
    y += buttons + gap;
    RECT combo{};
    ::GetWindowRect(cmbList, &combo);
    place(cmbList, m, y, inner, Scale(300));
    y += combo.bottom - combo.top + gap;
    const int note = WrappedTextHeight(Label5, inner);
    place(Label5, m, y, inner, note);
    y += note + gap;
    const int check = std::max<int>(Scale(17), IdealSize(chkFullRead).cy);
    place(chkFullRead, m, y, std::min<int>(inner, IdealSize(chkFullRead).cx), check);
    y += check + gap;
    const int line = TextSize(Label1, "Ag").cy;
    for (auto [label, link] : {std::pair{Label1, Label3}, std::pair{Label2, Label4}}) {
        const int w = TextSize(label, ControlText(label)).cx;
        place(label, m, y, w, line);
        place(link, m + w, y, TextSize(link, ControlText(link)).cx, line);
        y += line + gap;
    }
    const int status = std::max(line, WrappedTextHeight(lblStatus, inner));
    place(lblStatus, m, y, inner, status);
    y += status + gap;
    const int cancel = std::max<int>(Scale(75), IdealSize(btnCancel).cx);
    place(Status, m, y + (buttons - Scale(16)) / 2, inner - cancel - Scale(4), Scale(16));
    place(btnCancel, width - m - cancel, y, cancel, buttons);
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

LRESULT TfrmKVBEditor::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        HWND control = reinterpret_cast<HWND>(lParam);
        if (!::GetPropW(control, kLinkColourProperty))
            break;
        // Link labels are blue and underlined, with a hand cursor.
        ::SetTextColor(dc, RGB(0, 0, 0xFF));
        ::SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CTLCOLORLISTBOX:
        if (reinterpret_cast<HWND>(lParam) != lstInfo)
            break;
        ::SetBkColor(reinterpret_cast<HDC>(wParam), RGB(0xC0, 0xC0, 0xC0));
        return reinterpret_cast<LRESULT>(silver_.get());
    case WM_SETCURSOR: {
        HWND over = reinterpret_cast<HWND>(wParam);
        if (busy_ && over != btnCancel) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_APPSTARTING));
            return TRUE;
        }
        if (over == Label3 || over == Label4) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    }
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == lstFiles) {
            ShowEntryMenu(lParam);
            return 0;
        }
        break;
    case WM_DROPFILES:
        FilesDropped(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_CLOSE: {
        bool close = true;
        GuardedDuringWork([&] { close = logic_.FormCloseQuery(); });
        if (close) {
            ::ShowWindow(Handle(), SW_HIDE);
            if (Closed)
                Closed();
        }
        return 0;
    }
    }
    return TForm::OnMessage(message, wParam, lParam);
}

void TfrmKVBEditor::OnCommand(int id, int code, HWND)
{
    logic::TKVBEditorLogic &l = logic_;
    if (id == IdCancel && code == BN_CLICKED) {
        GuardedDuringWork([&l] { l.btnCancelClick(); });
        return;
    }
    if (id == IdList) {
        if (code == CBN_SELCHANGE)
            Guarded([&l] { l.cmbListChange(); });
        return;
    }
    // A link's double-click is no second click.
    if ((id == IdLabel3 || id == IdLabel4) && code != STN_CLICKED)
        return;
    // Clicks and menu commands come with code 0 (BN_CLICKED, STN_CLICKED), accelerators with 1.
    if (code != 0 && code != 1)
        return;
    switch (id) {
    case IdOpen: Guarded([&l] { l.btnOpenClick(); }); break;
    case IdExtract:
    case MnuExtract: Guarded([&l] { l.btnExtractClick(); }); break;
    case IdExtractAll: Guarded([&l] { l.btnExtractAllClick(); }); break;
    case IdCreate: Guarded([&l] { l.btnCreateClick(); }); break;
    case IdAnalyse: Guarded([&l] { l.btnAnalyseClick(); }); break;
    case IdAdvanced: Guarded([&l] { l.btnAdvancedClick(); }); break;
    case IdLabel3: Guarded([&l] { l.Label3Click(); }); break;
    case IdLabel4: Guarded([&l] { l.Label4Click(); }); break;
    case CmdFind: Guarded([&l] { l.FindClick(); }); break;
    case CmdFindNext: Guarded([&l] { l.FindNextClick(); }); break;
    case MnuReplace: Guarded([&l] { l.mnuReplaceClick(); }); break;
    case MnuExportPng: Guarded([&l] { l.mnuExportPngClick(); }); break;
    case MnuImportPng: Guarded([&l] { l.mnuImportPngClick(); }); break;
    case MnuSaveWav: Guarded([&l] { l.mnuSaveWavClick(); }); break;
    case MnuStopMusic: Guarded([&l] { l.mnuStopMusicClick(); }); break;
    }
}

LRESULT TfrmKVBEditor::OnNotify(const NMHDR &header)
{
    if (header.hwndFrom == lstFiles && header.code == NM_DBLCLK)
        Guarded([this] { logic_.lstFilesDblClick(); });
    return 0;
}

bool TfrmKVBEditor::OnKey(const MSG &message)
{
    // The control the key is bound for: the one with the focus.
    const HWND focus = message.hwnd;
    if (message.wParam == VK_ESCAPE) {
        // An open drop-down list closes itself.
        if (focus == cmbList && ::SendMessageW(cmbList, CB_GETDROPPEDSTATE, 0, 0))
            return false;
        GuardedDuringWork([this] { logic_.EscapePressed(); });
        return true;
    }
    if (message.wParam != VK_RETURN)
        return false;
    if (focus == lstFiles) {
        Guarded([this] { logic_.lstFilesDblClick(); });
        return true;
    }
    // Enter presses the button that has the focus.
    if (focus && ::GetParent(focus) == Handle() && (::GetWindowLongPtrW(focus, GWL_STYLE) & BS_TYPEMASK) == BS_PUSHBUTTON) {
        wchar_t className[16] = L"";
        ::GetClassNameW(focus, className, 16);
        if (::lstrcmpiW(className, WC_BUTTONW) == 0) {
            ::SendMessageW(focus, BM_CLICK, 0, 0);
            return true;
        }
    }
    return false;
}

TMenu TfrmKVBEditor::EntryMenu()
{
    const logic::TEntryMenu offer = logic_.EntryMenu();
    TMenu menu(::CreatePopupMenu());
    auto add = [&](int id, const wchar_t *text, bool enabled) {
        ::AppendMenuW(menu.get(), MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), UINT_PTR(id), text);
    };
    add(MnuExtract, L"Extract...", offer.Selected);
    add(MnuReplace, L"Replace with file...", offer.Selected);
    if (offer.Texture) {
        add(MnuExportPng, L"Export as PNG...", true);
        add(MnuImportPng, L"Import PNG...", true);
    }
    if (offer.Music)
        add(MnuSaveWav, L"Save as WAV...", true);
    ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    add(MnuStopMusic, L"Stop music", offer.Playing);
    return menu;
}

void TfrmKVBEditor::ShowEntryMenu(LPARAM at)
{
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    // From the keyboard: at the selected row, or the list's corner.
    if (at == -1) {
        RECT row{LVIR_BOUNDS, 0, 0, 0};
        const int selected = SelectedEntryRow();
        if (selected < 0 || !::SendMessageW(lstFiles, LVM_GETITEMRECT, WPARAM(selected), reinterpret_cast<LPARAM>(&row)))
            row = {0, 0, 0, 0};
        point = {row.left + Scale(8), row.bottom};
        ::ClientToScreen(lstFiles, &point);
    }
    Guarded([&] {
        TMenu menu = EntryMenu();
        ::TrackPopupMenu(menu.get(), TPM_RIGHTBUTTON, point.x, point.y, 0, Handle(), nullptr);
    });
}

void TfrmKVBEditor::FilesDropped(HDROP drop)
{
    std::vector<std::string> paths;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(size_t(::DragQueryFileW(drop, i, nullptr, 0)) + 1, L'\0');
        path.resize(::DragQueryFileW(drop, i, path.data(), UINT(path.size())));
        paths.push_back(win32::Utf8(path));
    }
    ::DragFinish(drop);
    if (!logic_.Busy() && logic::TKVBEditorLogic::IsDroppedArchive(paths))
        Guarded([&] { logic_.FilesDropped(paths); });
}

void TfrmKVBEditor::SetBlockLabels(const std::vector<std::string> &labels)
{
    FillComboBox(cmbList, labels);
}

void TfrmKVBEditor::SelectBlockLabel(int index)
{
    ::SendMessageW(cmbList, CB_SETCURSEL, WPARAM(index), 0);
}

int TfrmKVBEditor::ChosenBlockLabel() const
{
    return ComboSelection(cmbList);
}

void TfrmKVBEditor::SetEntryRows(const std::vector<TEntryRow> &rows)
{
    FillReportList(lstFiles, rows);
}

int TfrmKVBEditor::SelectedEntryRow() const
{
    return SelectedRow(lstFiles);
}

void TfrmKVBEditor::SelectEntryRow(int row)
{
    SelectRow(lstFiles, row, true);
}

void TfrmKVBEditor::SetInfoLines(const std::vector<std::string> &lines)
{
    FillListBox(lstInfo, lines);
}

bool TfrmKVBEditor::FullRead() const
{
    return ::SendMessageW(chkFullRead, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TfrmKVBEditor::SetProgressMaximum(int32_t maximum)
{
    ::SendMessageW(Status, PBM_SETRANGE32, 0, maximum);
}

void TfrmKVBEditor::SetProgressPosition(int32_t position)
{
    ::SendMessageW(Status, PBM_SETPOS, WPARAM(position), 0);
}

void TfrmKVBEditor::SetBusy(bool busy)
{
    busy_ = busy;
    // The info lines stay readable, the status row shows the work, and Cancel is what acts.
    EnableControls(!busy, {lstInfo, lblStatus, Status, btnCancel});
    ::EnableWindow(btnCancel, busy);
    if (busy)
        ::SetFocus(btnCancel);
    else if (const HWND focus = ::GetFocus(); !focus || focus == btnCancel)
        ::SetFocus(lstFiles);
}

void TfrmKVBEditor::LetEventsRun()
{
    RunWaitingMessages();
}

void TfrmKVBEditor::SetStatus(const std::string &text)
{
    ::SetWindowTextW(lblStatus, win32::Wide(text).c_str());
    // A longer status may need another line.
    Relayout();
}

void TfrmKVBEditor::CloseWindow()
{
    ::PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

void TfrmKVBEditor::OpenLink(const std::string &url)
{
    openLink_(url);
}

} // namespace kvb::win32ui
