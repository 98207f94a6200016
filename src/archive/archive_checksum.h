// The checksum by which an export's manifest knows the archive it was made from.
//
// The archive is cut into pieces: everything before the first data entry (header, table of
// contents, validation block); then, entry after entry as the data walk finds them from the
// smallest Offset on, each entry's 24-byte data header and its data; and the rest of the file
// (the description). The walk goes on while more than a data header's bytes remain and stops at
// a header whose length is negative or runs past the end. The archive's checksum is XXH3-64
// (Checksum64) of the pieces' own XXH3-64 values, 8 bytes each, little-endian, in file order.
// Every byte of the file is in one piece, so any change to the file changes the checksum; and a
// rebuild that replaces some entries changes only their pieces and the first, so the new
// archive's checksum follows from the old one's pieces without reading the archive again. An
// entry's piece of data has the checksum an export records for the entry.
#pragma once

#include "archive/progress.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kvb {

class TFileStream;

// The pieces' checksums of one archive, and the archive's.
struct TArchiveSums {
    int64_t Size = 0;
    uint64_t Head = 0;
    std::vector<int64_t> Positions; // each walked entry's data header, in file order
    std::vector<int32_t> Lengths;   // each walked entry's data length
    std::vector<uint64_t> Headers;  // each walked entry's data header
    std::vector<uint64_t> Data;     // each walked entry's data
    uint64_t Tail = 0;

    // The archive's checksum, from the pieces above.
    uint64_t Archive() const;
    // The walked entry whose data header is at position; nothing when the walk does not pass it.
    std::optional<size_t> EntryAt(int64_t position) const;
};

// An archive read front to back, piece by piece, in few large reads: what SumArchive does, for
// callers that want each entry's data as well (an export writes it out as it goes). progress
// hears (MiB read, MiB in all) and may stop the work by raising.
class TArchiveWalk {
public:
    TArchiveWalk(const TFileStream &file, const TProgress &progress = {});
    ~TArchiveWalk();
    TArchiveWalk(const TArchiveWalk &) = delete;
    TArchiveWalk &operator=(const TArchiveWalk &) = delete;

    struct TEntry {
        int64_t Position = 0; // of its data header
        int32_t Length = 0;
    };
    // The walk's next entry, its header summed; nothing once the walk is done and the rest of
    // the file summed. Raises EReadError when the file cannot be read.
    std::optional<TEntry> Next();
    // The data of the entry Next gave last, handed to use in pieces as they are read and
    // summed. Without this call the next Next reads and sums them unseen.
    void ReadData(const std::function<void(const char *bytes, size_t size)> &use);
    // Complete once Next has given nothing.
    const TArchiveSums &Sums() const { return sums_; }

private:
    void Take(int64_t count, const std::function<void(const char *bytes, size_t size)> &use);
    // The next count bytes (at most the buffer's size) in one piece, without moving on.
    const char *Peek(size_t count);

    const TFileStream &file_;
    TProgress progress_;
    TArchiveSums sums_;
    std::vector<char> buffer_;
    int64_t bufferStart_ = 0; // the file position of buffer_[0]
    size_t filled_ = 0;
    int64_t at_ = 0;        // where the next piece starts
    int64_t dataLeft_ = -1; // of the entry Next gave last, while ReadData has not read it
    bool done_ = false;
};

// The whole walk at once.
TArchiveSums SumArchive(const TFileStream &file, const TProgress &progress = {});

// Where the data walk of file starts: the smallest Offset of its table, or the file's size when
// the table has no record or one that points outside [end of the table, end of the file].
int64_t FirstDataPosition(const TFileStream &file);

} // namespace kvb
