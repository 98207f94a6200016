#include "ui/app_windows.h"

namespace kvb::ui {

TAppWindows CreateAppWindows(logic::TDialogs &dialogs, MediaPlayer &player)
{
    TAppWindows windows;
    windows.frmKVBEditor = std::make_unique<TfrmKVBEditor>(dialogs, player);
    windows.frmTexView = std::make_unique<TfrmTexView>(dialogs, windows.frmKVBEditor.get());
    windows.frmAdvanced = new TfrmAdvanced(dialogs, windows.frmKVBEditor.get());
    windows.frmCompare = new TfrmCompare(dialogs, windows.frmKVBEditor.get());
    windows.frmGallery = new TfrmGallery(dialogs, windows.frmKVBEditor.get());
    windows.frmKVBEditor->Logic().SetGallery(windows.frmGallery->Logic());
    windows.frmKVBEditor->Logic().SetSecondaryWindows(windows.frmTexView->Logic(),
                                                      windows.frmAdvanced->Logic(),
                                                      windows.frmCompare->Logic());
    windows.frmReport = new TfrmReport(dialogs, windows.frmKVBEditor.get());
    windows.frmKVBEditor->Logic().SetReportWindow(windows.frmReport->Logic());
    return windows;
}

} // namespace kvb::ui
