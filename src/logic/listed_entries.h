// Which records the main window's entry list shows, and in what order: table-of-contents order
// at first, or sorted by name, position or length (each either way), and only the records whose
// names hold a filter text when one is typed. The list shows this sequence a block of 1,000 at a
// time; without a sort and a filter it is every record in table order, the list as it always was.
#pragma once

#include "archive/catalogue.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kvb::logic {

enum class TSortKey { Record, Name, Position, Length };

class TListedEntries {
public:
    // The records of catalogue, in the order and with the filter chosen; what it needs of the
    // names, positions and lengths is kept, so the catalogue may go.
    void Reset(const TKVBFile &catalogue);
    // Nothing listed, in table order without a filter.
    void Clear();

    // Sorts by key, ascending; by the key sorted by already, the other way round. Ascending, equal
    // keys keep table order; descending is the same read backwards. Names compare as the archive
    // compares them (ASCII letters in either case alike), then byte by byte.
    void SortBy(TSortKey key);
    TSortKey Key() const { return key_; }
    bool Descending() const { return descending_; }
    // Lists only the records whose names hold part (stored bytes, ASCII case ignored); an empty
    // part lists every record.
    void SetFilter(const std::string &part);
    bool Filtered() const { return filtered_; }
    // Table order and no filter: the list the window has always shown.
    bool Natural() const { return key_ == TSortKey::Record && !descending_ && !filtered_; }

    // The records listed; of how many.
    int Size() const { return int(listed_.size()); }
    int Total() const { return int(upperNames_.size()); }
    // The record at position (from 0) of the list; -1 outside it.
    int RecordAt(int position) const;
    // The position of record in the list; -1 when it is not listed.
    int PositionOf(int record) const;

private:
    // The records in the order of key_, ascending, sorted once per key.
    const std::vector<int32_t> &Order();
    void List();

    std::vector<std::string> upperNames_;
    std::vector<int32_t> offsets_, lengths_;
    std::vector<int32_t> orders_[4];
    TSortKey key_ = TSortKey::Record;
    bool descending_ = false;
    bool filtered_ = false;
    std::string upperPart_;
    std::vector<int32_t> listed_;
    std::vector<int32_t> positions_; // by record; -1 when not listed
};

// A length as people read it: "512 bytes", "12.1 KiB", "3.4 MiB", "1.2 GiB"; empty for a length
// that was not read (-1).
std::string HumanSize(int64_t bytes);
// A count with its thousands set apart: 12,605.
std::string GroupedNumber(int64_t number);

} // namespace kvb::logic
