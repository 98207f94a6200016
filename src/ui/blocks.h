// Long lists are shown one block of 1,000 records at a time.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QComboBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace kvb::ui {

constexpr int kBlockSize = 1000;

// max(1, ceil(count / 1000)); a count of zero or below has the one block "1-0".
int BlockCount(int count);
// "first-last", 1-based: 1-1000, 1001-2000, 2001-2500; "1-0" without records.
QString BlockLabel(int block, int count);
// Removes every label of the selector, then adds one per block.
void FillBlockLabels(QComboBox *selector, int count);

// The selector's Tag: the block shown in its list, -1 when none has been shown yet.
int ShownBlock(const QComboBox *selector);
void SetShownBlock(QComboBox *selector, int block);
// When the chosen label is not the block shown, makes it the shown block and returns true: the
// list must be filled again. Choosing the block already shown changes nothing.
bool TakeChosenBlock(QComboBox *selector);

// The record a row of list stands for: its row number plus the selector's shown block × 1000.
int RecordIndex(const QTreeWidget *list, QTreeWidgetItem *row, const QComboBox *selector);
// The row of list that stands for record index, or none when the record lies in another block.
QTreeWidgetItem *RowOfRecord(const QTreeWidget *list, const QComboBox *selector, int index);
// Brings record index into view: chooses its block in the selector (refilling the list through
// refill when that block was not shown, as choosing it by hand would), then selects its row,
// scrolls to it and gives the list the focus.
void ShowRecord(QTreeWidget *list, QComboBox *selector, int index, const std::function<void()> &refill);

// Replaces the rows of list with those of the selector's shown block of count records, the
// texts of each from rowTexts(record index), and scrolls back to the top.
void FillBlock(QTreeWidget *list, const QComboBox *selector, int count,
               const std::function<QStringList(int index)> &rowTexts);

} // namespace kvb::ui
