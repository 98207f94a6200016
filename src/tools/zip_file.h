// The zip container of mod packages: a writer that makes the plainest zip every tool opens, and
// a reader that takes nothing a package says on trust. Compression and checksums are zlib's
// (raw deflate, crc32); the container around them is ours, the same on every system. No zip64,
// no encryption, no archives split over disks: a package never needs them, and refusing them
// keeps the reader small.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kvb {

class TFileStream;
class TStream;

// What a reader accepts before it allocates anything.
struct TZipLimits {
    int32_t MaxEntries = 100000;
    int64_t MaxEntrySize = int64_t(2) << 30;  // uncompressed, per entry (an archive entry is < 2 GiB)
    int64_t MaxTotalSize = int64_t(64) << 30; // uncompressed, all entries
};

struct TZipEntry {
    std::string Name; // UTF-8, as stored, '/'-separated
    int64_t Size = 0; // uncompressed
    int64_t CompressedSize = 0;
    uint32_t Crc32 = 0;
    bool Deflated = false; // or stored
    int64_t LocalHeaderOffset = 0;
};

// Why name may not stand in a zip (empty when it may): it must be a relative '/'-separated
// path of valid UTF-8 with no empty, "." or ".." part, no backslash, no drive letter and no
// control byte, so that no tool that unpacks it writes outside the folder it unpacks into.
std::string ZipNameFault(const std::string &name);

// Writes a zip to a stream front to back, never seeking back: each entry is compressed whole
// in memory, so its local header already holds its sizes and checksum. Every entry is dated
// 1980-01-01 00:00 and has no extra fields, so that the same entries make the same bytes.
class TZipWriter {
public:
    explicit TZipWriter(TStream &out);
    // Adds one entry; compress = raw deflate (level 6) unless the deflated form is not smaller,
    // then stored. A name ZipNameFault refuses, a name given twice, the 65,536th entry, and an
    // entry or offset that needs zip64 are refused with EKVBError before anything is written.
    void Add(const std::string &name, std::string_view data, bool compress = true);
    // Writes the central directory and the end record; nothing may be added after.
    void Finish();

private:
    void Put(const std::string &bytes);

    TStream &out_;
    int64_t written_ = 0;
    std::vector<TZipEntry> entries_;
    std::set<std::string> names_;
    bool finished_ = false;
    // Set while bytes go out; a write that failed leaves it set, and the zip unfinishable.
    bool writing_ = false;
};

// Reads a zip from a file without trusting it: the end record, the central directory and each
// entry's local header, checked against its central record, are read and checked when it is
// opened; an entry's data when it is read. Refused with EKVBError naming source and saying
// what is wrong: zip64, encryption, multi-disk archives, methods other than stored and
// deflate, names ZipNameFault refuses or given twice, sizes beyond the limits, entries that
// overlap or lie outside the file, and a CRC or size that does not match the data when read.
// A name beyond ASCII must be marked as UTF-8. What zip tools write besides our own zips is
// read too: folder entries (a name ending in '/', no data), checked like the others and left out
// of Entries() since they hold nothing, and the CRC and sizes written after the data (as into a
// pipe), where the central record's count.
class TZipReader {
public:
    // file must outlive the reader.
    TZipReader(const TFileStream &file, const std::string &source, const TZipLimits &limits = {});

    const std::vector<TZipEntry> &Entries() const { return entries_; } // central-directory order
    const TZipEntry *Find(const std::string &name) const;              // exact name, or nullptr
    // The entry's data, whole, checked against its size and CRC. An entry that is not one of
    // Entries() is looked up by name; where it comes from, only its name is taken.
    std::string Read(const TZipEntry &entry) const;

private:
    [[noreturn]] void Refuse(const std::string &what) const;
    void ReadExactly(int64_t position, void *buffer, int64_t count) const;
    // Where the end record puts the central directory, and how many records it holds.
    void ReadEndRecord(int64_t &offset, int64_t &size, int64_t &count) const;
    TZipEntry ReadCentralRecord(const unsigned char *record, std::string name,
                                const TZipLimits &limits) const;
    // Checks entry's local header and returns where its data begins.
    int64_t ReadLocalHeader(const TZipEntry &entry, uint16_t flags, int64_t directoryOffset) const;
    std::string Inflate(const TZipEntry &entry, int64_t data) const;

    const TFileStream &file_;
    std::string source_;
    std::vector<TZipEntry> entries_;
    std::vector<int64_t> dataOffsets_; // of entries_[i]
    std::unordered_map<std::string, size_t> byName_;
};

} // namespace kvb
