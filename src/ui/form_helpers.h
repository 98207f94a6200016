// Pieces every window of the program builds itself from.
#pragma once

#include "logic/face.h"

#include <QColor>
#include <QObject>
#include <QPalette>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QListWidget;
class QMimeData;
class QPoint;
class QPushButton;
class QSize;
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

// The information list of both windows: grey on a light desktop, in the window's own colours
// (whatever the desktop's theme), its text readable also while the window is disabled for a
// long operation.
QListWidget *InfoList(QWidget *parent);

// The contrast of two colours, 1 to 21, as the accessibility guidelines measure it.
double ContrastRatio(const QColor &a, const QColor &b);
// colour where it stands out enough from background (4.5 : 1, the guidelines' least for text);
// otherwise moved towards fallback (a colour the theme made for text on that background) until
// it does.
QColor ReadableOn(const QColor &colour, const QColor &background, const QColor &fallback);
// Sets the colours derive makes of the palette widget inherits (its parent's, or the
// application's) in widget's own palette.
void DerivePalette(QWidget *widget,
                   const std::function<void(QPalette &own, const QPalette &inherited)> &derive);

// The least size of a window whose controls content's layout holds: at least leastWidth wide,
// and as tall as every control needs at its least size, wrapped texts at the width they then
// have included.
QSize LeastSize(QWidget *content, int leastWidth);

// Gives window (not yet shown) its first size and place: size and at (its frame's top left; the
// middle of the screen when none) where they fit the screen's free area with the frame around
// them, otherwise as near to them as fits, never smaller than the window's minimum.
void PlaceOnScreen(QWidget *window, QSize size, std::optional<QPoint> at = std::nullopt);

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
// The selected row of list: the current one when it is selected, otherwise the first selected;
// -1 when none is.
int SelectedRow(const QTreeWidget *list);
// Every selected row of list, top to bottom.
std::vector<int> SelectedRows(const QTreeWidget *list);
// Selects row of list alone and scrolls it into view; with focus the list takes the focus too.
void SelectReportRow(QTreeWidget *list, int row, bool focus);

// The local files a drag brings, as UTF-8 paths.
std::vector<std::string> DroppedFiles(const QMimeData *data);

} // namespace kvb::ui
