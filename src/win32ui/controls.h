// The common controls as the windows use them: report lists, drop-down lists, list boxes, and
// the texts and sizes of controls, in the program's UTF-8.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace kvb::win32ui {

// A control's text, and the size its text needs in its font (on one line, or wrapped at width).
std::string ControlText(HWND control);
SIZE TextSize(HWND control, const std::string &text);
int WrappedTextHeight(HWND control, int width);
// A button's or check box's own size for its text (common controls 6).
SIZE IdealSize(HWND button);

// A report-style list view: columns (caption, width in pixels), the selection kept visible
// without the focus, whole rows highlighted (one row selectable and headers not clickable unless
// the list was made to allow it).
void SetUpReportList(HWND list, const std::vector<std::pair<std::string, int>> &columns);
// Replaces every row (one text per column) with painting suspended and scrolls to the top.
void FillReportList(HWND list, const std::vector<std::vector<std::string>> &rows);
template <size_t N>
void FillReportList(HWND list, const std::vector<std::array<std::string, N>> &rows)
{
    std::vector<std::vector<std::string>> texts;
    texts.reserve(rows.size());
    for (const auto &row : rows)
        texts.emplace_back(row.begin(), row.end());
    FillReportList(list, texts);
}
void AddReportRow(HWND list, const std::vector<std::string> &texts);
std::string CellText(HWND list, int row, int column);
void SetCellText(HWND list, int row, int column, const std::string &text);
// The selected row: the focused one when it is selected, otherwise the first selected; -1 when
// none is.
int SelectedRow(HWND list);
// Every selected row, top to bottom.
std::vector<int> SelectedRows(HWND list);
// Selects row alone and scrolls it into view; with focus the list takes the keyboard focus.
void SelectRow(HWND list, int row, bool focus);
void SelectAllRows(HWND list);
// The sort arrow on column's header, up or (descending) down; on none for column -1.
void ShowSortArrow(HWND list, int column, bool descending);

// A drop-down list's labels; the one selected (-1: none).
void FillComboBox(HWND combo, const std::vector<std::string> &labels);
int ComboSelection(HWND combo);

// A list box's lines, scrollable sideways as far as its longest line.
void FillListBox(HWND list, const std::vector<std::string> &lines);

// Gives control the name assistive technology reads for it, where its own text does not name
// it: a list view's, list box's or progress bar's window text (which they do not show), and for
// every control the name annotated for Active Accessibility (which the edit and the drop-down
// list need, their text being what they hold).
void SetAccessibleName(HWND control, const std::string &name);

// A static that behaves as a link (made with WS_TABSTOP, so that Tab reaches it): it shows the
// focus with the system's focus frame, and Space clicks it (STN_CLICKED) as a mouse click does;
// Enter is the window's (RunKey).
void MakeLink(HWND link);

// A status line: one line whatever its length, cut in the middle (a path keeps its file name)
// when it does not fit, with the whole text as its tooltip. MakeStatusTooltip gives a status
// static (SS_NOTIFY, so that it sees the mouse) its tooltip; SetStatusText sets both texts.
void MakeStatusTooltip(HWND status);
void SetStatusText(HWND status, const std::string &text);
std::string StatusTooltipText(HWND status);

// The files of a drop the shell delivered (WM_DROPFILES), as UTF-8 paths; the drop is let go of.
std::vector<std::string> TakeDroppedFiles(HDROP drop);

// Puts text on the clipboard in place of what it held, its line breaks as the system's, on
// behalf of owner; false when the clipboard could not be had.
bool CopyToClipboard(HWND owner, const std::string &text);

} // namespace kvb::win32ui
