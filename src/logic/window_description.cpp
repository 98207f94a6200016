#include "logic/window_description.h"

namespace kvb::logic {

bool TakesFocus(TControlKind kind)
{
    switch (kind) {
    case TControlKind::Button:
    case TControlKind::CheckBox:
    case TControlKind::Link:
    case TControlKind::ReportList:
    case TControlKind::InfoList:
    case TControlKind::Edit:
    case TControlKind::BlockSelector:
    case TControlKind::ThumbnailGrid: return true;
    case TControlKind::Label:
    case TControlKind::Note:
    case TControlKind::Text:
    case TControlKind::StatusText:
    case TControlKind::ProgressBar: return false;
    }
    return false;
}

bool ShowsItsName(TControlKind kind)
{
    switch (kind) {
    case TControlKind::Label:
    case TControlKind::Note:
    case TControlKind::Text:
    case TControlKind::StatusText: return true;
    case TControlKind::Button:
    case TControlKind::CheckBox:
    case TControlKind::Link:
    case TControlKind::ReportList:
    case TControlKind::Edit:
    case TControlKind::InfoList:
    case TControlKind::BlockSelector:
    case TControlKind::ProgressBar:
    case TControlKind::ThumbnailGrid: return false;
    }
    return false;
}

const std::string &AccessibleNameOf(const TControlLook &control)
{
    return control.AccessibleName.empty() ? control.Caption : control.AccessibleName;
}

TPlace Place(const std::string &control, int grow, bool centred)
{
    TPlace place;
    place.Control = control;
    place.Grow = grow;
    place.Centred = centred;
    return place;
}

TPlace Column(std::vector<TPlace> items, int grow)
{
    TPlace place;
    place.Items = std::move(items);
    place.Grow = grow;
    return place;
}

TPlace Row(std::vector<TPlace> items, int grow)
{
    TPlace place = Column(std::move(items), grow);
    place.Row = true;
    return place;
}

TPlace Space(int grow)
{
    TPlace place;
    place.Grow = grow;
    return place;
}

std::string KeyText(TKey key)
{
    switch (key) {
    case TKey::Return: return "Enter";
    case TKey::Escape: return "Esc";
    case TKey::CtrlF: return "Ctrl+F";
    case TKey::F3: return "F3";
    case TKey::CtrlO: return "Ctrl+O";
    case TKey::CtrlE: return "Ctrl+E";
    case TKey::CtrlA: return "Ctrl+A";
    case TKey::CtrlPlus: return "Ctrl++";
    case TKey::CtrlMinus: return "Ctrl+-";
    case TKey::Ctrl0: return "Ctrl+0";
    case TKey::Space: return "Space";
    }
    return {};
}

namespace {

void Walk(const TPlace &place, const std::vector<const TControlLook *> &controls,
          std::vector<std::string> &order)
{
    if (!place.Control.empty()) {
        for (const TControlLook *c : controls)
            if (c->Name == place.Control && TakesFocus(c->Kind))
                order.push_back(c->Name);
        return;
    }
    for (const TPlace &item : place.Items)
        Walk(item, controls, order);
}

} // namespace

std::vector<std::string> FocusOrder(const TPlace &layout,
                                    const std::vector<const TControlLook *> &controls)
{
    std::vector<std::string> order;
    Walk(layout, controls, order);
    return order;
}

} // namespace kvb::logic
