// The program's windows, created in the order the program starts them, over the player
// that plays the preview's music.
#pragma once

#include "ui/kvbadv.h"
#include "ui/kvbcompare.h"
#include "ui/kvbgallery.h"
#include "ui/kvbpreview.h"
#include "ui/kvbreport.h"
#include "ui/kvbviewer.h"

#include <memory>

namespace kvb::ui {

struct TAppWindows {
    // Declared before the main window so that the main window goes first: its FormDestroy
    // stops what the preview started.
    std::unique_ptr<TfrmTexView> frmTexView; // a window of its own, beside frmKVBEditor
    std::unique_ptr<TfrmKVBEditor> frmKVBEditor;
    TfrmAdvanced *frmAdvanced = nullptr; // owned by frmKVBEditor
    TfrmCompare *frmCompare = nullptr;   // owned by frmKVBEditor
    TfrmGallery *frmGallery = nullptr;   // owned by frmKVBEditor
    TfrmReport *frmReport = nullptr;     // owned by frmKVBEditor
};

// The main window first (its FormCreate runs while it is created), then the preview window,
// then the advanced editor window, the compare window, the gallery and the report window; all
// of those hidden. player outlives the windows.
TAppWindows CreateAppWindows(logic::TDialogs &dialogs, MediaPlayer &player);

} // namespace kvb::ui
