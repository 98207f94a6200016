// Pieces every window of the program builds itself from.
#pragma once

#include "ui/dialogs.h"

#include <QObject>
#include <QString>

#include <initializer_list>
#include <string>
#include <utility>

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

} // namespace kvb::ui
