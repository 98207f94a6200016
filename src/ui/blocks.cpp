#include "ui/blocks.h"

#include <QComboBox>
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

} // namespace kvb::ui
