// The gallery as data: the filter and its count above the grid of thumbnails, Close below it,
// the menu of the entry list for the textures selected, and the keys.
#include "logic/gallery_window.h"

namespace kvb::logic {

namespace {

using L = TGalleryLogic;

TWindowDescription<L> Describe()
{
    TWindowDescription<L> w;
    w.Name = "frmGallery";
    // Until an archive names it.
    w.Caption = "Textures";
    w.Width = 640;
    w.Height = 480;
    w.LeastWidth = 320;

    TControl<L> filter;
    filter.Name = "edtGalleryFilter";
    filter.Kind = TControlKind::Edit;
    filter.Caption = "Filter by name";
    filter.Change = &L::edtGalleryFilterChange;
    TControl<L> count;
    count.Name = "lblGalleryCount";
    count.Kind = TControlKind::Label;
    TControl<L> grid;
    grid.Name = "lstThumbs";
    grid.AccessibleName = "Textures";
    grid.Kind = TControlKind::ThumbnailGrid;
    grid.SeveralRows = true;
    grid.LeastHeight = 200;
    grid.Choose = &L::lstThumbsDblClick;
    TControl<L> close;
    close.Name = "btnClose";
    close.Kind = TControlKind::Button;
    close.Caption = "Close";
    close.Click = &L::btnCloseClick;
    w.Controls = {filter, count, grid, close};
    w.Layout = Column({Row({Place("edtGalleryFilter", 1), Place("lblGalleryCount", 0, true)}),
                       Place("lstThumbs", 1), Row({Space(), Place("btnClose")})});

    auto item = [](const std::string &name, const std::string &caption, THandler<L> handler) {
        TMenuItem<L> i;
        i.Name = name;
        i.Caption = caption;
        i.Handler = handler;
        i.Enabled = [](const L &l) { return l.HasSelection(); };
        return i;
    };
    w.Menu = {
        item("mnuPreview", "Preview", &L::lstThumbsDblClick),
        TMenuItem<L>{},
        item("mnuExtract", "Extract...", &L::mnuExtractClick),
        item("mnuExportPng", "Export as PNG...", &L::mnuExportPngClick),
        item("mnuEditWith", "Edit with...", &L::mnuEditWithClick),
        item("mnuOpenWithDefault", "Open with default program", &L::mnuOpenWithDefaultClick),
    };
    w.Keys = {
        {TKey::Return, &L::lstThumbsDblClick, "lstThumbs", false},
        {TKey::CtrlA, &L::lstThumbsSelectAll, "lstThumbs", false},
        {TKey::Escape, &L::btnCloseClick, {}, false},
    };
    return w;
}

} // namespace

const TWindowDescription<TGalleryLogic> &TGalleryLogic::Description()
{
    static const TWindowDescription<TGalleryLogic> description = Describe();
    return description;
}

} // namespace kvb::logic
