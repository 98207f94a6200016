#include "win32ui/kvbadv.h"

#include "platform/win32/wide.h"
#include "win32ui/controls.h"

#include <commctrl.h>

#include <algorithm>

namespace kvb::win32ui {

namespace {

constexpr int kMargin = 8;
constexpr int kGap = 5;
constexpr int kButtonWidth = 193;
constexpr int kComboWidth = 129;
constexpr int kLinkColumn = 35;
constexpr int kLeastLists = 150;

} // namespace

TfrmAdvanced::TfrmAdvanced(logic::TDialogs &dialogs, HWND owner)
    : TForm(dialogs), owner_(owner), silver_(::CreateSolidBrush(RGB(0xC0, 0xC0, 0xC0))), logic_(*this, dialogs)
{
    Create(L"TfrmAdvanced", "Advanced KVB Editor",
           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX | WS_CLIPCHILDREN,
           WS_EX_CONTROLPARENT, owner, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    CreateControls();
    SetAccelerators({{FCONTROL | FVIRTKEY, 'F', CmdFind}, {FVIRTKEY, VK_F3, CmdFindNext}});
    // At least 542 by 313, and as much more as its rows need (the least size is kept by
    // WM_GETMINMAXINFO), and at first wide enough for every column of both lists; at 200, 108
    // on the screen.
    auto columns = [](HWND list) {
        int width = ::GetSystemMetrics(SM_CXVSCROLL) + 2 * ::GetSystemMetrics(SM_CXEDGE);
        for (int i = 0; i < 3; ++i)
            width += int(::SendMessageW(list, LVM_GETCOLUMNWIDTH, WPARAM(i), 0));
        return width;
    };
    const int lists = 2 * std::max(columns(lstTable), columns(lstHeader)) +
                      Scale(kLinkColumn + 2 * kGap + 2 * kMargin);
    Ready(std::max(542, ::MulDiv(lists, 96, Scale(96))), 313);
    ::SetWindowPos(Handle(), nullptr, Scale(200), Scale(108), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmAdvanced::CreateControls()
{
    auto button = [&](const char *text, int id) { return Control(WC_BUTTONW, text, WS_TABSTOP | BS_PUSHBUTTON, id); };
    auto label = [&](const char *text, int id, DWORD style = SS_LEFT) {
        return Control(WC_STATICW, text, style | SS_NOPREFIX, id);
    };
    auto list = [&](int id, const std::vector<std::pair<std::string, int>> &columns) {
        // A link needs a row selected in both lists at once, so both stay visible.
        HWND l = Control(WC_LISTVIEWW, "",
                         WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                         id, WS_EX_CLIENTEDGE);
        SetUpReportList(l, columns);
        return l;
    };
    auto combo = [&](int id) {
        HWND c = Control(WC_COMBOBOXW, "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, id);
        ::SendMessageW(c, CB_SETMINVISIBLE, 20, 0);
        return c;
    };
    // Created in the tab order.
    lstInfo = Control(WC_LISTBOXW, "", WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL,
                      IdInfo, WS_EX_CLIENTEDGE);
    lstTable = list(IdTable, {{"Filename", Scale(100)}, {"Data", Scale(120)}});
    // "#" holds record numbers of up to seven digits.
    Label1 = label("Listed files", IdLabel1);
    const int number = TextSize(Label1, "0000000").cx + Scale(12);
    lstHeader = list(IdHeader, {{"#", number}, {"Name", Scale(105)}, {"File length", Scale(90)}});
    btnLink = button("->", IdLink);
    btnAppend = button("Append file to KVB", IdAppend);
    btnQuit = button("Quit", IdQuit);
    btnTruncate = button("Truncate file (delete data)", IdTruncate);
    cmbTable = combo(IdTableBlocks);
    cmbHeader = combo(IdHeaderBlocks);
    Label2 = label("Available data", IdLabel2);
    Label3 = label("Link", IdLabel3, SS_CENTER);
    Label4 = label("The editor can only display 1,000 (!) files at once. Archives with more files in "
                   "them are split up into 1,000 file 'blocks'.",
                   IdLabel4, SS_CENTER);
    lblStatus = label("", IdStatusText, SS_LEFT | SS_ENDELLIPSIS);
    Status = Control(PROGRESS_CLASSW, "", 0, IdStatus);
    btnCancel = button("Cancel", IdCancel);
    ::EnableWindow(btnCancel, FALSE);
}

int TfrmAdvanced::FixedHeight(int width) const
{
    const int m = Scale(kMargin), gap = Scale(kGap);
    const int buttons = std::max<int>(Scale(25), IdealSize(btnQuit).cy);
    const int top = std::max(Scale(73), 3 * buttons + 2 * Scale(3));
    const int line = TextSize(Label1, "Ag").cy;
    RECT combo{};
    ::GetWindowRect(cmbTable, &combo);
    const int note = WrappedTextHeight(Label4, width - 2 * m - 2 * Scale(kComboWidth) - 2 * gap);
    return 2 * m + top + gap + line + Scale(2) + gap + std::max<int>(combo.bottom - combo.top, note) + gap + buttons;
}

SIZE TfrmAdvanced::MinimumClientSize() const
{
    const int width = Scale(542);
    return {width, FixedHeight(width) + Scale(kLeastLists)};
}

void TfrmAdvanced::Layout(int width, int height)
{
    const int m = Scale(kMargin), gap = Scale(kGap), inner = width - 2 * m;
    const int buttons = std::max<int>(Scale(25), IdealSize(btnQuit).cy);
    auto place = [](HWND control, int x, int y, int w, int h) {
        ::SetWindowPos(control, nullptr, x, y, std::max(0, w), std::max(0, h), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    // The info lines and the buttons beside them.
    const int top = std::max(Scale(73), 3 * buttons + 2 * Scale(3));
    const int buttonWidth = std::max<int>(Scale(kButtonWidth), IdealSize(btnTruncate).cx);
    place(lstInfo, m, m, inner - buttonWidth - gap, top);
    int y = m;
    for (HWND b : {btnQuit, btnAppend, btnTruncate}) {
        place(b, width - m - buttonWidth, y, buttonWidth, buttons);
        y += buttons + Scale(3);
    }

    // The two lists side by side, the link between them; they take the height left.
    const int line = TextSize(Label1, "Ag").cy;
    const int lists = std::max(Scale(kLeastLists), height - FixedHeight(width));
    const int link = Scale(kLinkColumn);
    const int listWidth = (inner - link - 2 * gap) / 2;
    const int right = m + listWidth + gap + link + gap;
    y = m + top + gap;
    place(Label1, m + Scale(8), y, TextSize(Label1, ControlText(Label1)).cx, line);
    place(Label2, right + Scale(8), y, TextSize(Label2, ControlText(Label2)).cx, line);
    y += line + Scale(2);
    place(lstTable, m, y, listWidth, lists);
    place(lstHeader, right, y, inner - (right - m), lists);
    const int linkX = m + listWidth + gap;
    place(Label3, linkX, y + lists / 2 - line - Scale(16), link, line);
    place(btnLink, linkX + (link - Scale(25)) / 2, y + lists / 2 - Scale(10), Scale(25), Scale(25));
    y += lists + gap;

    // The block choosers with the note between them.
    const int combo = Scale(kComboWidth);
    RECT closed{};
    ::GetWindowRect(cmbTable, &closed);
    const int noteWidth = inner - 2 * combo - 2 * gap;
    const int note = WrappedTextHeight(Label4, noteWidth);
    place(cmbTable, m, y, combo, Scale(300));
    place(Label4, m + combo + gap, y, noteWidth, note);
    place(cmbHeader, width - m - combo, y, combo, Scale(300));
    y += std::max<int>(closed.bottom - closed.top, note) + gap;

    // The progress row.
    const int cancel = std::max<int>(Scale(75), IdealSize(btnCancel).cx);
    const int half = (inner - cancel - 2 * gap) / 2;
    place(lblStatus, m, y + (buttons - line) / 2, half, line);
    place(Status, m + half + gap, y + (buttons - Scale(16)) / 2, half, Scale(16));
    place(btnCancel, width - m - cancel, y, cancel, buttons);
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

LRESULT TfrmAdvanced::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CTLCOLORLISTBOX:
        if (reinterpret_cast<HWND>(lParam) != lstInfo)
            break;
        ::SetBkColor(reinterpret_cast<HDC>(wParam), RGB(0xC0, 0xC0, 0xC0));
        return reinterpret_cast<LRESULT>(silver_.get());
    case WM_CLOSE: {
        bool close = true;
        GuardedDuringWork([&] { close = logic_.FormCloseQuery(); });
        if (close)
            EndModal();
        return 0;
    }
    }
    return TForm::OnMessage(message, wParam, lParam);
}

void TfrmAdvanced::OnCommand(int id, int code, HWND)
{
    logic::TAdvancedLogic &l = logic_;
    if (id == IdCancel && code == BN_CLICKED) {
        GuardedDuringWork([&l] { l.btnCancelClick(); });
        return;
    }
    if (id == IdTableBlocks || id == IdHeaderBlocks) {
        if (code == CBN_SELCHANGE)
            Guarded([&l, id] { id == IdTableBlocks ? l.cmbTableChange() : l.cmbHeaderChange(); });
        return;
    }
    // Clicks come with code 0, accelerators with 1.
    if (code != 0 && code != 1)
        return;
    switch (id) {
    case IdQuit: Guarded([&l] { l.btnQuitClick(); }); break;
    case IdAppend: Guarded([&l] { l.btnAppendClick(); }); break;
    case IdTruncate: Guarded([&l] { l.btnTruncateClick(); }); break;
    case IdLink: Guarded([&l] { l.btnLinkClick(); }); break;
    case CmdFind: Guarded([&l] { l.FindClick(); }); break;
    case CmdFindNext: Guarded([&l] { l.FindNextClick(); }); break;
    }
}

LRESULT TfrmAdvanced::OnNotify(const NMHDR &header)
{
    if (header.hwndFrom == lstTable && header.code == NM_CLICK)
        Guarded([this] { logic_.lstTableClick(); });
    return 0;
}

bool TfrmAdvanced::OnKey(const MSG &message)
{
    // The control the key is bound for: the one with the focus.
    const HWND focus = message.hwnd;
    if (message.wParam == VK_ESCAPE) {
        for (HWND combo : {cmbTable, cmbHeader})
            if (focus == combo && ::SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0))
                return false;
        GuardedDuringWork([this] { logic_.EscapePressed(); });
        return true;
    }
    // Enter presses the button that has the focus.
    if (message.wParam == VK_RETURN && focus && ::GetParent(focus) == Handle()) {
        for (HWND b : {btnLink, btnAppend, btnQuit, btnTruncate, btnCancel})
            if (focus == b) {
                ::SendMessageW(b, BM_CLICK, 0, 0);
                return true;
            }
    }
    return false;
}

void TfrmAdvanced::ShowModal()
{
    ::EnableWindow(owner_, FALSE);
    shown_ = true;
    ::ShowWindow(Handle(), SW_SHOW);
    ::SetForegroundWindow(Handle());
    ::SetFocus(lstTable);
    // The warning comes up every time the window is shown.
    Guarded([this] { logic_.FormShow(); });
    RunMessagesUntil([this] { return !shown_; });
    // A WM_QUIT ended the loop first: the window closes all the same.
    EndModal();
}

void TfrmAdvanced::EndModal()
{
    if (!shown_)
        return;
    shown_ = false;
    logic_.FormClose();
    // The owner takes input again before this window goes, so that it becomes the active one.
    ::EnableWindow(owner_, TRUE);
    ::ShowWindow(Handle(), SW_HIDE);
    if (owner_)
        ::SetActiveWindow(owner_);
}

void TfrmAdvanced::Close()
{
    EndModal();
}

void TfrmAdvanced::CloseWindow()
{
    ::PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

void TfrmAdvanced::SetInfoLines(const std::vector<std::string> &lines)
{
    FillListBox(lstInfo, lines);
}

void TfrmAdvanced::SetTableBlockLabels(const std::vector<std::string> &labels)
{
    FillComboBox(cmbTable, labels);
}

void TfrmAdvanced::SetDataBlockLabels(const std::vector<std::string> &labels)
{
    FillComboBox(cmbHeader, labels);
}

void TfrmAdvanced::SelectTableBlockLabel(int index)
{
    ::SendMessageW(cmbTable, CB_SETCURSEL, WPARAM(index), 0);
}

void TfrmAdvanced::SelectDataBlockLabel(int index)
{
    ::SendMessageW(cmbHeader, CB_SETCURSEL, WPARAM(index), 0);
}

int TfrmAdvanced::ChosenTableBlockLabel() const
{
    return ComboSelection(cmbTable);
}

int TfrmAdvanced::ChosenDataBlockLabel() const
{
    return ComboSelection(cmbHeader);
}

int TfrmAdvanced::DataBlockLabelCount() const
{
    return int(::SendMessageW(cmbHeader, CB_GETCOUNT, 0, 0));
}

void TfrmAdvanced::SetTableRows(const std::vector<TTableRow> &rows)
{
    FillReportList(lstTable, rows);
}

void TfrmAdvanced::SetDataRows(const std::vector<TDataRow> &rows)
{
    FillReportList(lstHeader, rows);
}

void TfrmAdvanced::AddDataRow(const TDataRow &row)
{
    AddReportRow(lstHeader, {row.begin(), row.end()});
}

void TfrmAdvanced::SetTableRowData(int row, const std::string &data)
{
    SetCellText(lstTable, row, 1, data);
}

int TfrmAdvanced::SelectedTableRow() const
{
    return SelectedRow(lstTable);
}

int TfrmAdvanced::SelectedDataRow() const
{
    return SelectedRow(lstHeader);
}

std::string TfrmAdvanced::TableRowData(int row) const
{
    return CellText(lstTable, row, 1);
}

void TfrmAdvanced::SelectTableRow(int row, bool focus)
{
    SelectRow(lstTable, row, focus);
}

void TfrmAdvanced::SelectDataRow(int row, bool focus)
{
    SelectRow(lstHeader, row, focus);
}

TfrmAdvanced::TList TfrmAdvanced::FocusedList() const
{
    const HWND focus = ::GetFocus();
    if (focus == lstHeader)
        return TList::Data;
    if (focus == lstTable)
        return TList::Table;
    return TList::None;
}

void TfrmAdvanced::SetProgressMaximum(int32_t maximum)
{
    ::SendMessageW(Status, PBM_SETRANGE32, 0, maximum);
}

void TfrmAdvanced::SetProgressPosition(int32_t position)
{
    ::SendMessageW(Status, PBM_SETPOS, WPARAM(position), 0);
}

void TfrmAdvanced::SetBusy(bool busy)
{
    EnableControls(!busy, {lstInfo, lblStatus, Status, btnCancel});
    ::EnableWindow(btnCancel, busy);
    if (busy)
        ::SetFocus(btnCancel);
    else if (const HWND focus = ::GetFocus(); !focus || focus == btnCancel)
        ::SetFocus(lstHeader);
}

void TfrmAdvanced::LetEventsRun()
{
    RunWaitingMessages();
}

void TfrmAdvanced::SetStatus(const std::string &text)
{
    ::SetWindowTextW(lblStatus, win32::Wide(text).c_str());
}

} // namespace kvb::win32ui
