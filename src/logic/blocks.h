// Long lists are shown one block of 1,000 records at a time: block b holds records b × 1000 to
// min(count, b × 1000 + 1000) - 1, its label is its first and last record number (1-based)
// joined by "-", and row r of a list stands for record r + shown block × 1000.
#pragma once

#include "logic/face.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kvb::logic {

constexpr int kBlockSize = 1000;

// max(1, ceil(count / 1000)); a count of zero or below has the one block "1-0".
int BlockCount(int count);
// "first-last", 1-based: 1-1000, 1001-2000, 2001-2500; "1-0" without records.
std::string BlockLabel(int block, int count);
// One label per block, in block order.
std::vector<std::string> BlockLabels(int count);

// The state of one list shown in blocks: which block it shows (the selector's Tag).
class TBlockedList {
public:
    // The block the list shows; -1 when none has been shown since the last reset.
    int Shown() const { return shown_; }
    // -1: the next choice of a block fills the list, whichever it is.
    void Reset() { shown_ = -1; }
    // When chosen is not the block shown, it becomes the shown block, and the list must be
    // filled again (true). Choosing the block already shown changes nothing.
    bool Take(int chosen);

    // The record row r stands for; -1 for no row.
    int RecordOf(int row) const { return row < 0 ? -1 : row + shown_ * kBlockSize; }
    // The row that stands for record, or -1 when the record lies in another block.
    int RowOf(int record) const;
    // The records of the shown block among count: [first, end).
    int First() const { return shown_ * kBlockSize; }
    int End(int count) const;
    // The block record lies in.
    static int BlockOf(int record) { return record / kBlockSize; }

private:
    int shown_ = -1;
};

// Ctrl+F and F3 of a window: the text sought last, asked for with prompt.
class TFind {
public:
    TFind(TDialogs &dialogs, std::string prompt) : dialogs_(dialogs), prompt_(std::move(prompt)) {}

    // Ctrl+F: asks for a new text; false when the question was cancelled.
    bool Ask();
    // The text sought, asked for when none was given yet; nothing when cancelled.
    std::optional<std::string> Text();
    // The first of count names after index after (wrapping round, after itself last) that
    // holds the text as the archive compares names (ASCII letters in either case alike); -1,
    // after a notice, when none does. The text is typed in UTF-8; names are as stored.
    int Next(int count, int after, const std::function<std::string(int index)> &nameOf);

private:
    TDialogs &dialogs_;
    std::string prompt_;
    std::string text_;
};

} // namespace kvb::logic
