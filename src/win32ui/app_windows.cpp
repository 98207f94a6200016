#include "win32ui/app_windows.h"

#include <commctrl.h>

namespace kvb::win32ui {

TAppWindows CreateAppWindows(logic::TDialogs &dialogs, MediaPlayer &player, TLinkOpener openLink,
                             TFileOpener openFile)
{
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                             ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    TAppWindows windows;
    windows.frmKVBEditor =
        std::make_unique<TfrmKVBEditor>(dialogs, player, std::move(openLink), std::move(openFile));
    const HWND main = windows.frmKVBEditor->Handle();
    windows.frmTexView = std::make_unique<TfrmTexView>(dialogs, main);
    windows.frmAdvanced = std::make_unique<TfrmAdvanced>(dialogs, main);
    windows.frmCompare = std::make_unique<TfrmCompare>(dialogs, main);
    windows.frmGallery = std::make_unique<TfrmGallery>(dialogs, main);
    windows.frmKVBEditor->Logic().SetGallery(windows.frmGallery->Logic());
    windows.frmKVBEditor->Logic().SetSecondaryWindows(windows.frmTexView->Logic(),
                                                      windows.frmAdvanced->Logic(),
                                                      windows.frmCompare->Logic());
    windows.frmReport = std::make_unique<TfrmReport>(dialogs, main);
    windows.frmKVBEditor->Logic().SetReportWindow(windows.frmReport->Logic());
    return windows;
}

} // namespace kvb::win32ui
