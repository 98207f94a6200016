// The program's windows, created and wired as the program starts them: the main window
// first, then the preview, then the advanced editor, the compare window, the gallery and the
// report window.
#pragma once

#include "win32ui/kvbadv.h"
#include "win32ui/kvbcompare.h"
#include "win32ui/kvbgallery.h"
#include "win32ui/kvbpreview.h"
#include "win32ui/kvbreport.h"
#include "win32ui/kvbviewer.h"

#include <memory>

namespace kvb::win32ui {

struct TAppWindows {
    // Released last, after the windows that stand beside or above it.
    std::unique_ptr<TfrmKVBEditor> frmKVBEditor;
    std::unique_ptr<TfrmTexView> frmTexView;
    std::unique_ptr<TfrmAdvanced> frmAdvanced;
    std::unique_ptr<TfrmCompare> frmCompare;
    std::unique_ptr<TfrmGallery> frmGallery;
    std::unique_ptr<TfrmReport> frmReport;
};

// The common controls the windows are made of are made ready first.
TAppWindows CreateAppWindows(logic::TDialogs &dialogs, MediaPlayer &player,
                             TLinkOpener openLink = OpenWithShell,
                             TFileOpener openFile = OpenFileWithShell);

} // namespace kvb::win32ui
