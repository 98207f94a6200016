// Two archives compared entry by entry (kvb diff): the entries only one of them holds, those both
// hold with other data, and where their headers, validation blocks and descriptions differ.
//
// Entries are matched by name, byte for byte. A name that several records of either archive
// carry is matched by number: the first record of that name in one archive with the first in
// the other, the second with the second, and so on. Record order and where the data lies are
// not compared, so an archive rebuilt in another order holds the same entries. Entries of
// different length differ without being read. Data of equal length is compared byte for byte,
// both archives read front to back side by side, where B holds it in A's order (as a rebuild
// keeps it); otherwise each archive is read front to back on its own and the data compared by
// its checksum (Checksum64, as an export's manifest records it). Data that several records
// share is read once.
#pragma once

#include "archive/progress.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kvb {

class TKVBFile;

// An entry that only one of the two archives holds.
struct TDiffEntry {
    int32_t Index = 0; // record, 0-based
    std::string Name;  // as stored
    int32_t Length = 0;
};

// An entry both archives hold, with other data.
struct TDiffChange {
    std::string Name;               // as stored, the same in both
    int32_t IndexA = 0, IndexB = 0; // records, 0-based
    bool ByNumber = false;          // the name occurs more than once; matched by its place among them
    int32_t LengthA = 0, LengthB = 0;
    // Only where the lengths are equal: the data was read to tell.
    std::optional<uint64_t> ChecksumA, ChecksumB;
};

// A run of bytes outside the entries, as each archive holds it.
struct TDiffBytes {
    int64_t Size = 0;
    uint64_t Checksum = 0;
    friend bool operator==(const TDiffBytes &, const TDiffBytes &) = default;
};

struct TArchiveDiff {
    bool SameFile = false;                    // both names lead to one file
    std::vector<TDiffEntry> OnlyInA, OnlyInB; // in record order
    std::vector<TDiffChange> Changed;         // in A's record order
    int32_t Matched = 0;                      // entries both hold, changed or not
    int32_t CountA = 0, CountB = 0;           // the headers' counts, as read
    std::string CreatorA, CreatorB;
    // From the end of the table to the first entry; an archive without entries has everything
    // after its table here.
    TDiffBytes ValidationA, ValidationB;
    std::string DescriptionA, DescriptionB; // after the last entry, as stored
    std::vector<std::string> Notes;         // what reading found beside either archive, for the user
    // The catalogues as the comparison read them (every length), whose record numbers the lists
    // above give: for a look at the entries afterwards.
    std::shared_ptr<const TKVBFile> CatalogueA, CatalogueB;

    bool HeaderDiffers() const { return CountA != CountB || CreatorA != CreatorB; }
    bool ValidationDiffers() const { return !(ValidationA == ValidationB); }
    bool DescriptionDiffers() const { return DescriptionA != DescriptionB; }
    // The same entries with the same data, and the same header, validation block and
    // description.
    bool Same() const
    {
        return OnlyInA.empty() && OnlyInB.empty() && Changed.empty() && !HeaderDiffers() &&
               !ValidationDiffers() && !DescriptionDiffers();
    }
};

// The matching rule: the records of each name (byte for byte), in record order; the k-th record
// of a name in one archive is the k-th of that name in the other. nameOf(i) gives record i's
// name, for i from 0 to count - 1.
using TRecordsByName = std::unordered_map<std::string, std::vector<int32_t>>;
TRecordsByName RecordsByName(int32_t count, const std::function<std::string(int32_t index)> &nameOf);

// Reads both archives (refusing, as every reader does, one whose in-place edit was cut short)
// and compares them. Raises the stream errors of either, naming it: a file that cannot be
// opened or is no plain file, an archive that ends before its table, a data header or the data
// of an entry, or whose entry has a negative length. Progress goes to progress, on one scale
// for the whole comparison: reading each catalogue is a quarter of it, comparing data and
// summing it the other half; a report that raises (ECancelled) stops it there.
TArchiveDiff DiffArchives(const std::string &a, const std::string &b, const TProgress &progress = {});

} // namespace kvb
