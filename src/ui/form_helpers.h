// Pieces every window of the program builds itself from.
#pragma once

#include "logic/face.h"

#include <QObject>
#include <QString>

#include <array>
#include <vector>
#include <string>
#include <utility>

class QListWidget;
class QPushButton;
class QTreeWidget;
class QWidget;

namespace kvb::ui {

// Connects a signal of sender to call, which runs inside the error guard: every event a window
// forwards to its logic goes through here.
template <typename Sender, typename Signal, typename Call>
void On(QObject *context, logic::TDialogs &dialogs, Sender *sender, Signal signal, Call call)
{
    QObject::connect(sender, signal, context, [&dialogs, call] { logic::Guarded(dialogs, call); });
}

QString Q(const std::string &text);

// A read-only list in report style, made by the caller: the columns' captions and widths,
// headers that cannot be clicked or moved, no tree decoration, one row selectable.
void SetUpReportList(QTreeWidget *list, const char *name,
                     const std::vector<std::pair<QString, int>> &columns);

// The silver information list of both windows, its text readable also while the window is
// disabled for a long operation.
QListWidget *InfoList(QWidget *parent);

// Enter on the focused button presses it, as on the platform the windows come from.
void PressOnEnter(QPushButton *button);

// Replaces the rows of list with rows (one text per column), with painting suspended, and
// scrolls back to the top. A text cut off by its column shows whole as the row's tooltip.
void FillReportList(QTreeWidget *list, const std::vector<std::vector<std::string>> &rows);
template <size_t N>
void FillReportList(QTreeWidget *list, const std::vector<std::array<std::string, N>> &rows)
{
    std::vector<std::vector<std::string>> texts;
    texts.reserve(rows.size());
    for (const auto &row : rows)
        texts.emplace_back(row.begin(), row.end());
    FillReportList(list, texts);
}
// The selected row of list, -1 when none.
int SelectedRow(const QTreeWidget *list);
// Selects row of list and scrolls it into view; with focus the list takes the focus too.
void SelectReportRow(QTreeWidget *list, int row, bool focus);

} // namespace kvb::ui
