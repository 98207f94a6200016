#include "ui/app_windows.h"

namespace kvb::ui {

TAppWindows CreateAppWindows(Dialogs &dialogs)
{
    TAppWindows windows;
    windows.frmKVBEditor = std::make_unique<TfrmKVBEditor>(dialogs);
    windows.frmTexView = new TfrmTexView(dialogs, windows.frmKVBEditor.get());
    windows.frmAdvanced = new TfrmAdvanced(dialogs, windows.frmKVBEditor.get());
    windows.frmKVBEditor->SetSecondaryWindows(windows.frmTexView, windows.frmAdvanced);
    return windows;
}

} // namespace kvb::ui
