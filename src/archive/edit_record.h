// The record an in-place edit writes beside the archive before it changes a byte: the bytes the
// edit overwrites as they were, and checksums of the bytes it adds past the archive's end, so
// that whoever opens the archive next can tell from the archive's own bytes whether the edit
// never began, was completed, or was cut short part way, and put a cut-short edit back.
//
// Recovery only ever restores: it puts the saved bytes back and cuts off only bytes that the
// checksums show the edit itself wrote (or zeros where it had not written yet). It never
// finishes an edit and never writes a byte it did not save. It acts only when every byte it
// would change or rely on, and the file's size, are as the edit can leave them; the record
// names no file by device or inode, so a file restored from a backup or rebuilt since is in none
// of those states and is left alone. The layout is described in docs/format.md.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvb {

class TFileStream;

// Bytes an edit writes at Position. An edit hands over its writes in file order.
struct TEditWrite {
    int64_t Position = 0;
    std::string_view Bytes;
};

// Bytes an edit writes over: what stood there and what the edit puts there, of equal length.
struct TOverwrite {
    int64_t Position = 0;
    std::string Before;
    std::string After;
};

enum class TEditState {
    Before,   // the edit has not changed anything
    After,    // the edit's last step has been taken: it is complete
    PartWay,  // cut short: the archive can be put back as it was before
    Unrelated // the file is in none of the edit's states: it is not the file the edit was for
};

struct TEditRecord {
    enum class Kind : uint8_t { Link, Append, Truncate };

    // Added bytes are checked in blocks that end at multiples of this in the file, and where
    // the edit's own writes end. An editor writes long data in pieces that end at such
    // multiples, so that wherever a kill or a power cut stops it, the file ends on a block's end.
    static constexpr int64_t kBlock = 4096;

    Kind EditKind = Kind::Link;
    int64_t SizeBefore = 0;
    int64_t SizeAfter = 0;
    // Bytes [0, FixedEnd) of the file, but for the overwritten ones, are the same in every state
    // of the edit: the header and the table of contents. FixedSum is their checksum.
    int64_t FixedEnd = 0;
    uint64_t FixedSum = 0;
    std::vector<TOverwrite> Overwrites;
    // Where the edit's writes end between SizeBefore and SizeAfter, and the checksum of each
    // block of the bytes it adds there, as they are once the edit is complete.
    std::vector<int64_t> WriteEnds;
    std::vector<uint64_t> AddedSums;

    // The record of an edit that makes writes (in file order) to archive as it stands now and
    // leaves it sizeAfter bytes long. An edit that makes the file shorter cuts it as its last
    // step, once its writes are on disk.
    static TEditRecord For(Kind kind, const TFileStream &archive, int64_t fixedEnd, int64_t sizeAfter,
                           const std::vector<TEditWrite> &writes);

    // "link", "append" or "truncate", as messages name the edit.
    std::string EditName() const;

    std::string Encode() const;
    // Nothing when bytes are not a whole, undamaged record.
    static std::optional<TEditRecord> Decode(const std::string &bytes);

    // Where archive stands, read from its bytes now.
    TEditState StateOf(const TFileStream &archive) const;
    // Puts an archive that StateOf finds PartWay (or After, for an edit that did not shorten it)
    // back as it was before the edit, and flushes. Raises the stream's errors.
    void Restore(TFileStream &archive) const;

    // The ends of the blocks of added bytes, ascending, SizeAfter last; none for an edit that
    // adds nothing.
    std::vector<int64_t> AddedBlockEnds() const;
};

} // namespace kvb
