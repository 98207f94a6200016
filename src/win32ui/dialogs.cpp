#include "win32ui/dialogs.h"

#include "platform/win32/wide.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cwchar>
#include <vector>

namespace kvb::win32ui {

namespace {

// The longest path the dialogs take (the system's limit for paths with the long-path prefix).
constexpr DWORD kPathBuffer = 32768;

// A dialog template in memory: the box that asks for a line of text (a prompt, a text box, OK
// and Cancel), in dialog units and the shell's dialog font.
class TTemplate {
public:
    TTemplate(const std::wstring &caption, short width, short height, WORD items)
    {
        Align();
        DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_SHELLFONT |
                      DS_CENTER;
        Double(style);
        Double(0); // no extended style
        Word(items);
        for (short value : {short(0), short(0), width, height})
            Word(WORD(value));
        Word(0); // no menu
        Word(0); // the standard dialog class
        Text(caption);
        Word(8);
        Text(L"MS Shell Dlg");
    }
    // A control of a system class (0x80 button, 0x81 edit, 0x82 static).
    void Item(WORD systemClass, const std::wstring &text, DWORD style, short x, short y, short cx,
              short cy, WORD id)
    {
        Place(style, x, y, cx, cy, id);
        Word(0xFFFF);
        Word(systemClass);
        Text(text);
        Word(0); // no creation data
    }
    // A control of a class named (a common control's, say).
    void Item(const std::wstring &className, DWORD style, short x, short y, short cx, short cy, WORD id)
    {
        Place(style, x, y, cx, cy, id);
        Text(className);
        Word(0); // no text
        Word(0); // no creation data
    }
    const DLGTEMPLATE *Get() const { return reinterpret_cast<const DLGTEMPLATE *>(words_.data()); }

private:
    void Place(DWORD style, short x, short y, short cx, short cy, WORD id)
    {
        Align();
        style |= WS_CHILD | WS_VISIBLE;
        Double(style);
        Double(0); // no extended style
        for (short value : {x, y, cx, cy})
            Word(WORD(value));
        Word(id);
    }
    void Word(WORD value) { words_.push_back(value); }
    // A DWORD as the template holds it: its low word first.
    void Double(DWORD value)
    {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void Text(const std::wstring &text)
    {
        for (wchar_t c : text)
            Word(WORD(c));
        Word(0);
    }
    void Align()
    {
        if (words_.size() % 2)
            Word(0);
    }
    std::vector<WORD> words_;
};

constexpr WORD kAnswerId = 100;

INT_PTR CALLBACK AskTextProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        ::SetWindowLongPtrW(box, DWLP_USER, lParam);
        ::SetFocus(::GetDlgItem(box, kAnswerId));
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            auto *answer = reinterpret_cast<std::wstring *>(::GetWindowLongPtrW(box, DWLP_USER));
            HWND edit = ::GetDlgItem(box, kAnswerId);
            answer->assign(size_t(::GetWindowTextLengthW(edit)) + 1, L'\0');
            answer->resize(size_t(::GetWindowTextW(edit, answer->data(), int(answer->size()))));
            ::EndDialog(box, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(box, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

constexpr WORD kListId = 101;

// The list of ConfirmList: its columns and rows put in once the box exists, each column as wide
// as its widest cell.
INT_PTR CALLBACK ConfirmListProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        const auto &question = *reinterpret_cast<const logic::TListQuestion *>(lParam);
        HWND list = ::GetDlgItem(box, kListId);
        ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
        for (size_t c = 0; c < question.Columns.size(); ++c) {
            std::wstring header = win32::Wide(question.Columns[c]);
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT | LVCF_SUBITEM;
            column.pszText = header.data();
            column.iSubItem = int(c);
            ::SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
        }
        for (size_t r = 0; r < question.Rows.size(); ++r)
            for (size_t c = 0; c < question.Rows[r].size(); ++c) {
                std::wstring cell = win32::Wide(question.Rows[r][c]);
                LVITEMW item{};
                item.mask = LVIF_TEXT;
                item.iItem = int(r);
                item.iSubItem = int(c);
                item.pszText = cell.data();
                ::SendMessageW(list, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, r,
                               reinterpret_cast<LPARAM>(&item));
            }
        // As wide as the wider of its widest cell and its header (with the header's margins).
        for (size_t c = 0; c < question.Columns.size(); ++c) {
            ListView_SetColumnWidth(list, int(c), LVSCW_AUTOSIZE);
            const int header = ListView_GetStringWidth(list, win32::Wide(question.Columns[c]).c_str()) +
                               2 * ::GetSystemMetrics(SM_CXEDGE) + 12;
            if (ListView_GetColumnWidth(list, int(c)) < header)
                ListView_SetColumnWidth(list, int(c), header);
        }
        ::SetFocus(::GetDlgItem(box, IDOK));
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(box, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// Opens the folder browser at the folder chosen last.
int CALLBACK StartFolder(HWND browser, UINT message, LPARAM, LPARAM folder)
{
    if (message == BFFM_INITIALIZED && folder)
        ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, folder);
    return 0;
}

} // namespace

std::wstring Win32Filter(const std::string &filter)
{
    std::wstring parts = win32::Wide(filter);
    for (wchar_t &c : parts)
        if (c == L'|')
            c = L'\0';
    parts.push_back(L'\0');
    parts.push_back(L'\0');
    return parts;
}

HWND TWin32Dialogs::Owner() const
{
    HWND active = ::GetActiveWindow();
    if (!active)
        active = fallback_;
    // A window that a modal one has just disabled is not the one the user works in: the
    // modal window is, which it owns (the system may not have activated it yet).
    if (active && !::IsWindowEnabled(active)) {
        struct TSearch {
            HWND owner, modal;
        } search{active, nullptr};
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND window, LPARAM data) -> BOOL {
                auto *s = reinterpret_cast<TSearch *>(data);
                if (::GetWindow(window, GW_OWNER) != s->owner || !::IsWindowVisible(window) ||
                    !::IsWindowEnabled(window))
                    return TRUE;
                s->modal = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.modal)
            return search.modal;
    }
    return active;
}

void TWin32Dialogs::Notice(const std::string &text)
{
    ::MessageBoxW(Owner(), win32::Wide(text).c_str(), win32::Wide(logic::kApplicationTitle).c_str(),
                  MB_OK);
}

bool TWin32Dialogs::Question(const std::string &text, const std::string &caption)
{
    return ::MessageBoxW(Owner(), win32::Wide(text).c_str(), win32::Wide(caption).c_str(),
                         MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

logic::TAnswer TWin32Dialogs::QuestionWithCancel(const std::string &text, const std::string &caption)
{
    switch (::MessageBoxW(Owner(), win32::Wide(text).c_str(), win32::Wide(caption).c_str(),
                          MB_YESNOCANCEL | MB_DEFBUTTON3)) {
    case IDYES: return logic::TAnswer::Yes;
    case IDNO: return logic::TAnswer::No;
    default: return logic::TAnswer::Cancel;
    }
}

void TWin32Dialogs::Error(const std::string &text)
{
    ::MessageBoxW(Owner(), win32::Wide(text).c_str(), win32::Wide(logic::kApplicationTitle).c_str(),
                  MB_OK | MB_ICONERROR);
}

std::optional<std::string> TWin32Dialogs::RunFileDialog(const logic::TFileDialog &dialog, bool save)
{
    const std::wstring filter = Win32Filter(dialog.Filter);
    const std::wstring extension = win32::Wide(dialog.DefaultExtension);
    const std::wstring folder =
        win32::Wide(dialog.Folder.empty() ? folders_.StartFolder() : dialog.Folder);
    std::wstring file = win32::Wide(dialog.FileName);
    file.resize(kPathBuffer, L'\0');

    OPENFILENAMEW options{};
    options.lStructSize = sizeof options;
    options.hwndOwner = Owner();
    options.lpstrFilter = filter.c_str();
    options.nFilterIndex = 1;
    options.lpstrFile = file.data();
    options.nMaxFile = kPathBuffer;
    options.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    options.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    // The dialogs leave the current folder alone: the next one opens where the last one was
    // through the folder memory.
    options.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR |
                    (save ? 0 : OFN_FILEMUSTEXIST);
    if (!(save ? ::GetSaveFileNameW(&options) : ::GetOpenFileNameW(&options)))
        return std::nullopt;
    const std::string chosen = win32::Utf8(file.c_str());
    if (dialog.Folder.empty())
        folders_.ChoseFile(chosen);
    return chosen;
}

std::optional<std::string> TWin32Dialogs::OpenFile(const logic::TFileDialog &dialog)
{
    return RunFileDialog(dialog, false);
}

std::optional<std::string> TWin32Dialogs::SaveFile(const logic::TFileDialog &dialog)
{
    return RunFileDialog(dialog, true);
}

std::optional<std::string> TWin32Dialogs::ChooseFolder(const std::string &title)
{
    std::wstring name(MAX_PATH, L'\0');
    const std::wstring prompt = win32::Wide(title);
    // The folder used last, or before any the current one, where the file dialogs open too.
    std::wstring start = win32::Wide(folders_.StartFolder());
    if (start.empty()) {
        start.resize(kPathBuffer, L'\0');
        start.resize(
            ::GetCurrentDirectoryW(kPathBuffer, start.data()) < kPathBuffer ? wcslen(start.c_str()) : 0);
    }
    BROWSEINFOW browse{};
    browse.hwndOwner = Owner();
    browse.pszDisplayName = name.data();
    browse.lpszTitle = prompt.empty() ? nullptr : prompt.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    browse.lpfn = StartFolder;
    browse.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
    PIDLIST_ABSOLUTE item = ::SHBrowseForFolderW(&browse);
    if (!item)
        return std::nullopt;
    std::wstring path(kPathBuffer, L'\0');
    const bool onDisk = ::SHGetPathFromIDListEx(item, path.data(), kPathBuffer, GPFIDL_DEFAULT);
    ::CoTaskMemFree(item);
    // A virtual folder (the computer, the control panel) is no folder to write into.
    if (!onDisk || path[0] == L'\0')
        return std::nullopt;
    const std::string chosen = win32::Utf8(path.c_str());
    folders_.ChoseFolder(chosen);
    return chosen;
}

std::optional<std::string> TWin32Dialogs::AskText(const std::string &text, const std::string &caption)
{
    TTemplate box(win32::Wide(caption), 240, 66, 4);
    box.Item(0x82, win32::Wide(text), SS_LEFT | SS_NOPREFIX, 7, 7, 226, 18, WORD(-1));
    box.Item(0x81, L"", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 7, 27, 226, 14, kAnswerId);
    box.Item(0x80, L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 129, 46, 50, 14, IDOK);
    box.Item(0x80, L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, 183, 46, 50, 14, IDCANCEL);
    std::wstring answer;
    if (::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), box.Get(), Owner(), AskTextProc,
                                  reinterpret_cast<LPARAM>(&answer)) != IDOK)
        return std::nullopt;
    return win32::Utf8(answer);
}

bool TWin32Dialogs::ConfirmList(const logic::TListQuestion &question)
{
    // In dialog units: the text above, the list, OK and Cancel at the bottom right.
    TTemplate box(win32::Wide(question.Caption), 360, 226, 4);
    box.Item(0x82, win32::Wide(question.Text), SS_LEFT | SS_NOPREFIX, 7, 7, 346, 56, WORD(-1));
    box.Item(WC_LISTVIEWW,
             WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_NOSORTHEADER | LVS_SHOWSELALWAYS,
             7, 66, 346, 134, kListId);
    box.Item(0x80, L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 249, 205, 50, 14, IDOK);
    box.Item(0x80, L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, 303, 205, 50, 14, IDCANCEL);
    return ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), box.Get(), Owner(), ConfirmListProc,
                                     reinterpret_cast<LPARAM>(&question)) == IDOK;
}

} // namespace kvb::win32ui
