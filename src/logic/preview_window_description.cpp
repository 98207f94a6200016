// The preview window as data: the picture's menu and the keys; the picture itself is each face's.
#include "logic/preview_window.h"

namespace kvb::logic {

namespace {

using L = TTexViewLogic;

TWindowDescription<L> Describe()
{
    TWindowDescription<L> w;
    w.Name = "frmTexView";
    w.Caption = L::Caption(100);
    w.Width = 688;
    w.Height = 453;
    auto item = [](const std::string &name, const std::string &caption, THandler<L> handler, bool hasKey,
                   TKey key) {
        TMenuItem<L> i;
        i.Name = name;
        i.Caption = caption;
        i.Handler = handler;
        i.Enabled = [](const L &l) { return l.HasPicture(); };
        i.HasKey = hasKey;
        i.Key = key;
        return i;
    };
    TMenuItem<L> flip = item("mnuFlip", "Show the other version", &L::FlipClick, true, TKey::Space);
    flip.Shown = [](const L &l) { return l.Comparing(); };
    w.Menu = {
        item("mnuSavePng", "Save as PNG...", &L::mnuSavePngClick, false, TKey::Return),
        flip,
        TMenuItem<L>{},
        item("mnuZoomIn", "Zoom in", &L::ZoomIn, true, TKey::CtrlPlus),
        item("mnuZoomOut", "Zoom out", &L::ZoomOut, true, TKey::CtrlMinus),
        item("mnuZoomReset", "Actual size", &L::ZoomReset, true, TKey::Ctrl0),
    };
    w.Keys = {
        {TKey::CtrlPlus, &L::ZoomIn, {}, false}, {TKey::CtrlMinus, &L::ZoomOut, {}, false},
        {TKey::Ctrl0, &L::ZoomReset, {}, false}, {TKey::Escape, &L::EscapePressed, {}, false},
        {TKey::Space, &L::FlipClick, {}, false},
    };
    return w;
}

} // namespace

const TWindowDescription<TTexViewLogic> &TTexViewLogic::Description()
{
    static const TWindowDescription<TTexViewLogic> description = Describe();
    return description;
}

} // namespace kvb::logic
