#include "win32ui/controls.h"

#include "platform/win32/wide.h"

#include <commctrl.h>
// The annotation's identifiers, defined here.
#include <initguid.h>
#include <oleacc.h>

#include <algorithm>
#include <cstring>

namespace kvb::win32ui {

namespace {

// A device context of control with the control's font selected, for measuring its texts.
class TMeasure {
public:
    explicit TMeasure(HWND control) : control_(control), dc_(::GetDC(control))
    {
        const auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
        old_ = ::SelectObject(dc_, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
    }
    ~TMeasure()
    {
        ::SelectObject(dc_, old_);
        ::ReleaseDC(control_, dc_);
    }
    TMeasure(const TMeasure &) = delete;
    TMeasure &operator=(const TMeasure &) = delete;
    HDC Dc() const { return dc_; }

private:
    HWND control_;
    HDC dc_;
    HGDIOBJ old_;
};

// Where a link is drawn, its focus frame drawn over it when it has the focus; Space clicks it.
LRESULT CALLBACK LinkProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    switch (message) {
    // A static draws no focus of its own.
    case WM_SETFOCUS:
    case WM_KILLFOCUS: ::InvalidateRect(link, nullptr, TRUE); break;
    case WM_PAINT: {
        const LRESULT painted = ::DefSubclassProc(link, message, wParam, lParam);
        if (::GetFocus() == link) {
            HDC dc = ::GetDC(link);
            RECT frame{};
            ::GetClientRect(link, &frame);
            ::DrawFocusRect(dc, &frame);
            ::ReleaseDC(link, dc);
        }
        return painted;
    }
    case WM_KEYDOWN:
        // Once, however long the key is held.
        if (wParam == VK_SPACE && !(lParam & (1 << 30))) {
            ::SendMessageW(::GetParent(link), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(link), STN_CLICKED),
                           reinterpret_cast<LPARAM>(link));
            return 0;
        }
        break;
    }
    return ::DefSubclassProc(link, message, wParam, lParam);
}

} // namespace

void SetAccessibleName(HWND control, const std::string &name)
{
    wchar_t className[32] = L"";
    ::GetClassNameW(control, className, 32);
    const std::wstring wide = win32::Wide(name);
    for (const wchar_t *keeps : {WC_LISTVIEWW, WC_LISTBOXW, PROGRESS_CLASSW})
        if (::lstrcmpiW(className, keeps) == 0)
            ::SetWindowTextW(control, wide.c_str());
    // Without COM on the thread (or with an Active Accessibility that has no annotations) the
    // window text is all there is.
    IAccPropServices *services = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                  reinterpret_cast<void **>(&services))))
        return;
    services->SetHwndPropStr(control, DWORD(OBJID_CLIENT), DWORD(CHILDID_SELF), PROPID_ACC_NAME,
                             const_cast<wchar_t *>(wide.c_str()));
    services->Release();
}

void MakeLink(HWND link)
{
    ::SetWindowSubclass(link, LinkProc, 0, 0);
}

std::string ControlText(HWND control)
{
    const int length = ::GetWindowTextLengthW(control);
    std::wstring text(size_t(length) + 1, L'\0');
    text.resize(size_t(::GetWindowTextW(control, text.data(), length + 1)));
    return win32::Utf8(text);
}

SIZE TextSize(HWND control, const std::string &text)
{
    const TMeasure measure(control);
    const std::wstring wide = win32::Wide(text);
    RECT bounds{0, 0, 0, 0};
    ::DrawTextW(measure.Dc(), wide.c_str(), int(wide.size()), &bounds,
                DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    return {bounds.right - bounds.left, bounds.bottom - bounds.top};
}

int WrappedTextHeight(HWND control, int width)
{
    const TMeasure measure(control);
    const std::wstring wide = win32::Wide(ControlText(control));
    RECT bounds{0, 0, std::max(1, width), 0};
    ::DrawTextW(measure.Dc(), wide.c_str(), int(wide.size()), &bounds,
                DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    return bounds.bottom - bounds.top;
}

SIZE IdealSize(HWND button)
{
    SIZE ideal{0, 0};
    if (!::SendMessageW(button, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)))
        ideal = TextSize(button, ControlText(button));
    return ideal;
}

void SetUpReportList(HWND list, const std::vector<std::pair<std::string, int>> &columns)
{
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                   LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    int index = 0;
    for (const auto &[caption, width] : columns) {
        std::wstring text = win32::Wide(caption);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = width;
        column.pszText = text.data();
        column.iSubItem = index;
        ::SendMessageW(list, LVM_INSERTCOLUMNW, WPARAM(index), reinterpret_cast<LPARAM>(&column));
        ++index;
    }
}

void AddReportRow(HWND list, const std::vector<std::string> &texts)
{
    if (texts.empty())
        return;
    std::wstring caption = win32::Wide(texts[0]);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = int(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = caption.data();
    const int row = int(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    for (size_t column = 1; column < texts.size(); ++column)
        if (!texts[column].empty())
            SetCellText(list, row, int(column), texts[column]);
}

void FillReportList(HWND list, const std::vector<std::vector<std::string>> &rows)
{
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    ::SendMessageW(list, LVM_SETITEMCOUNT, rows.size(), 0);
    for (const std::vector<std::string> &texts : rows)
        AddReportRow(list, texts);
    ::SendMessageW(list, LVM_ENSUREVISIBLE, 0, FALSE);
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

std::string CellText(HWND list, int row, int column)
{
    // The list copies at most the buffer's size; a text that fills it may be longer.
    for (size_t size = 256;; size *= 4) {
        std::wstring text(size, L'\0');
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text.data();
        item.cchTextMax = int(size);
        const auto length =
            size_t(::SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&item)));
        if (length + 1 < size) {
            text.resize(length);
            return win32::Utf8(text);
        }
    }
}

void SetCellText(HWND list, int row, int column, const std::string &text)
{
    std::wstring wide = win32::Wide(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    ::SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&item));
}

int SelectedRow(HWND list)
{
    const int focused = int(::SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
    if (focused >= 0 && ::SendMessageW(list, LVM_GETITEMSTATE, WPARAM(focused), LVIS_SELECTED))
        return focused;
    return int(::SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
}

std::vector<int> SelectedRows(HWND list)
{
    std::vector<int> rows;
    for (int row = -1;
         (row = int(::SendMessageW(list, LVM_GETNEXTITEM, WPARAM(row), LVNI_SELECTED))) >= 0;)
        rows.push_back(row);
    return rows;
}

namespace {

// state (within mask) for row, or for every row when row is -1.
void SetRowState(HWND list, int row, UINT state, UINT mask)
{
    LVITEMW item{};
    item.stateMask = mask;
    item.state = state;
    ::SendMessageW(list, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&item));
}

} // namespace

void SelectAllRows(HWND list)
{
    SetRowState(list, -1, LVIS_SELECTED, LVIS_SELECTED);
}

void ShowSortArrow(HWND list, int column, bool descending)
{
    const auto header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int count = int(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        ::SendMessageW(header, HDM_GETITEMW, WPARAM(i), reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == column)
            item.fmt |= descending ? HDF_SORTDOWN : HDF_SORTUP;
        ::SendMessageW(header, HDM_SETITEMW, WPARAM(i), reinterpret_cast<LPARAM>(&item));
    }
}

void SelectRow(HWND list, int row, bool focus)
{
    if (row < 0 || row >= int(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)))
        return;
    SetRowState(list, -1, 0, LVIS_SELECTED);
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(list, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&state));
    ::SendMessageW(list, LVM_ENSUREVISIBLE, WPARAM(row), FALSE);
    if (focus)
        ::SetFocus(list);
}

void FillComboBox(HWND combo, const std::vector<std::string> &labels)
{
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string &label : labels)
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::Wide(label).c_str()));
}

int ComboSelection(HWND combo)
{
    return int(::SendMessageW(combo, CB_GETCURSEL, 0, 0));
}

void FillListBox(HWND list, const std::vector<std::string> &lines)
{
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    int widest = 0;
    for (const std::string &line : lines) {
        ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::Wide(line).c_str()));
        widest = std::max(widest, int(TextSize(list, line).cx));
    }
    ::SendMessageW(list, LB_SETHORIZONTALEXTENT, WPARAM(widest + 8), 0);
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

namespace {

const wchar_t *const kTooltipProperty = L"KVB.StatusTooltip";

TTTOOLINFOW StatusTool(HWND status, wchar_t *text)
{
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = ::GetParent(status);
    tool.uId = reinterpret_cast<UINT_PTR>(status);
    tool.lpszText = text;
    return tool;
}

} // namespace

void MakeStatusTooltip(HWND status)
{
    HWND tip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 ::GetParent(status), nullptr, nullptr, nullptr);
    if (!tip)
        return;
    wchar_t empty[] = L"";
    TTTOOLINFOW tool = StatusTool(status, empty);
    ::SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    // Long paths are shown whole, on as many lines as the screen needs.
    ::SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, ::GetSystemMetrics(SM_CXSCREEN) / 2);
    ::SetPropW(status, kTooltipProperty, tip);
}

void SetStatusText(HWND status, const std::string &text)
{
    std::wstring wide = win32::Wide(text);
    ::SetWindowTextW(status, wide.c_str());
    if (auto tip = static_cast<HWND>(::GetPropW(status, kTooltipProperty))) {
        TTTOOLINFOW tool = StatusTool(status, wide.data());
        ::SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

std::string StatusTooltipText(HWND status)
{
    auto tip = static_cast<HWND>(::GetPropW(status, kTooltipProperty));
    if (!tip)
        return {};
    wchar_t text[1024] = {};
    TTTOOLINFOW tool = StatusTool(status, text);
    ::SendMessageW(tip, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool));
    return win32::Utf8(std::wstring(text));
}

std::vector<std::string> TakeDroppedFiles(HDROP drop)
{
    std::vector<std::string> paths;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(size_t(::DragQueryFileW(drop, i, nullptr, 0)) + 1, L'\0');
        path.resize(::DragQueryFileW(drop, i, path.data(), UINT(path.size())));
        paths.push_back(win32::Utf8(path));
    }
    ::DragFinish(drop);
    return paths;
}

bool CopyToClipboard(HWND owner, const std::string &text)
{
    std::wstring wide;
    for (const wchar_t c : win32::Wide(text)) {
        if (c == L'\n')
            wide += L'\r';
        wide += c;
    }
    if (!::OpenClipboard(owner))
        return false;
    ::EmptyClipboard();
    bool done = false;
    if (HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, (wide.size() + 1) * sizeof(wchar_t))) {
        if (void *to = ::GlobalLock(memory)) {
            std::memcpy(to, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
            ::GlobalUnlock(memory);
            // The clipboard owns the memory once it has taken it.
            done = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        }
        if (!done)
            ::GlobalFree(memory);
    }
    ::CloseClipboard();
    return done;
}

} // namespace kvb::win32ui
