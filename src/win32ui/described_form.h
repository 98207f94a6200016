// A window's description (logic/window_description.h) drawn with Windows' own controls: the
// control of each kind, one row-and-column stack that gives both the least client size and the
// controls' places, the window's keys as accelerators and its context menu.
#pragma once

#include "logic/window_description.h"

#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

namespace kvb::win32ui {

class TForm;

// The named sizes of the stack, in pixels at 100 %.
struct TStackSizes {
    int Margin = 6;       // around the whole window
    int Gap = 5;          // between the places of a column
    int RowGap = 4;       // between the places of a row
    int Button = 25;      // the least height of a button
    int ButtonWidth = 75; // the least width of a button that does not grow
    int CheckBox = 17;    // the least height of a check box
    int ProgressBar = 16;
    int DropDown = 300;     // the height of a block selector's open list
    int ColumnPadding = 12; // beside a column's text, for a column as wide as a text
    int EditPadding = 8;    // above and below an edit's line, its frame included
};

// The commands that reach a form from the description: a control's (its identifier), a menu
// item's and a key's. A WM_COMMAND's notification code tells a control's event apart.
enum : int { kFirstControlId = 101, kFirstKeyCommand = 201, kFirstMenuCommand = 301 };
// The notification codes that carry a click: a button's, a static's (both 0, as a menu's
// command is) and an accelerator's.
constexpr int kClicked = BN_CLICKED;
constexpr int kAccelerator = 1;

// The place of the item called name in a description's list, from 0; -1 when there is none.
template <typename Item>
int IndexByName(const std::vector<Item> &items, const std::string &name)
{
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].Name == name)
            return int(i);
    return -1;
}

// The identifier of a described control, and the command of a described menu item, as another
// program that drives the window sends them; 0 when there is none of that name.
template <typename Logic>
int ControlId(const logic::TWindowDescription<Logic> &description, const std::string &name)
{
    const int i = IndexByName(description.Controls, name);
    return i < 0 ? 0 : kFirstControlId + i;
}
template <typename Logic>
int MenuCommand(const logic::TWindowDescription<Logic> &description, const std::string &name)
{
    const int i = IndexByName(description.Menu, name);
    return i < 0 ? 0 : kFirstMenuCommand + i;
}

class TDescribedControls {
public:
    // Makes the control of each look as a child of form, in Tab order (the order of creation is
    // the order in which Tab moves), each under its identifier.
    TDescribedControls(TForm &form, const std::vector<const logic::TControlLook *> &looks,
                       const logic::TPlace &layout, const TStackSizes &sizes = {});

    HWND Find(const std::string &name) const;
    // The control's look for a window handle or an identifier; nullptr when it is none of these.
    const logic::TControlLook *LookOf(HWND control) const;
    const logic::TControlLook *LookOfId(int id) const;
    int IdOf(const std::string &name) const;

    // The least client area at width (which the window's least width bounds below).
    SIZE LeastClientSize(int width) const;
    // Places every control in a client area of width × height, and has the window drawn again.
    void Place(int width, int height) const;
    // Each control as long work wants it: disabled, kept, or enabled only during the work.
    void SetBusy(bool busy) const;

private:
    struct TMade {
        const logic::TControlLook *Look;
        HWND Window;
        int Id;
    };
    // Whether a place has a control shown (a hidden control takes no room), and the gaps
    // between the places of a box that do.
    bool Shown(const logic::TPlace &place) const;
    int Gaps(const logic::TPlace &box) const;
    // A place's least width, and its height at width.
    int LeastWidth(const logic::TPlace &place) const;
    int HeightAt(const logic::TPlace &place, int width) const;
    // The places' sizes along a box: least, grown by their shares of what length leaves.
    std::vector<int> Lengths(const logic::TPlace &box, int length, int width) const;
    void PlaceIn(const logic::TPlace &place, int x, int y, int width, int height) const;
    // A control's own size, its height at width where its text wraps.
    SIZE NaturalSize(const TMade &control, int width) const;
    const TMade *Made(const std::string &name) const;

    TForm &form_;
    TStackSizes sizes_;
    logic::TPlace layout_;
    std::vector<TMade> made_;
};

// The accelerators of the window's keys (bound to the whole window), their commands
// kFirstKeyCommand + the key's index.
template <typename Logic>
std::vector<ACCEL> Accelerators(const logic::TWindowDescription<Logic> &description);
std::vector<ACCEL> AcceleratorsFor(logic::TKey key, int command);

template <typename Logic>
std::vector<ACCEL> Accelerators(const logic::TWindowDescription<Logic> &description)
{
    std::vector<ACCEL> keys;
    for (size_t i = 0; i < description.Keys.size(); ++i)
        if (description.Keys[i].Control.empty() && description.Keys[i].Key != logic::TKey::Escape &&
            description.Keys[i].Key != logic::TKey::Return)
            for (const ACCEL &a : AcceleratorsFor(description.Keys[i].Key, kFirstKeyCommand + int(i)))
                keys.push_back(a);
    return keys;
}

// The context menu as the logic offers it now; its commands are kFirstMenuCommand + the
// item's index.
template <typename Logic>
HMENU DescribedMenu(const logic::TWindowDescription<Logic> &description, const Logic &logic);
void AppendMenuItem(HMENU menu, int command, const std::string &caption, bool enabled);

template <typename Logic>
HMENU DescribedMenu(const logic::TWindowDescription<Logic> &description, const Logic &logic)
{
    HMENU menu = ::CreatePopupMenu();
    for (size_t i = 0; i < description.Menu.size(); ++i) {
        const logic::TMenuItem<Logic> &item = description.Menu[i];
        if (item.Name.empty())
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        else if (item.IsShownFor(logic))
            AppendMenuItem(menu, kFirstMenuCommand + int(i),
                           item.Caption + (item.HasKey ? '\t' + logic::KeyText(item.Key) : ""),
                           item.IsEnabledFor(logic));
    }
    return menu;
}

// Runs a handler of logic inside a form's error guard: guard(call, duringWork).
template <typename Logic, typename Guard>
bool RunHandler(Logic &logic, logic::THandler<Logic> handler, bool duringWork, Guard &&guard)
{
    if (!handler)
        return false;
    guard([&logic, handler] { (logic.*handler)(); }, duringWork);
    return true;
}

// A WM_COMMAND of the window: a control's click (code kClicked; a block selector's choice,
// CBN_SELCHANGE; an edit's change, EN_CHANGE), a key's or a menu item's command (code kClicked or
// kAccelerator) reaching its handler. A link's double-click is no second click. False when it
// reaches none.
template <typename Logic, typename Guard>
bool RunCommand(const logic::TWindowDescription<Logic> &description, const TDescribedControls &controls,
                Logic &logic, int id, int code, Guard &&guard)
{
    if (const logic::TControlLook *look = controls.LookOfId(id)) {
        const logic::TControl<Logic> *c = description.Find(look->Name);
        const bool duringWork = look->DuringWork == logic::TDuringWork::OnlyThen;
        switch (look->Kind) {
        case logic::TControlKind::BlockSelector:
            return code == CBN_SELCHANGE && RunHandler(logic, c->Choose, duringWork, guard);
        case logic::TControlKind::Edit:
            return code == EN_CHANGE && RunHandler(logic, c->Change, duringWork, guard);
        default: return code == kClicked && RunHandler(logic, c->Click, duringWork, guard);
        }
    }
    if (code != kClicked && code != kAccelerator)
        return false;
    if (id >= kFirstMenuCommand && size_t(id - kFirstMenuCommand) < description.Menu.size())
        return RunHandler(logic, description.Menu[size_t(id - kFirstMenuCommand)].Handler, false, guard);
    if (id >= kFirstKeyCommand && size_t(id - kFirstKeyCommand) < description.Keys.size()) {
        const logic::TKeyBinding<Logic> &k = description.Keys[size_t(id - kFirstKeyCommand)];
        return RunHandler(logic, k.Handler, k.DuringWork, guard);
    }
    return false;
}

// A list's notification: a row double-clicked reaches the list's Choose handler, a row
// clicked its Click handler, a column header clicked its HeaderClick handler.
template <typename Logic, typename Guard>
bool RunNotify(const logic::TWindowDescription<Logic> &description, const TDescribedControls &controls,
               Logic &logic, const NMHDR &header, Guard &&guard)
{
    const logic::TControlLook *look = controls.LookOf(header.hwndFrom);
    if (!look ||
        (look->Kind != logic::TControlKind::ReportList && look->Kind != logic::TControlKind::ThumbnailGrid))
        return false;
    const logic::TControl<Logic> *c = description.Find(look->Name);
    if (header.code == LVN_COLUMNCLICK && c->HeaderClick) {
        const auto handler = c->HeaderClick;
        const int column = reinterpret_cast<const NMLISTVIEW &>(header).iSubItem;
        guard([&logic, handler, column] { (logic.*handler)(column); }, false);
        return true;
    }
    if (header.code == NM_DBLCLK)
        return RunHandler(logic, c->Choose, false, guard);
    if (header.code == NM_CLICK)
        return RunHandler(logic, c->Click, false, guard);
    return false;
}

// The keys that a control may have bound to it, for a key-down message: Enter, Escape, Ctrl+A.
std::optional<logic::TKey> ControlKeyOf(const MSG &message);

// Enter and Escape, which no accelerator takes: a key bound to the control with the focus, or
// to the window; otherwise Enter presses the button, or opens the link, that has the focus. A
// key bound to a control only (Ctrl+A) reaches it when that control has the focus. False when
// the key is left to the system.
template <typename Logic, typename Guard>
bool RunKey(const logic::TWindowDescription<Logic> &description, const TDescribedControls &controls,
            Logic &logic, const MSG &message, Guard &&guard)
{
    const std::optional<logic::TKey> pressed = ControlKeyOf(message);
    if (!pressed)
        return false;
    const logic::TKey key = *pressed;
    const bool windowWide = key == logic::TKey::Escape || key == logic::TKey::Return;
    const logic::TControlLook *focused = controls.LookOf(message.hwnd);
    // An open drop-down list closes itself.
    if (key == logic::TKey::Escape && focused && focused->Kind == logic::TControlKind::BlockSelector &&
        ::SendMessageW(message.hwnd, CB_GETDROPPEDSTATE, 0, 0))
        return false;
    for (const logic::TKeyBinding<Logic> &binding : description.Keys)
        if (binding.Key == key &&
            ((binding.Control.empty() && windowWide) || (focused && binding.Control == focused->Name)))
            return RunHandler(logic, binding.Handler, binding.DuringWork, guard);
    if (key == logic::TKey::Return && focused &&
        (focused->Kind == logic::TControlKind::Button || focused->Kind == logic::TControlKind::Link))
        return RunCommand(description, controls, logic, controls.IdOf(focused->Name), kClicked, guard);
    return false;
}

} // namespace kvb::win32ui
