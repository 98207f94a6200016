// The zip reader: every record checked against the file and against each other before an entry
// is read, and an entry's data against its record when it is.
#include "tools/zip_file.h"

#include "platform/errors.h"
#include "platform/stream.h"
#include "tools/zip_records.h"

#include <zlib.h>

#include <algorithm>
#include <functional>
#include <new>

namespace kvb {

using namespace zip;

void TZipReader::Refuse(const std::string &what) const
{
    throw EKVBError(source_ + " cannot be read as a zip: " + what);
}

void TZipReader::ReadExactly(int64_t position, void *buffer, int64_t count) const
{
    if (file_.ReadAt(position, buffer, count) != count)
        throw EReadError("Reading " + source_ + ": it ends before byte " + Number(position + count) +
                         ", where it ended when it was opened");
}

void TZipReader::ReadEndRecord(int64_t &offset, int64_t &size, int64_t &count) const
{
    const int64_t fileSize = file_.Size();
    if (fileSize < kEndSize)
        Refuse("it has " + Number(fileSize) + " bytes, too few for a zip's end record");
    const int64_t tailSize = std::min(fileSize, kEndSearch);
    std::string tail(size_t(tailSize), '\0');
    ReadExactly(fileSize - tailSize, tail.data(), tailSize);
    const auto *bytes = reinterpret_cast<const unsigned char *>(tail.data());
    // The record is followed by its comment and nothing else.
    int64_t at = tailSize - kEndSize;
    while (at >= 0 &&
           !(Get32(bytes + at) == kEndSignature && Get16(bytes + at + 20) == tailSize - at - kEndSize))
        --at;
    if (at < 0)
        Refuse("its last " + Number(tailSize) + " bytes hold no end record");
    const unsigned char *end = bytes + at;
    const int64_t endPosition = fileSize - tailSize + at;
    offset = Get32(end + 16);
    size = Get32(end + 12);
    count = Get16(end + 10);
    if ((at >= 20 && Get32(end - 20) == kZip64LocatorSignature) || size == kZip64Marker ||
        offset == kZip64Marker)
        Refuse("it is a zip64 archive, which is not supported");
    if (Get16(end + 4) != 0 || Get16(end + 6) != 0 || Get16(end + 8) != count)
        Refuse("it is split over several disks, which is not supported");
    if (offset + size > endPosition)
        Refuse("its central directory (" + Number(size) + " bytes at byte " + Number(offset) +
               ") lies outside the file");
}

int64_t TZipReader::ReadLocalHeader(const TZipEntry &entry, uint16_t flags, int64_t directoryOffset) const
{
    const std::string name = "its entry " + Quoted(entry.Name);
    const int64_t at = entry.LocalHeaderOffset;
    if (at + kLocalSize + int64_t(entry.Name.size()) > directoryOffset)
        Refuse(name + " has its header outside the entries' part of the file");
    std::string read(size_t(kLocalSize) + entry.Name.size(), '\0');
    ReadExactly(at, read.data(), int64_t(read.size()));
    const auto *header = reinterpret_cast<const unsigned char *>(read.data());
    // With a data descriptor the CRC and the sizes follow the data; each may be 0 here.
    const auto same = [&](int field, int64_t value) {
        const uint32_t stored = Get32(header + field);
        return stored == value || (stored == 0 && (flags & kFlagDescriptor));
    };
    if (Get32(header) != kLocalSignature || Get16(header + 6) != flags ||
        Get16(header + 8) != (entry.Deflated ? kDeflated : kStored) ||
        Get16(header + 26) != entry.Name.size() ||
        read.compare(kLocalSize, std::string::npos, entry.Name) != 0 || !same(14, entry.Crc32) ||
        !same(18, entry.CompressedSize) || !same(22, entry.Size))
        Refuse(name + " has a local header that does not match its central record");
    const int64_t data = at + kLocalSize + int64_t(entry.Name.size()) + Get16(header + 28);
    if (data + entry.CompressedSize > directoryOffset)
        Refuse(name + " has data that runs past the entries' part of the file");
    return data;
}

// The checks of one central record that need nothing but the record; returns the entry.
TZipEntry TZipReader::ReadCentralRecord(const unsigned char *record, std::string name,
                                        const TZipLimits &limits) const
{
    TZipEntry entry;
    entry.Name = std::move(name);
    const std::string quoted = "its entry " + Quoted(entry.Name);
    const uint16_t flags = Get16(record + 8), method = Get16(record + 10), disk = Get16(record + 34);
    entry.Crc32 = Get32(record + 16);
    entry.CompressedSize = Get32(record + 20);
    entry.Size = Get32(record + 24);
    entry.LocalHeaderOffset = Get32(record + 42);
    entry.Deflated = method == kDeflated;
    if (flags & (kFlagEncrypted | kFlagStrongEncryption | kFlagDirectoryEncrypted))
        Refuse(quoted + " is encrypted, which is not supported");
    if (method != kStored && method != kDeflated)
        Refuse(quoted + " uses compression method " + Number(method) +
               ", which is not supported (only stored and deflated entries are)");
    if (entry.Size == kZip64Marker || entry.CompressedSize == kZip64Marker ||
        entry.LocalHeaderOffset == kZip64Marker || disk == 0xFFFF)
        Refuse(quoted + " is a zip64 entry, which is not supported");
    if (disk != 0)
        Refuse(quoted + " lies on another disk, which is not supported");

    // A folder's entry holds nothing; its name is checked without its closing '/'.
    const bool folder = IsFolder(entry);
    const std::string path = folder ? entry.Name.substr(0, entry.Name.size() - 1) : entry.Name;
    if (!(flags & kFlagUtf8) && std::any_of(path.begin(), path.end(), [](char c) { return c & 0x80; }))
        Refuse(quoted + " has a name that is not marked as UTF-8");
    if (const std::string fault = ZipNameFault(path); !fault.empty())
        Refuse(quoted + " has a name that cannot be used: " + fault);
    if (folder && entry.Size != 0)
        Refuse(quoted + " is a folder that holds " + Number(entry.Size) + " bytes");
    if (entry.Size > limits.MaxEntrySize)
        Refuse(quoted + " claims " + Number(entry.Size) + " bytes, more than the " +
               Number(limits.MaxEntrySize) + " allowed for an entry");
    if (entry.Deflated && entry.Size > entry.CompressedSize * kDeflateMaxRatio)
        Refuse(quoted + " claims " + Number(entry.Size) + " bytes, which its " +
               Number(entry.CompressedSize) + " compressed bytes cannot hold");
    if (!entry.Deflated && entry.Size != entry.CompressedSize)
        Refuse(quoted + " claims " + Number(entry.Size) + " bytes but stores " +
               Number(entry.CompressedSize));
    return entry;
}

TZipReader::TZipReader(const TFileStream &file, const std::string &source, const TZipLimits &limits)
    : file_(file),
      source_(source)
{
    int64_t directoryOffset = 0, directorySize = 0, count = 0;
    ReadEndRecord(directoryOffset, directorySize, count);
    if (count > limits.MaxEntries)
        Refuse("it has " + Number(count) + " entries, more than the " + Number(limits.MaxEntries) +
               " allowed");
    // The directory is read whole: it lies inside the file, and its records are no longer than
    // their longest names, extra fields and comments.
    if (directorySize > count * (kCentralSize + 3 * 0xFFFF))
        Refuse("its central directory has " + Number(directorySize) + " bytes, more than its " +
               Number(count) + " records can fill");
    std::string directory(size_t(directorySize), '\0');
    ReadExactly(directoryOffset, directory.data(), directorySize);
    const auto *bytes = reinterpret_cast<const unsigned char *>(directory.data());

    struct TSpan {
        int64_t Begin, End;
        std::string Name;
    };
    std::vector<TSpan> spans;
    std::set<std::string> names;
    int64_t total = 0, at = 0;
    for (int64_t k = 0; k < count; ++k) {
        const unsigned char *record = bytes + at;
        if (at + kCentralSize > directorySize)
            Refuse("its central directory ends inside its record " + Number(k + 1));
        const int64_t nameSize = Get16(record + 28);
        const int64_t recordSize = kCentralSize + nameSize + Get16(record + 30) + Get16(record + 32);
        if (Get32(record) != kCentralSignature || at + recordSize > directorySize)
            Refuse("its central record " + Number(k + 1) + " is damaged");
        TZipEntry entry = ReadCentralRecord(record,
                                            directory.substr(size_t(at + kCentralSize), size_t(nameSize)),
                                            limits);
        at += recordSize;
        if (!names.insert(entry.Name).second)
            Refuse("its entry " + Quoted(entry.Name) + " is given twice");
        total += entry.Size;
        if (total > limits.MaxTotalSize)
            Refuse("its entries hold more than the " + Number(limits.MaxTotalSize) +
                   " bytes allowed in all");

        const int64_t data = ReadLocalHeader(entry, Get16(record + 8), directoryOffset);
        spans.push_back({entry.LocalHeaderOffset, data + entry.CompressedSize, entry.Name});
        if (!IsFolder(entry)) {
            byName_.emplace(entry.Name, entries_.size());
            dataOffsets_.push_back(data);
            entries_.push_back(std::move(entry));
        }
    }
    if (at != directorySize)
        Refuse("its central directory has " + Number(directorySize - at) + " bytes after its " +
               Number(count) + " records");

    std::sort(spans.begin(), spans.end(),
              [](const TSpan &a, const TSpan &b) { return a.Begin < b.Begin; });
    for (size_t i = 1; i < spans.size(); ++i)
        if (spans[i].Begin < spans[i - 1].End)
            Refuse("its entries " + Quoted(spans[i - 1].Name) + " and " + Quoted(spans[i].Name) +
                   " overlap");
}

const TZipEntry *TZipReader::Find(const std::string &name) const
{
    const auto found = byName_.find(name);
    return found == byName_.end() ? nullptr : &entries_[found->second];
}

std::string TZipReader::Read(const TZipEntry &asked) const
{
    const TZipEntry *entry = &asked;
    const std::less<const TZipEntry *> before;
    if (before(entry, entries_.data()) || !before(entry, entries_.data() + entries_.size()))
        entry = Find(asked.Name);
    if (!entry)
        throw EKVBError(source_ + " has no entry " + Quoted(asked.Name));
    const int64_t data = dataOffsets_[size_t(entry - entries_.data())];

    std::string bytes;
    if (entry->Deflated) {
        bytes = Inflate(*entry, data);
    } else {
        bytes.resize(size_t(entry->Size));
        ReadExactly(data, bytes.data(), entry->Size);
    }
    if (const uint32_t crc = Crc32Of(bytes); crc != entry->Crc32)
        Refuse("its entry " + Quoted(entry->Name) + " is damaged: its data does not match its CRC");
    return bytes;
}

// Inflates into exactly the entry's size: a stream that would inflate to more is refused as
// soon as one byte more comes out, however much more it holds.
std::string TZipReader::Inflate(const TZipEntry &entry, int64_t data) const
{
    const std::string name = "its entry " + Quoted(entry.Name);
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        throw std::bad_alloc();
    struct Ender {
        z_stream &z;
        ~Ender() { inflateEnd(&z); }
    } ender{z};

    std::string bytes(size_t(entry.Size), '\0');
    std::string input(size_t(std::min<int64_t>(kChunk, entry.CompressedSize)), '\0');
    int64_t read = 0;
    unsigned char beyond = 0;
    z.next_out = reinterpret_cast<Bytef *>(bytes.data());
    z.avail_out = uInt(bytes.size());
    bool probing = false;
    for (int result = Z_OK; result != Z_STREAM_END;) {
        if (z.avail_in == 0) {
            if (read == entry.CompressedSize)
                Refuse(name + " is damaged: its compressed data is cut short");
            const int64_t step = std::min<int64_t>(int64_t(input.size()), entry.CompressedSize - read);
            ReadExactly(data + read, input.data(), step);
            read += step;
            z.next_in = reinterpret_cast<Bytef *>(input.data());
            z.avail_in = uInt(step);
        }
        if (z.avail_out == 0 && !probing) {
            probing = true;
            z.next_out = &beyond;
            z.avail_out = 1;
        }
        result = inflate(&z, Z_NO_FLUSH);
        if (result == Z_MEM_ERROR)
            throw std::bad_alloc();
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            Refuse(name + " is damaged: its data cannot be inflated (" +
                   (z.msg ? z.msg : "invalid data") + ")");
        if (probing && z.avail_out == 0)
            Refuse(name + " is damaged: its data inflates to more than its " + Number(entry.Size) +
                   " bytes");
    }
    if (int64_t(z.total_out) != entry.Size)
        Refuse(name + " is damaged: its data inflates to " + Number(int64_t(z.total_out)) +
               " bytes, not " + Number(entry.Size));
    if (z.avail_in != 0 || read != entry.CompressedSize)
        Refuse(name + " is damaged: it holds bytes after its compressed data");
    return bytes;
}

} // namespace kvb
