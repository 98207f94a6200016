// The record an in-place edit writes beside the archive before it changes a byte: what the
// archive looks like before the edit and after it, so that whoever opens the archive next can
// tell from the archive's own bytes whether the edit never began, was completed, or was cut
// short part way, and put a cut-short edit right. The record names no file by device or inode:
// a file that was restored from a backup, or a new file that got the old one's inode, is in
// none of those states, and the record then changes nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvb {

class TFileStream;

// Bytes an edit writes, and what stood there before (shorter than After, or empty, where the
// file ended before the edit).
struct TEditChange {
    int64_t Position = 0;
    std::string Before;
    std::string After;
};

enum class TEditState {
    Before,   // the edit has not changed anything
    After,    // the edit is complete
    PartWay,  // cut short: some of its writes are in the file
    Unrelated // the file is in none of the edit's states: it is not the file the edit was for
};

struct TEditRecord {
    enum class Kind : uint8_t {
        // A table-of-contents record rewritten in place; cut short, it is undone.
        Link,
        // A new entry written after the last one: first its data and the description after
        // it, flushed, and only then its header over the old description. Cut short before the
        // header, it is undone; once the header is being written, the data is all there and it
        // is finished.
        Append,
        // The file cut at an entry and the description written there. What is cut off is not
        // kept, so once it has begun it is finished.
        Truncate,
    };

    Kind EditKind = Kind::Link;
    int64_t SizeBefore = 0;
    int64_t SizeAfter = 0;
    // Bytes [0, FixedEnd) of the file, but for those Changes cover, are the same in every state
    // of the edit: the header and the table of contents. FixedHash is their checksum.
    int64_t FixedEnd = 0;
    uint64_t FixedHash = 0;
    // For an append, Changes[0] is the new entry's header, the edit's last write.
    std::vector<TEditChange> Changes;

    // The record for an edit of archive as it stands now: the checksum is taken from the file.
    static TEditRecord For(Kind kind, const TFileStream &archive, int64_t fixedEnd,
                           int64_t sizeAfter, std::vector<TEditChange> changes);

    // "link", "append" or "truncate", as messages name the edit.
    std::string EditName() const;

    std::string Encode() const;
    // Nothing when bytes are not a whole, undamaged record.
    static std::optional<TEditRecord> Decode(const std::string &bytes);

    // Where archive stands, read from its bytes now.
    TEditState StateOf(const TFileStream &archive) const;
    // Where Repair would take an archive that StateOf finds PartWay: Before (undone) or After
    // (finished), as the edit's kind and progress allow.
    TEditState RepairGoal(const TFileStream &archive) const;
    // Puts such an archive right, as RepairGoal says, and flushes; returns the state it left.
    // Raises the stream's errors.
    TEditState Repair(TFileStream &archive) const;
};

} // namespace kvb
