// A window's description (logic/window_description.h) drawn by Qt: the widget of each control,
// Qt's box layouts for where they stand, the Tab order, and each event, key and menu item bound
// to its handler inside the error guard.
#pragma once

#include "logic/window_description.h"
#include "ui/entry_list.h"
#include "ui/form_helpers.h"
#include "ui/link_label.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QBoxLayout;

namespace kvb::ui {

class TDescribedControls {
public:
    // A window whose description names no controls (the preview: its picture is Qt's own).
    TDescribedControls() = default;
    // Makes a widget for every control under parent, each with its object name, and places
    // them into box as layout says.
    TDescribedControls(QWidget *parent, const std::vector<const logic::TControlLook *> &controls,
                       const logic::TPlace &layout, QBoxLayout *box);

    // The widget of the control named so (of the class its kind makes); nullptr when none.
    template <typename Widget>
    Widget *Get(const std::string &name) const
    {
        return static_cast<Widget *>(Find(name));
    }
    QWidget *Find(const std::string &name) const;
    // Each control as long work wants it: disabled, kept, or enabled only during the work.
    void SetBusy(bool busy) const;
    // Tab moves through the controls in order.
    void SetTabOrder(const std::vector<std::string> &order) const;

private:
    void Lay(const logic::TPlace &place, QBoxLayout *box) const;

    std::vector<std::pair<const logic::TControlLook *, QWidget *>> widgets_;
};

// The keys of the key's sequences, as Qt takes them.
std::vector<QKeySequence> KeySequences(logic::TKey key);

// A key that only its Shift kept from its sequence, where the system does not look past the
// Shift itself (Ctrl+Shift+= for Ctrl++ on a US keyboard, on some platforms): the bound key it
// stands for, once no shortcut took it.
std::optional<logic::TKey> ShiftedKey(const QKeyEvent &event);

// Runs the window's key binding for a key that reached a window unmatched; false when none.
template <typename Logic>
bool RunShiftedKey(logic::TDialogs &dialogs, Logic &logic,
                   const logic::TWindowDescription<Logic> &description, const QKeyEvent &event)
{
    const std::optional<logic::TKey> key = ShiftedKey(event);
    if (!key)
        return false;
    for (const logic::TKeyBinding<Logic> &k : description.Keys)
        if (k.Key == *key && k.Control.empty()) {
            const logic::THandler<Logic> handler = k.Handler;
            logic::Guarded(dialogs, [&logic, handler] { (logic.*handler)(); });
            return true;
        }
    return false;
}

// The title bar of the windows over the main window: a caption, maximise and close.
inline constexpr Qt::WindowFlags kDialogFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint;

// Makes window (whose parent is the main window, if any) the window its description describes:
// its object name and caption, the main window's font (Verdana, 11 pixels, the font of every
// window), flags for its title bar, and the described controls in a column with the windows'
// margins.
template <typename Logic>
std::unique_ptr<TDescribedControls> DescribeWindow(QWidget *window,
                                                   const logic::TWindowDescription<Logic> &description,
                                                   Qt::WindowFlags flags = kDialogFlags)
{
    window->setObjectName(Q(description.Name));
    window->setWindowTitle(Q(description.Caption));
    if (window->parentWidget())
        window->setFont(window->parentWidget()->font());
    window->setWindowFlags(flags);
    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(8, 8, 8, 8);
    return std::make_unique<TDescribedControls>(window, description.Looks(), description.Layout, layout);
}

// Binds every control's events, and the window's keys, to logic's handlers.
template <typename Logic>
void Bind(QWidget *window, logic::TDialogs &dialogs, Logic &logic,
          const logic::TWindowDescription<Logic> &description, const TDescribedControls &controls)
{
    auto guarded = [&dialogs, &logic](logic::THandler<Logic> handler, bool duringWork) {
        return [&dialogs, &logic, handler, duringWork] {
            const auto call = [&logic, handler] { (logic.*handler)(); };
            duringWork ? logic::GuardedDuringWork(dialogs, call) : logic::Guarded(dialogs, call);
        };
    };
    for (const logic::TControl<Logic> &c : description.Controls) {
        QWidget *w = controls.Find(c.Name);
        const bool duringWork = c.DuringWork == logic::TDuringWork::OnlyThen;
        using Kind = logic::TControlKind;
        if (c.Click && c.Kind == Kind::Button)
            QObject::connect(static_cast<QPushButton *>(w), &QPushButton::clicked, window,
                             guarded(c.Click, duringWork));
        if (c.Click && c.Kind == Kind::CheckBox)
            QObject::connect(static_cast<QCheckBox *>(w), &QCheckBox::clicked, window,
                             guarded(c.Click, duringWork));
        if (c.Click && c.Kind == Kind::Link)
            QObject::connect(static_cast<TLinkLabel *>(w), &TLinkLabel::clicked, window,
                             guarded(c.Click, duringWork));
        if (c.Click && c.Kind == Kind::ReportList)
            QObject::connect(static_cast<QTreeWidget *>(w), &QTreeWidget::itemClicked, window,
                             guarded(c.Click, duringWork));
        if (c.Choose && c.Kind == Kind::ReportList)
            QObject::connect(static_cast<QTreeWidget *>(w), &QTreeWidget::itemDoubleClicked, window,
                             guarded(c.Choose, duringWork));
        if (c.Choose && c.Kind == Kind::ThumbnailGrid)
            QObject::connect(static_cast<QListView *>(w), &QListView::doubleClicked, window,
                             guarded(c.Choose, duringWork));
        if (c.Choose && c.Kind == Kind::BlockSelector)
            QObject::connect(static_cast<QComboBox *>(w), &QComboBox::activated, window,
                             guarded(c.Choose, duringWork));
        // What the user types, not what the logic sets.
        if (c.Change && c.Kind == Kind::Edit)
            QObject::connect(static_cast<QLineEdit *>(w), &QLineEdit::textEdited, window,
                             guarded(c.Change, duringWork));
        if (c.HeaderClick && c.Kind == Kind::ReportList) {
            const auto handler = c.HeaderClick;
            QObject::connect(static_cast<QTreeWidget *>(w)->header(), &QHeaderView::sectionClicked,
                             window, [&dialogs, &logic, handler](int column) {
                                 logic::Guarded(dialogs, [&] { (logic.*handler)(column); });
                             });
        }
    }
    for (const logic::TKeyBinding<Logic> &k : description.Keys) {
        QWidget *on = k.Control.empty() ? window : controls.Find(k.Control);
        for (const QKeySequence &keys : KeySequences(k.Key)) {
            auto *shortcut = new QShortcut(keys, on, nullptr, nullptr,
                                           k.Control.empty() ? Qt::WindowShortcut : Qt::WidgetShortcut);
            QObject::connect(shortcut, &QShortcut::activated, window, guarded(k.Handler, k.DuringWork));
        }
    }
    controls.SetTabOrder(description.TabOrder());
}

// The window's context menu as the logic offers it now, each action carrying its item's name.
template <typename Logic>
std::unique_ptr<QMenu> DescribedMenu(QWidget *window, logic::TDialogs &dialogs, Logic &logic,
                                     const logic::TWindowDescription<Logic> &description)
{
    auto menu = std::make_unique<QMenu>(window);
    for (const logic::TMenuItem<Logic> &item : description.Menu) {
        if (item.Name.empty()) {
            menu->addSeparator();
            continue;
        }
        if (!item.IsShownFor(logic))
            continue;
        QAction *action = menu->addAction(Q(item.Caption));
        action->setObjectName(Q(item.Name));
        action->setEnabled(item.IsEnabledFor(logic));
        if (item.HasKey)
            action->setShortcut(KeySequences(item.Key).front());
        const logic::THandler<Logic> handler = item.Handler;
        On(window, dialogs, action, &QAction::triggered, [&logic, handler] { (logic.*handler)(); });
    }
    return menu;
}

} // namespace kvb::ui
