// A window as data: its controls (name, kind, caption, first state), how they stand, its context
// menu (item, caption, when it is offered, handler) and its keys. The logic of each window
// describes itself once; each face walks the description to make its own widgets, places them
// with its own layout engine and forwards their events to the handlers named here. The Tab
// order is the order in which the controls stand, top to bottom and left to right.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kvb::logic {

enum class TControlKind {
    Button, // pressed by a click, or by Enter while it has the focus
    CheckBox,
    Label,         // one line of text
    Note,          // a paragraph, centred, wrapped to the width it is given
    Text,          // a paragraph, as Note but from the left edge
    Link,          // text that opens an address when clicked or, with the focus, on Enter
    ReportList,    // rows in columns, one selectable (or several, SeveralRows)
    Edit,          // a line of text typed; its caption is the hint it shows while empty
    InfoList,      // read-only lines on grey (silver, or a theme's window colour)
    BlockSelector, // a drop-down list of block labels
    StatusText,    // what long work is doing
    ProgressBar,
    ThumbnailGrid, // pictures in rows, each with its caption under it; several selectable
};

// What assistive technology calls the button inside an edit that empties it, where a face has one.
inline const std::string kClearEditName = "Clear";

// Whether controls of kind take the keyboard focus, and so have a place in the Tab order.
bool TakesFocus(TControlKind kind);
// Whether controls of kind show text that is their own name, as assistive technology reads
// them: the labels, the paragraphs and the status line.
bool ShowsItsName(TControlKind kind);

// What a control does while long work runs in its window.
enum class TDuringWork {
    Disabled, // like the rest of the window
    Kept,     // stays as it is (the info lines stay readable, the status row shows the work)
    OnlyThen, // enabled only while work runs (Cancel)
};

struct TColumn {
    std::string Caption;
    int Width = 0; // pixels at 100 %
    // Or as wide as this text in the window's font, with room for the cell's margins.
    std::string WideAs;
};

// What a face needs to make a control, whatever handlers it has.
struct TControlLook {
    std::string Name;
    TControlKind Kind = TControlKind::Label;
    std::string Caption;
    // What assistive technology (a screen reader) calls the control where no caption names it:
    // a list, the edit, a block selector, the progress bar. Empty: its caption, and for text
    // shown (labels, the status line) the text it shows at the time.
    std::string AccessibleName;
    bool Checked = false;
    TDuringWork DuringWork = TDuringWork::Disabled;
    std::vector<TColumn> Columns;
    // A report list whose rows may be selected several at a time (Ctrl-click, Shift-click, and
    // whatever else the system offers), and whose column headers can be clicked.
    bool SeveralRows = false;
    bool ClickableHeaders = false;
    // Not shown (and taking no room) until the window's logic has it shown.
    bool Hidden = false;
    // Sizes in pixels at 100 %; 0: the control's own.
    int Width = 0, Height = 0;
    int LeastWidth = 0, LeastHeight = 0;
};

// The name assistive technology gives the control: its AccessibleName, or else its caption.
const std::string &AccessibleNameOf(const TControlLook &control);

template <typename Logic>
using THandler = void (Logic::*)();

template <typename Logic>
struct TControl : TControlLook {
    // A button, link or check box clicked; a row of a report list clicked.
    THandler<Logic> Click = nullptr;
    // A row of a report list double-clicked (or Enter on it); a block label chosen.
    THandler<Logic> Choose = nullptr;
    // An edit's text changed by the user.
    THandler<Logic> Change = nullptr;
    // A column header of a report list clicked: the column, from 0.
    void (Logic::*HeaderClick)(int column) = nullptr;
};

// Where the controls stand: a control, or a box of places one below the other (or, in a row,
// side by side), or with neither an empty place that takes room.
struct TPlace {
    std::string Control;
    bool Row = false;
    std::vector<TPlace> Items;
    // The share of the room beyond the least size that this place takes along its box.
    int Grow = 0;
    // Centred across its box instead of filling it (or, for text, standing at its start).
    bool Centred = false;
};

TPlace Place(const std::string &control, int grow = 0, bool centred = false);
TPlace Column(std::vector<TPlace> items, int grow = 0);
TPlace Row(std::vector<TPlace> items, int grow = 0);
TPlace Space(int grow = 1);

// The keys a window binds. Each face maps them to its own key codes (Ctrl++ also as Ctrl+=, as
// Ctrl+Shift+= where the plus is the equals key's shifted sign, and as the keypad's +; Ctrl+- and
// Ctrl+0 also on the keypad).
enum class TKey { Return, Escape, CtrlF, F3, CtrlO, CtrlE, CtrlA, CtrlPlus, CtrlMinus, Ctrl0, Space };

// The key as menus show it ("Ctrl+F").
std::string KeyText(TKey key);

template <typename Logic>
struct TKeyBinding {
    TKey Key = TKey::Return;
    THandler<Logic> Handler = nullptr;
    // The control that must have the focus; empty for the whole window.
    std::string Control;
    // Whether it acts while long work runs (Escape cancels it).
    bool DuringWork = false;
};

template <typename Logic>
struct TMenuItem {
    std::string Name; // empty for a separator
    std::string Caption;
    THandler<Logic> Handler = nullptr;
    // When the item is in the menu, and when it can be chosen; none: always.
    bool (*Shown)(const Logic &) = nullptr;
    bool (*Enabled)(const Logic &) = nullptr;
    // The key that does the same, shown beside the caption.
    bool HasKey = false;
    TKey Key = TKey::Return;

    bool IsShownFor(const Logic &logic) const { return !Shown || Shown(logic); }
    bool IsEnabledFor(const Logic &logic) const { return !Enabled || Enabled(logic); }
};

// The names of the controls of layout that take the focus, in the order they stand.
std::vector<std::string> FocusOrder(const TPlace &layout,
                                    const std::vector<const TControlLook *> &controls);

template <typename Logic>
struct TWindowDescription {
    std::string Name; // the window's object name
    std::string Caption;
    // The first client size, and the least width, in pixels at 100 %.
    int Width = 0, Height = 0, LeastWidth = 0;
    std::vector<TControl<Logic>> Controls;
    TPlace Layout;
    // The context menu (the main window's entry menu, the preview's picture menu).
    std::vector<TMenuItem<Logic>> Menu;
    std::vector<TKeyBinding<Logic>> Keys;

    std::vector<const TControlLook *> Looks() const
    {
        std::vector<const TControlLook *> looks;
        for (const TControl<Logic> &c : Controls)
            looks.push_back(&c);
        return looks;
    }
    // nullptr when there is no control of that name.
    const TControl<Logic> *Find(const std::string &name) const
    {
        for (const TControl<Logic> &c : Controls)
            if (c.Name == name)
                return &c;
        return nullptr;
    }
    // The Tab order: the controls that take the focus, as they stand.
    std::vector<std::string> TabOrder() const { return FocusOrder(Layout, Looks()); }
};

} // namespace kvb::logic
