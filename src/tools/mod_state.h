// An archive held against what a mod or undo package expects of it: the entries found by the
// matching rule of diff.h, and what each holds, in words where it is not what is expected.
#pragma once

#include "archive/format.h"
#include "tools/diff.h"
#include "tools/mod_package.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvb {

class TFileStream;

// 2607 as "2,607".
std::string Grouped(int64_t n);

// The archive's table as the matching reads it, and the data of its records. file must outlive
// it.
class TArchiveState {
public:
    explicit TArchiveState(const TFileStream &file);

    int32_t Count() const { return count_; }
    std::string NameOf(int32_t index) const { return NameFromField(toc_[size_t(index)].Name); }
    int64_t OffsetOf(int32_t index) const { return toc_[size_t(index)].Offset; }
    // Where the data entries begin: the validation block ends there.
    int64_t FirstData() const;
    // The record of that name and place among the records of the name, if there is one.
    std::optional<int32_t> Find(const std::string &name, int32_t occurrence) const;
    // How many records carry name.
    int32_t RecordsNamed(const std::string &name) const;

    // Whether record index holds wanted's length and checksum; the mismatch in words otherwise,
    // with what the package expects said as expects ("the mod expects").
    std::optional<TModMismatch> Compare(int32_t index, const TModOriginalEntry &wanted,
                                        const std::string &expects) const;
    // The same for the record found by wanted's name and place, given in index when found.
    std::optional<TModMismatch> CompareNamed(const TModOriginalEntry &wanted, const std::string &expects,
                                             int32_t *index = nullptr) const;
    // The length bytes at position, read whole.
    std::string Data(int64_t position, int64_t length) const;

private:
    // Checksum64 of the bytes at position, read a piece at a time; one that no data matches when
    // the file ends first.
    uint64_t Checksum(int64_t position, int64_t length) const;

    const TFileStream &file_;
    int32_t count_ = 0;
    std::vector<TKVB_TocRecord> toc_;
    TRecordsByName byName_;
};

// Where the archive is not as the mod of undo left it: each entry the mod wrote and each record
// it added that holds something else now.
std::vector<TModMismatch> ChangedSinceApplied(const TModManifest &undo, const TArchiveState &state);
// Whether the archive holds what it held before the mod of undo: an apply cut short before its
// archive took its place, or a revert cut short after.
bool HoldsWhatTheModReplaced(const TModManifest &undo, const TArchiveState &state);

// The mismatches' texts, joined by "; ".
std::string JoinMismatches(const std::vector<TModMismatch> &mismatches);

} // namespace kvb
