#include "logic/blocks.h"

#include "archive/format.h"
#include "archive/text.h"

#include <algorithm>

namespace kvb::logic {

int BlockCount(int count)
{
    return std::max(1, (std::max(count, 0) + kBlockSize - 1) / kBlockSize);
}

std::string BlockLabel(int block, int count)
{
    const int first = block * kBlockSize + 1;
    const int last = std::min(block * kBlockSize + kBlockSize, std::max(count, 0));
    return std::to_string(first) + '-' + std::to_string(last);
}

std::vector<std::string> BlockLabels(int count)
{
    std::vector<std::string> labels;
    for (int b = 0; b < BlockCount(count); ++b)
        labels.push_back(BlockLabel(b, count));
    return labels;
}

bool TBlockedList::Take(int chosen)
{
    if (chosen == shown_)
        return false;
    shown_ = chosen;
    return true;
}

int TBlockedList::RowOf(int record) const
{
    const int first = First();
    if (shown_ < 0 || record < first || record > first + kBlockSize - 1)
        return -1;
    return record - first;
}

int TBlockedList::End(int count) const
{
    return std::max(First(), std::min(count, First() + kBlockSize));
}

bool TFind::Ask()
{
    const std::optional<std::string> text = dialogs_.AskText(prompt_, "Find");
    if (!text)
        return false;
    text_ = *text;
    return true;
}

std::optional<std::string> TFind::Text()
{
    if (text_.empty() && !Ask())
        return std::nullopt;
    return text_;
}

int TFind::Next(int count, int after, const std::function<std::string(int index)> &nameOf)
{
    // Typed in UTF-8, stored in Windows-1252: a text the archive cannot hold matches nothing.
    const std::optional<std::string> stored = Utf8ToCp1252(text_);
    const int found = stored ? FindNextName(count, after, *stored, nameOf) : -1;
    if (found < 0)
        dialogs_.Notice("No entry matches " + text_ + ".");
    return found;
}

} // namespace kvb::logic
