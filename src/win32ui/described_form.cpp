#include "win32ui/described_form.h"

#include "platform/win32/wide.h"
#include "win32ui/controls.h"
#include "win32ui/form.h"

#include <commctrl.h>

#include <algorithm>

namespace kvb::win32ui {

namespace {

using logic::TControlKind;

// Lists fill the height of the row they stand in; other controls keep their own.
bool FillsRow(TControlKind kind)
{
    return kind == TControlKind::ReportList || kind == TControlKind::InfoList ||
           kind == TControlKind::ThumbnailGrid;
}

// Controls whose own width is their text's; the others fill the width of their column.
bool KeepsItsWidth(TControlKind kind)
{
    return kind == TControlKind::Label || kind == TControlKind::Link || kind == TControlKind::CheckBox;
}

} // namespace

TDescribedControls::TDescribedControls(TForm &form, const std::vector<const logic::TControlLook *> &looks,
                                       const logic::TPlace &layout, const TStackSizes &sizes)
    : form_(form),
      sizes_(sizes),
      layout_(layout)
{
    // Created in Tab order first, the rest after them.
    std::vector<const logic::TControlLook *> order;
    for (const std::string &name : logic::FocusOrder(layout, looks))
        for (const logic::TControlLook *look : looks)
            if (look->Name == name)
                order.push_back(look);
    for (const logic::TControlLook *look : looks)
        if (std::find(order.begin(), order.end(), look) == order.end())
            order.push_back(look);

    for (const logic::TControlLook *look : order) {
        const int id = kFirstControlId + int(std::find(looks.begin(), looks.end(), look) - looks.begin());
        const std::string &text = look->Caption;
        HWND w = nullptr;
        switch (look->Kind) {
        case TControlKind::Button:
            w = form.Control(WC_BUTTONW, text, WS_TABSTOP | BS_PUSHBUTTON, id);
            break;
        case TControlKind::CheckBox:
            w = form.Control(WC_BUTTONW, text, WS_TABSTOP | BS_AUTOCHECKBOX, id);
            ::SendMessageW(w, BM_SETCHECK, look->Checked ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case TControlKind::Label: w = form.Control(WC_STATICW, text, SS_LEFT | SS_NOPREFIX, id); break;
        case TControlKind::StatusText:
            w = form.Control(WC_STATICW, text, SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS | SS_NOTIFY, id);
            MakeStatusTooltip(w);
            break;
        case TControlKind::Note: w = form.Control(WC_STATICW, text, SS_CENTER | SS_NOPREFIX, id); break;
        case TControlKind::Text: w = form.Control(WC_STATICW, text, SS_LEFT | SS_NOPREFIX, id); break;
        case TControlKind::Link:
            w = form.Control(WC_STATICW, text, WS_TABSTOP | SS_LEFT | SS_NOPREFIX | SS_NOTIFY, id);
            MakeLink(w);
            break;
        case TControlKind::ReportList: {
            // A link needs a row selected in both lists at once, so selections stay visible.
            w = form.Control(WC_LISTVIEWW, "",
                             WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS |
                                 (look->SeveralRows ? 0 : LVS_SINGLESEL) |
                                 (look->ClickableHeaders ? 0 : LVS_NOSORTHEADER),
                             id, WS_EX_CLIENTEDGE);
            std::vector<std::pair<std::string, int>> columns;
            for (const logic::TColumn &column : look->Columns)
                columns.emplace_back(column.Caption, column.WideAs.empty()
                                                         ? form.Scale(column.Width)
                                                         : TextSize(w, column.WideAs).cx +
                                                               form.Scale(sizes_.ColumnPadding));
            SetUpReportList(w, columns);
            break;
        }
        case TControlKind::Edit:
            w = form.Control(WC_EDITW, "", WS_TABSTOP | ES_AUTOHSCROLL, id, WS_EX_CLIENTEDGE);
            ::SendMessageW(w, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(win32::Wide(text).c_str()));
            break;
        case TControlKind::InfoList:
            w = form.Control(WC_LISTBOXW, "",
                             WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL, id,
                             WS_EX_CLIENTEDGE);
            break;
        case TControlKind::BlockSelector:
            w = form.Control(WC_COMBOBOXW, "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, id);
            // A list with a scroll bar, not a drop-down as tall as the screen.
            ::SendMessageW(w, CB_SETMINVISIBLE, 20, 0);
            break;
        case TControlKind::ThumbnailGrid:
            // The window gives it its items' count, captions and pictures, and keeps its image
            // list (which the list then leaves alone when it goes).
            w = form.Control(WC_LISTVIEWW, "",
                             WS_TABSTOP | LVS_ICON | LVS_OWNERDATA | LVS_AUTOARRANGE | LVS_SHOWSELALWAYS |
                                 LVS_SHAREIMAGELISTS | (look->SeveralRows ? 0 : LVS_SINGLESEL),
                             id, WS_EX_CLIENTEDGE);
            ::SendMessageW(w, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP,
                           LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP);
            break;
        case TControlKind::ProgressBar:
            w = form.Control(PROGRESS_CLASSW, "", 0, id);
            ::SendMessageW(w, PBM_SETRANGE32, 0, 100);
            break;
        }
        // A caption names its control itself (an edit's is the hint it shows while empty).
        if (!look->AccessibleName.empty() || look->Kind == TControlKind::Edit)
            SetAccessibleName(w, logic::AccessibleNameOf(*look));
        if (look->DuringWork == logic::TDuringWork::OnlyThen)
            ::EnableWindow(w, FALSE);
        if (look->Hidden)
            ::ShowWindow(w, SW_HIDE);
        made_.push_back({look, w, id});
    }
}

const TDescribedControls::TMade *TDescribedControls::Made(const std::string &name) const
{
    for (const TMade &m : made_)
        if (m.Look->Name == name)
            return &m;
    return nullptr;
}

HWND TDescribedControls::Find(const std::string &name) const
{
    const TMade *m = Made(name);
    return m ? m->Window : nullptr;
}

const logic::TControlLook *TDescribedControls::LookOf(HWND control) const
{
    for (const TMade &m : made_)
        if (m.Window == control)
            return m.Look;
    return nullptr;
}

const logic::TControlLook *TDescribedControls::LookOfId(int id) const
{
    for (const TMade &m : made_)
        if (m.Id == id)
            return m.Look;
    return nullptr;
}

int TDescribedControls::IdOf(const std::string &name) const
{
    const TMade *m = Made(name);
    return m ? m->Id : 0;
}

SIZE TDescribedControls::NaturalSize(const TMade &m, int width) const
{
    const logic::TControlLook &look = *m.Look;
    auto scaled = [this](int pixels) { return form_.Scale(pixels); };
    SIZE size{scaled(look.LeastWidth), scaled(look.LeastHeight)};
    const int line = TextSize(m.Window, "Ag").cy;
    switch (look.Kind) {
    case TControlKind::Button: {
        const SIZE ideal = IdealSize(m.Window);
        size.cx = std::max<int>({size.cx, scaled(sizes_.ButtonWidth), int(ideal.cx)});
        size.cy = std::max<int>({size.cy, scaled(sizes_.Button), int(ideal.cy)});
        break;
    }
    case TControlKind::CheckBox: {
        const SIZE ideal = IdealSize(m.Window);
        size = {ideal.cx, std::max<int>(scaled(sizes_.CheckBox), ideal.cy)};
        break;
    }
    case TControlKind::Label:
    case TControlKind::Link:
        size = TextSize(m.Window, ControlText(m.Window));
        size.cy = std::max<int>(size.cy, line);
        break;
    case TControlKind::Note:
    case TControlKind::Text: size.cy = std::max(line, WrappedTextHeight(m.Window, width)); break;
    case TControlKind::StatusText: size.cy = line; break;
    case TControlKind::Edit: size.cy = line + scaled(sizes_.EditPadding); break;
    case TControlKind::ReportList:
    case TControlKind::InfoList:
    case TControlKind::ThumbnailGrid: break;
    case TControlKind::BlockSelector: {
        // The closed height is the system's; the open list is placed below it.
        RECT closed{};
        ::GetWindowRect(m.Window, &closed);
        size.cy = closed.bottom - closed.top;
        break;
    }
    case TControlKind::ProgressBar: size.cy = scaled(sizes_.ProgressBar); break;
    }
    if (look.Width > 0)
        size.cx = scaled(look.Width);
    if (look.Height > 0)
        size.cy = scaled(look.Height);
    return size;
}

bool TDescribedControls::Shown(const logic::TPlace &place) const
{
    // The window's own flag: the window itself may not be shown yet.
    if (!place.Control.empty())
        return (::GetWindowLongW(Made(place.Control)->Window, GWL_STYLE) & WS_VISIBLE) != 0;
    // An empty place takes room as it is told to; a box whose controls are all hidden takes
    // none, whatever empty places it holds.
    if (place.Items.empty())
        return true;
    bool controls = false;
    for (const logic::TPlace &item : place.Items) {
        if (item.Control.empty() && item.Items.empty())
            continue;
        controls = true;
        if (Shown(item))
            return true;
    }
    return !controls;
}

int TDescribedControls::Gaps(const logic::TPlace &box) const
{
    const int shown = int(std::count_if(box.Items.begin(), box.Items.end(),
                                        [this](const logic::TPlace &item) { return Shown(item); }));
    return std::max(0, shown - 1) * form_.Scale(box.Row ? sizes_.RowGap : sizes_.Gap);
}

int TDescribedControls::LeastWidth(const logic::TPlace &place) const
{
    if (!Shown(place))
        return 0;
    if (!place.Control.empty()) {
        const TMade &m = *Made(place.Control);
        // Text that wraps asks for no width of its own.
        const bool wraps = m.Look->Kind == TControlKind::Note || m.Look->Kind == TControlKind::Text ||
                           m.Look->Kind == TControlKind::StatusText;
        return wraps ? form_.Scale(m.Look->LeastWidth) : int(NaturalSize(m, 0).cx);
    }
    int width = 0;
    for (const logic::TPlace &item : place.Items)
        width = place.Row ? width + LeastWidth(item) : std::max(width, LeastWidth(item));
    if (place.Row)
        width += Gaps(place);
    return width;
}

std::vector<int> TDescribedControls::Lengths(const logic::TPlace &box, int length, int width) const
{
    // Along a row the places that grow share what the others leave, by their shares; down a
    // column they get their least heights and share what is left over.
    int grow = 0;
    for (const logic::TPlace &item : box.Items)
        grow += Shown(item) ? item.Grow : 0;
    std::vector<int> lengths;
    int used = Gaps(box);
    for (const logic::TPlace &item : box.Items) {
        int least = box.Row ? (item.Grow > 0 ? 0 : LeastWidth(item)) : HeightAt(item, width);
        lengths.push_back(least);
        used += least;
    }
    const int left = std::max(0, length - used);
    int handed = 0, shares = 0;
    for (size_t i = 0; i < box.Items.size(); ++i) {
        if (box.Items[i].Grow == 0 || !Shown(box.Items[i]))
            continue;
        shares += box.Items[i].Grow;
        const int upTo = left * shares / grow;
        lengths[i] += upTo - handed;
        handed = upTo;
    }
    return lengths;
}

int TDescribedControls::HeightAt(const logic::TPlace &place, int width) const
{
    if (!Shown(place))
        return 0;
    if (!place.Control.empty())
        return NaturalSize(*Made(place.Control), width).cy;
    if (place.Items.empty())
        return 0;
    if (place.Row) {
        const std::vector<int> widths = Lengths(place, width, width);
        int height = 0;
        for (size_t i = 0; i < place.Items.size(); ++i)
            height = std::max(height, HeightAt(place.Items[i], widths[i]));
        return height;
    }
    int height = Gaps(place);
    for (const logic::TPlace &item : place.Items)
        height += HeightAt(item, width);
    return height;
}

SIZE TDescribedControls::LeastClientSize(int width) const
{
    const int margins = 2 * form_.Scale(sizes_.Margin);
    width = std::max(width, LeastWidth(layout_) + margins);
    return {width, HeightAt(layout_, width - margins) + margins};
}

void TDescribedControls::Place(int width, int height) const
{
    const int m = form_.Scale(sizes_.Margin);
    PlaceIn(layout_, m, m, width - 2 * m, height - 2 * m);
    // Everything moved is drawn again where it now stands, the window's own background and
    // every control alike, before this returns; a control left alone would keep the picture of
    // what stood there, and one left to the next empty queue waits through a modal loop.
    ::RedrawWindow(form_.Handle(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TDescribedControls::PlaceIn(const logic::TPlace &place, int x, int y, int width, int height) const
{
    if (!place.Control.empty()) {
        const TMade &m = *Made(place.Control);
        SIZE size = NaturalSize(m, width);
        if (!KeepsItsWidth(m.Look->Kind) && m.Look->Width == 0)
            size.cx = width;
        if (FillsRow(m.Look->Kind) && m.Look->Height == 0)
            size.cy = height;
        if (place.Centred) {
            x += (width - size.cx) / 2;
            y += (height - size.cy) / 2;
        }
        const int placedHeight =
            m.Look->Kind == TControlKind::BlockSelector ? form_.Scale(sizes_.DropDown) : size.cy;
        ::SetWindowPos(m.Window, nullptr, x, y, std::max<int>(0, std::min<int>(size.cx, width)),
                       std::max(0, placedHeight), SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    const int gap = form_.Scale(place.Row ? sizes_.RowGap : sizes_.Gap);
    const std::vector<int> lengths = Lengths(place, place.Row ? width : height, width);
    int at = place.Row ? x : y;
    for (size_t i = 0; i < place.Items.size(); ++i) {
        // A hidden place takes neither room nor a gap.
        if (!Shown(place.Items[i]))
            continue;
        if (place.Row)
            PlaceIn(place.Items[i], at, y, lengths[i], height);
        else
            PlaceIn(place.Items[i], x, at, width, lengths[i]);
        at += lengths[i] + gap;
    }
}

void TDescribedControls::SetBusy(bool busy) const
{
    for (const TMade &m : made_) {
        switch (m.Look->DuringWork) {
        case logic::TDuringWork::Disabled: ::EnableWindow(m.Window, !busy); break;
        case logic::TDuringWork::Kept: break;
        case logic::TDuringWork::OnlyThen: ::EnableWindow(m.Window, busy); break;
        }
    }
}

std::vector<ACCEL> AcceleratorsFor(logic::TKey key, int command)
{
    using logic::TKey;
    const auto ctrl = BYTE(FCONTROL | FVIRTKEY);
    const auto cmd = WORD(command);
    switch (key) {
    case TKey::CtrlF: return {{ctrl, 'F', cmd}};
    case TKey::F3: return {{FVIRTKEY, VK_F3, cmd}};
    case TKey::CtrlO: return {{ctrl, 'O', cmd}};
    case TKey::CtrlE: return {{ctrl, 'E', cmd}};
    case TKey::CtrlA: return {{ctrl, 'A', cmd}};
    // Ctrl++ on the main keys is Ctrl+= (and Ctrl+Shift+= on a US keyboard), and on the keypad.
    case TKey::CtrlPlus:
        return {{ctrl, VK_OEM_PLUS, cmd}, {BYTE(ctrl | FSHIFT), VK_OEM_PLUS, cmd}, {ctrl, VK_ADD, cmd}};
    case TKey::CtrlMinus: return {{ctrl, VK_OEM_MINUS, cmd}, {ctrl, VK_SUBTRACT, cmd}};
    case TKey::Ctrl0: return {{ctrl, '0', cmd}, {ctrl, VK_NUMPAD0, cmd}};
    case TKey::Space: return {{FVIRTKEY, VK_SPACE, cmd}};
    case TKey::Return:
    case TKey::Escape: break;
    }
    return {};
}

std::optional<logic::TKey> ControlKeyOf(const MSG &message)
{
    if (message.wParam == VK_ESCAPE)
        return logic::TKey::Escape;
    if (message.wParam == VK_RETURN)
        return logic::TKey::Return;
    if (message.wParam == 'A' && ::GetKeyState(VK_CONTROL) < 0 && ::GetKeyState(VK_SHIFT) >= 0 &&
        ::GetKeyState(VK_MENU) >= 0)
        return logic::TKey::CtrlA;
    return std::nullopt;
}

void AppendMenuItem(HMENU menu, int command, const std::string &caption, bool enabled)
{
    ::AppendMenuW(menu, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), UINT_PTR(command),
                  win32::Wide(caption).c_str());
}

} // namespace kvb::win32ui
