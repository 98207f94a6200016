#include "win32ui/kvbviewer.h"

#include "platform/collation.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/win32/wide.h"
#include "win32ui/controls.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>

#include <algorithm>

namespace kvb::win32ui {

namespace {

constexpr const wchar_t *kLinkColourProperty = L"KvbLink";

// The timer that looks at the edited files' folders: no thread waits on the system's
// notifications, so none races the logic; every wait of the program runs the timer's ticks.
constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchEveryMs = 250;
// The timer that asks the player, which tells no one when its music ends, whether it still plays.
constexpr UINT_PTR kPlaybackTimer = 2;
constexpr UINT kPlaybackEveryMs = 250;

const logic::TWindowDescription<logic::TKVBEditorLogic> &Description()
{
    return logic::TKVBEditorLogic::Description();
}

} // namespace

bool OpenWithShell(const std::string &url)
{
    // Above 32 when the shell found a program for the address.
    return reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", win32::Wide(url).c_str(), nullptr,
                                                     nullptr, SW_SHOWNORMAL)) > 32;
}

logic::TMainView::TOpened OpenFileWithShell(const std::string &path, bool choose, HWND owner)
{
    using TOpened = logic::TMainView::TOpened;
    // The shell takes "/" for the start of a switch, not for a separator.
    const std::wstring file = PathFromUtf8(path).make_preferred().wstring();
    if (choose) {
        OPENASINFO info{};
        info.pcszFile = file.c_str();
        info.oaifInFlags = OAIF_ALLOW_REGISTRATION | OAIF_EXEC;
        const HRESULT result = ::SHOpenWithDialog(owner, &info);
        if (result == HRESULT_FROM_WIN32(ERROR_CANCELLED))
            return TOpened::Cancelled;
        return SUCCEEDED(result) ? TOpened::Opened : TOpened::NoProgram;
    }
    // The window says itself when no program opens the file.
    SHELLEXECUTEINFOW run{};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_FLAG_NO_UI;
    run.hwnd = owner;
    run.lpVerb = L"open";
    run.lpFile = file.c_str();
    run.nShow = SW_SHOWNORMAL;
    return ::ShellExecuteExW(&run) ? TOpened::Opened : TOpened::NoProgram;
}

TfrmKVBEditor::TfrmKVBEditor(logic::TDialogs &dialogs, MediaPlayer &player, TLinkOpener openLink,
                             TFileOpener openFile)
    : TForm(dialogs),
      openLink_(std::move(openLink)),
      openFile_(std::move(openFile)),
      silver_(::CreateSolidBrush(RGB(0xC0, 0xC0, 0xC0))),
      logic_(*this, dialogs, player, SortByCompare(SystemNameCompare()), {})
{
    Create(L"TfrmKVBEditor", Description().Caption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
           WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT, nullptr, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    CreateControls();
    Ready(Description().Width, Description().Height);
    SetAccelerators(Accelerators(Description()));

    CentreOnWorkArea();

    Guarded([this] { logic_.FormCreate(); });
}

TfrmKVBEditor::~TfrmKVBEditor()
{
    logic_.FormDestroy();
    for (auto &[folder, watch] : watches_)
        ::FindCloseChangeNotification(watch.Notification);
}

void TfrmKVBEditor::CreateControls()
{
    controls_ = std::make_unique<TDescribedControls>(*this, Description().Looks(), Description().Layout);
    const TDescribedControls &c = *controls_;
    btnOpen = c.Find("btnOpen");
    btnExtract = c.Find("btnExtract");
    btnExtractAll = c.Find("btnExtractAll");
    edtFilter = c.Find("edtFilter");
    lblFilterCount = c.Find("lblFilterCount");
    lstFiles = c.Find("lstFiles");
    lstInfo = c.Find("lstInfo");
    btnCreate = c.Find("btnCreate");
    btnAnalyse = c.Find("btnAnalyse");
    btnAdvanced = c.Find("btnAdvanced");
    cmbList = c.Find("cmbList");
    Label5 = c.Find("Label5");
    chkFullRead = c.Find("chkFullRead");
    Label1 = c.Find("Label1");
    Label3 = c.Find("Label3");
    Label2 = c.Find("Label2");
    Label4 = c.Find("Label4");
    lblPlaying = c.Find("lblPlaying");
    btnStopMusic = c.Find("btnStopMusic");
    lblStatus = c.Find("lblStatus");
    Status = c.Find("Status");
    btnCancel = c.Find("btnCancel");
    for (HWND link : {Label3, Label4})
        ::SetPropW(link, kLinkColourProperty, link);
    FontChanged();
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

SIZE TfrmKVBEditor::MinimumClientSize() const
{
    return controls_->LeastClientSize(Scale(Description().LeastWidth));
}

void TfrmKVBEditor::Layout(int width, int height)
{
    controls_->Place(width, height);
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
    case WM_DROPFILES: FilesDropped(reinterpret_cast<HDROP>(wParam)); return 0;
    case WM_TIMER:
        if (wParam == kPlaybackTimer) {
            Guarded([this] { logic_.PlaybackTick(); });
            return 0;
        }
        if (wParam != kWatchTimer)
            break;
        LookAtWatchedFolders();
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
    RunCommand(Description(), *controls_, logic_, id, code, Guard());
}

LRESULT TfrmKVBEditor::OnNotify(const NMHDR &header)
{
    // Rows dragged out: their entries, extracted first, go to where they are dropped.
    if (header.hwndFrom == lstFiles && header.code == LVN_BEGINDRAG) {
        Guarded([this] { DragFiles(logic_.ExtractForDrag(SelectedEntryRows())); });
        return 0;
    }
    RunNotify(Description(), *controls_, logic_, header, Guard());
    return 0;
}

bool TfrmKVBEditor::OnKey(const MSG &message)
{
    return RunKey(Description(), *controls_, logic_, message, Guard());
}

TMenu TfrmKVBEditor::EntryMenu()
{
    return TMenu(DescribedMenu(Description(), logic_));
}

void TfrmKVBEditor::ShowEntryMenu(LPARAM at)
{
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    // From the keyboard: at the selected row, or the list's corner.
    if (at == -1) {
        RECT row{LVIR_BOUNDS, 0, 0, 0};
        const int selected = SelectedEntryRow();
        if (selected < 0 ||
            !::SendMessageW(lstFiles, LVM_GETITEMRECT, WPARAM(selected), reinterpret_cast<LPARAM>(&row)))
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
    const std::vector<std::string> paths = TakeDroppedFiles(drop);
    if (logic_.AcceptsDrop(paths))
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

std::vector<int> TfrmKVBEditor::SelectedEntryRows() const
{
    return SelectedRows(lstFiles);
}

void TfrmKVBEditor::SelectEntryRow(int row)
{
    SelectRow(lstFiles, row, true);
}

void TfrmKVBEditor::SelectAllEntryRows()
{
    SelectAllRows(lstFiles);
}

void TfrmKVBEditor::ShowSortColumn(int column, bool descending)
{
    ShowSortArrow(lstFiles, column, descending);
}

std::string TfrmKVBEditor::FilterText() const
{
    return ControlText(edtFilter);
}

void TfrmKVBEditor::SetFilterText(const std::string &text)
{
    ::SetWindowTextW(edtFilter, win32::Wide(text).c_str());
}

void TfrmKVBEditor::SetFilterCount(const std::string &text)
{
    ::SetWindowTextW(lblFilterCount, win32::Wide(text).c_str());
    // The count takes its width from the filter beside it.
    Relayout();
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
    controls_->SetBusy(busy);
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
    SetStatusText(lblStatus, text);
}

void TfrmKVBEditor::CloseWindow()
{
    ::PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

bool TfrmKVBEditor::OpenLink(const std::string &url)
{
    return openLink_(url);
}

logic::TMainView::TOpened TfrmKVBEditor::OpenWithDefault(const std::string &path)
{
    return openFile_(path, false, Handle());
}

logic::TMainView::TOpened TfrmKVBEditor::OpenWithChosenProgram(const std::string &path)
{
    return openFile_(path, true, Handle());
}

void TfrmKVBEditor::AddRecentDocument(const std::string &path)
{
    // The shell's recent documents: the Start menu's and the taskbar's jump list.
    ::SHAddToRecentDocs(SHARD_PATHW, win32::Wide(path).c_str());
}

void TfrmKVBEditor::ShowPlaying(const std::string &text)
{
    ::SetWindowTextW(lblPlaying, win32::Wide(text).c_str());
    for (HWND control : {lblPlaying, btnStopMusic})
        ::ShowWindow(control, text.empty() ? SW_HIDE : SW_SHOW);
    // The line takes its room below the links, or gives it back.
    Relayout();
    if (text.empty())
        ::KillTimer(Handle(), kPlaybackTimer);
    else
        ::SetTimer(Handle(), kPlaybackTimer, kPlaybackEveryMs, nullptr);
}

void TfrmKVBEditor::WatchFile(const std::string &path)
{
    // The folder, which holds this file alone: a save in place and one that renames a new file
    // onto it both show there.
    const std::string folder = ParentFolderOf(path);
    if (watches_.count(folder))
        return;
    const HANDLE notification = ::FindFirstChangeNotificationW(win32::Wide(folder).c_str(), FALSE,
                                                               FILE_NOTIFY_CHANGE_FILE_NAME |
                                                                   FILE_NOTIFY_CHANGE_SIZE |
                                                                   FILE_NOTIFY_CHANGE_LAST_WRITE);
    if (notification == INVALID_HANDLE_VALUE)
        throw EKVBError("Cannot watch " + path +
                        " for changes: " + win32::SystemMessage(::GetLastError()));
    watches_[folder] = TWatch{notification, path, false, false};
    if (watches_.size() == 1)
        ::SetTimer(Handle(), kWatchTimer, kWatchEveryMs, nullptr);
}

void TfrmKVBEditor::UnwatchFile(const std::string &path)
{
    const auto watch = watches_.find(ParentFolderOf(path));
    if (watch == watches_.end())
        return;
    ::FindCloseChangeNotification(watch->second.Notification);
    watches_.erase(watch);
    if (watches_.empty())
        ::KillTimer(Handle(), kWatchTimer);
}

void TfrmKVBEditor::LookAtWatchedFolders()
{
    for (auto &[folder, watch] : watches_) {
        watch.ChangedThisTick = ::WaitForSingleObject(watch.Notification, 0) == WAIT_OBJECT_0;
        if (watch.ChangedThisTick) {
            ::FindNextChangeNotification(watch.Notification);
            watch.Changed = true;
        }
    }
    // A handler that waits in a dialog may be working on the archive that a change would
    // rewrite; and a file still being written is not looked at before its writer is done.
    if (logic::HandlerRunning())
        return;
    std::vector<std::string> changed;
    for (auto &[folder, watch] : watches_)
        if (watch.Changed && !watch.ChangedThisTick) {
            watch.Changed = false;
            changed.push_back(folder);
        }
    for (const std::string &folder : changed)
        Guarded([&] { logic_.EditedFileChanged(folder); });
}

} // namespace kvb::win32ui
