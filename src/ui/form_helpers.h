// Pieces every window of the program builds itself from.
#pragma once

#include "ui/dialogs.h"

#include <QObject>
#include <QString>

#include <initializer_list>
#include <string>
#include <utility>

class QListWidget;
class QPushButton;
class QTreeWidget;
class QWidget;

namespace kvb::ui {

// Connects a signal to a handler of window that runs inside the error guard.
template <typename Window, typename Sender, typename Signal>
void On(Window *window, Dialogs &dialogs, Sender *sender, Signal signal, void (Window::*handler)())
{
    QObject::connect(sender, signal, window,
                     [window, &dialogs, handler] { Guarded(dialogs, [=] { (window->*handler)(); }); });
}

// Archive text (a name, the creator, the description) as the windows show it: ShownText.
QString Shown(const std::string &archiveText);

// A read-only list in report style: the columns' captions and widths, headers that cannot be
// clicked or moved, no tree decoration, one row selectable.
QTreeWidget *ReportList(QWidget *parent, const char *name,
                        std::initializer_list<std::pair<QString, int>> columns);
// The same for a list of a class of its own, created by the caller.
void SetUpReportList(QTreeWidget *list, const char *name,
                     std::initializer_list<std::pair<QString, int>> columns);

// The silver information list of both windows, its text readable also while the window is
// disabled for a long operation.
QListWidget *InfoList(QWidget *parent);

// Enter on the focused button presses it, as on the platform the windows come from.
void PressOnEnter(QPushButton *button);

} // namespace kvb::ui
