#include "ui/blocks.h"

#include <QComboBox>
#include <QTreeWidget>
#include <QVariant>

#include <algorithm>

namespace kvb::ui {

int BlockCount(int count)
{
    return std::max(1, (std::max(count, 0) + kBlockSize - 1) / kBlockSize);
}

QString BlockLabel(int block, int count)
{
    int first = block * kBlockSize + 1;
    int last = std::min(block * kBlockSize + kBlockSize, std::max(count, 0));
    return QString::number(first) + '-' + QString::number(last);
}

void FillBlockLabels(QComboBox *selector, int count)
{
    selector->clear();
    for (int b = 0; b < BlockCount(count); ++b)
        selector->addItem(BlockLabel(b, count));
}

int ShownBlock(const QComboBox *selector)
{
    QVariant tag = selector->property("Tag");
    return tag.isValid() ? tag.toInt() : -1;
}

void SetShownBlock(QComboBox *selector, int block)
{
    selector->setProperty("Tag", block);
}

bool TakeChosenBlock(QComboBox *selector)
{
    if (selector->currentIndex() == ShownBlock(selector))
        return false;
    SetShownBlock(selector, selector->currentIndex());
    return true;
}

int RecordIndex(const QTreeWidget *list, QTreeWidgetItem *row, const QComboBox *selector)
{
    return list->indexOfTopLevelItem(row) + ShownBlock(selector) * kBlockSize;
}

QTreeWidgetItem *RowOfRecord(const QTreeWidget *list, const QComboBox *selector, int index)
{
    const int first = ShownBlock(selector) * kBlockSize;
    if (index < first || index > first + kBlockSize - 1)
        return nullptr;
    return list->topLevelItem(index - first);
}

void ShowRecord(QTreeWidget *list, QComboBox *selector, int index, const std::function<void()> &refill)
{
    selector->setCurrentIndex(index / kBlockSize);
    if (TakeChosenBlock(selector))
        refill();
    if (QTreeWidgetItem *row = RowOfRecord(list, selector, index)) {
        list->setCurrentItem(row);
        list->scrollToItem(row);
        // The keys that act on a row (Enter, the menu key) then act on this one.
        list->setFocus();
    }
}

void FillBlock(QTreeWidget *list, const QComboBox *selector, int count,
               const std::function<QStringList(int index)> &rowTexts)
{
    list->setUpdatesEnabled(false);
    list->clear();
    const int first = ShownBlock(selector) * kBlockSize;
    const int last = std::min(count, first + kBlockSize) - 1;
    QList<QTreeWidgetItem *> rows;
    rows.reserve(std::max(0, last - first + 1));
    for (int index = first; index <= last; ++index) {
        auto *row = new QTreeWidgetItem(rowTexts(index));
        // A name cut off by its column shows whole when the pointer rests on it.
        for (int column = 0; column < row->columnCount(); ++column)
            row->setToolTip(column, row->text(column));
        rows.append(row);
    }
    list->addTopLevelItems(rows);
    list->scrollToTop();
    list->setUpdatesEnabled(true);
}

} // namespace kvb::ui
