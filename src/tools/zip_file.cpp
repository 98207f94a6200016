// The records are those of the zip format's application note: a local header before each
// entry's data, then one central record per entry, then the end record. All numbers are little
// endian.
#include "tools/zip_file.h"

#include "platform/errors.h"
#include "platform/stream.h"

#include <zlib.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <new>

namespace kvb {

namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr int64_t kLocalSize = 30, kCentralSize = 46, kEndSize = 22;
// The end record, and the longest comment that may follow it.
constexpr int64_t kEndSearch = kEndSize + 0xFFFF;
// A field of all ones says that the real value is in a zip64 record.
constexpr int64_t kZip64Marker = 0xFFFFFFFF;
constexpr uint16_t kVersion = 20;         // 2.0: deflate, folders
constexpr uint16_t kMadeByUnix = 3 << 8;  // external attributes are a Unix mode
constexpr uint32_t kPlainFile = 0100644u; // a plain file, rw-r--r--
constexpr uint16_t kDosDate = 1 << 5 | 1; // 1980-01-01; the time is 00:00, 0
constexpr uint16_t kFlagEncrypted = 1 << 0, kFlagDescriptor = 1 << 3, kFlagStrongEncryption = 1 << 6,
                   kFlagUtf8 = 1 << 11, kFlagDirectoryEncrypted = 1 << 13;
constexpr uint16_t kStored = 0, kDeflated = 8;
// Deflate's best case is 258 bytes from two bits; no stream inflates to more.
constexpr int64_t kDeflateMaxRatio = 1032;
constexpr size_t kChunk = 64 * 1024;

uint16_t Get16(const unsigned char *p)
{
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t Get32(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void Put16(std::string &out, uint32_t value)
{
    out += {char(value & 0xFF), char(value >> 8 & 0xFF)};
}

void Put32(std::string &out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

bool IsUtf8(const std::string &text)
{
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const size_t more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
        if (lead < 0xC2 || lead > 0xF4 || text.size() - i <= more)
            return false;
        uint32_t code = lead & (0x3F >> more);
        for (size_t k = 1; k <= more; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3F);
        }
        const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (code < least[more] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return false;
        i += more + 1;
    }
    return true;
}

// A name as a message shows it: quoted, with control bytes, and every byte of a name that is
// no UTF-8, as \xHH.
std::string Quoted(const std::string &name)
{
    const bool utf8 = IsUtf8(name);
    std::string out = "\"";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && !utf8)) {
            const char *hex = "0123456789ABCDEF";
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Number(int64_t value)
{
    return std::to_string(value);
}

// Raw deflate at level 6, or nothing when that is not smaller than data.
bool Deflate(std::string_view data, std::string &deflated)
{
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
    struct Ender {
        z_stream &z;
        ~Ender() { deflateEnd(&z); }
    } ender{z};
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = uInt(data.size());
    std::string chunk(kChunk, '\0');
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        z.next_out = reinterpret_cast<Bytef *>(chunk.data());
        z.avail_out = uInt(chunk.size());
        result = deflate(&z, Z_FINISH);
        if (result == Z_STREAM_ERROR)
            throw std::bad_alloc();
        deflated.append(chunk.data(), chunk.size() - z.avail_out);
        if (deflated.size() >= data.size())
            return false;
    }
    return true;
}

void Put16s(std::string &out, std::initializer_list<uint32_t> values)
{
    for (const uint32_t value : values)
        Put16(out, value);
}

// An entry's local header (followed by its data) or its central record, name included. Both
// have the same fields after the central record's "made by".
std::string Record(const TZipEntry &entry, bool central)
{
    std::string out;
    Put32(out, central ? kCentralSignature : kLocalSignature);
    if (central)
        Put16(out, kMadeByUnix | kVersion);
    Put16s(out, {kVersion, kFlagUtf8, entry.Deflated ? kDeflated : kStored, 0 /* 00:00 */, kDosDate});
    Put32(out, entry.Crc32);
    Put32(out, uint32_t(entry.CompressedSize));
    Put32(out, uint32_t(entry.Size));
    Put16s(out, {uint32_t(entry.Name.size()), 0 /* no extra fields */});
    if (central) {
        Put16s(out, {0 /* no comment */, 0 /* disk */, 0 /* internal attributes: binary */});
        Put32(out, kPlainFile << 16);
        Put32(out, uint32_t(entry.LocalHeaderOffset));
    }
    return out + entry.Name;
}

uint32_t Crc32Of(std::string_view data)
{
    uLong crc = crc32(0, nullptr, 0);
    for (size_t done = 0; done < data.size();) {
        const size_t step = std::min(data.size() - done, size_t(1) << 30);
        crc = crc32(crc, reinterpret_cast<const Bytef *>(data.data() + done), uInt(step));
        done += step;
    }
    return uint32_t(crc);
}

} // namespace

std::string ZipNameFault(const std::string &name)
{
    if (name.empty())
        return "it is empty";
    if (name.size() > 0xFFFF)
        return "it is longer than the 65,535 bytes a zip stores";
    if (name[0] == '/')
        return "it is absolute";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return "it holds a control byte";
        if (c == '\\')
            return "it holds a backslash, which Windows takes for a folder separator";
    }
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
        return "it starts with a drive letter";
    if (!IsUtf8(name))
        return "it is not valid UTF-8";
    for (size_t begin = 0; begin <= name.size();) {
        const size_t end = std::min(name.find('/', begin), name.size());
        const std::string_view part(name.data() + begin, end - begin);
        if (part.empty())
            return "it has an empty folder or file name";
        if (part == "..")
            return "it leads out of its folder with \"..\"";
        if (part == ".")
            return "it has a part \".\"";
        begin = end + 1;
    }
    return {};
}

// ---- writing ----

TZipWriter::TZipWriter(TStream &out) : out_(out)
{
}

void TZipWriter::Put(const std::string &bytes)
{
    out_.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    written_ += int64_t(bytes.size());
}

void TZipWriter::Add(const std::string &name, std::string_view data, bool compress)
{
    const auto refuse = [&](const std::string &why) {
        throw EKVBError("Cannot add " + Quoted(name) + " to the zip: " + why);
    };
    if (finished_)
        refuse("the zip is finished");
    if (writing_)
        refuse("an earlier write to the zip failed");
    if (const std::string fault = ZipNameFault(name); !fault.empty())
        refuse(fault);
    if (names_.count(name))
        refuse("the zip already holds an entry of that name");
    if (entries_.size() >= 0xFFFF)
        refuse("a zip without zip64 holds at most 65,535 entries");
    if (int64_t(data.size()) >= kZip64Marker)
        refuse("its " + Number(int64_t(data.size())) + " bytes would need zip64, which is not written");

    TZipEntry entry;
    entry.Name = name;
    entry.Size = int64_t(data.size());
    entry.Crc32 = Crc32Of(data);
    std::string deflated;
    entry.Deflated = compress && Deflate(data, deflated);
    const std::string_view body = entry.Deflated ? std::string_view(deflated) : data;
    entry.CompressedSize = int64_t(body.size());
    entry.LocalHeaderOffset = written_;
    // The central directory's offset is where the last entry ends.
    if (written_ + kLocalSize + int64_t(name.size()) + entry.CompressedSize >= kZip64Marker)
        refuse("the zip would pass 4 GiB, which would need zip64, which is not written");

    const std::string header = Record(entry, false);
    writing_ = true;
    Put(header);
    out_.WriteBuffer(body.data(), entry.CompressedSize);
    written_ += entry.CompressedSize;
    writing_ = false;
    names_.insert(name);
    entries_.push_back(std::move(entry));
}

void TZipWriter::Finish()
{
    if (finished_ || writing_)
        throw EKVBError(finished_ ? "The zip is finished already"
                                  : "The zip cannot be finished: an earlier write to it failed");
    std::string directory;
    for (const TZipEntry &entry : entries_)
        directory += Record(entry, true);
    if (int64_t(directory.size()) >= kZip64Marker - written_)
        throw EKVBError("The zip cannot be finished: its central directory would pass 4 GiB, which "
                        "would need zip64, which is not written");
    // This disk and the directory's are 0, both counts the entries', and there is no comment.
    const auto count = uint32_t(entries_.size());
    std::string end;
    Put32(end, kEndSignature);
    Put16s(end, {0, 0, count, count});
    Put32(end, uint32_t(directory.size()));
    Put32(end, uint32_t(written_));
    Put16(end, 0);
    writing_ = true;
    Put(directory + end);
    writing_ = false;
    finished_ = true;
}

// ---- reading ----

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
    unsigned char header[kLocalSize];
    ReadExactly(at, header, kLocalSize);
    std::string stored(entry.Name.size(), '\0');
    ReadExactly(at + kLocalSize, stored.data(), int64_t(stored.size()));
    // With a data descriptor the sizes and the CRC may follow the data instead.
    const bool sizesAfter = (flags & kFlagDescriptor) && Get32(header + 14) == 0 &&
                            Get32(header + 18) == 0 && Get32(header + 22) == 0;
    if (Get32(header) != kLocalSignature || Get16(header + 6) != flags ||
        Get16(header + 8) != (entry.Deflated ? kDeflated : kStored) ||
        Get16(header + 26) != entry.Name.size() || stored != entry.Name ||
        (!sizesAfter && (Get32(header + 14) != entry.Crc32 ||
                         Get32(header + 18) != entry.CompressedSize || Get32(header + 22) != entry.Size)))
        Refuse(name + " has a local header that does not match its central record");
    const int64_t data = at + kLocalSize + int64_t(entry.Name.size()) + Get16(header + 28);
    if (data + entry.CompressedSize > directoryOffset)
        Refuse(name + " has data that runs past the entries' part of the file");
    return data;
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

    struct TSpan {
        int64_t Begin, End;
        std::string Name;
    };
    std::vector<TSpan> spans;
    std::set<std::string> names;
    int64_t total = 0;
    int64_t at = directoryOffset;
    const int64_t directoryEnd = directoryOffset + directorySize;
    for (int64_t k = 0; k < count; ++k) {
        unsigned char record[kCentralSize];
        if (at + kCentralSize > directoryEnd)
            Refuse("its central directory ends inside its record " + Number(k + 1));
        ReadExactly(at, record, kCentralSize);
        const int64_t nameSize = Get16(record + 28);
        const int64_t recordSize = kCentralSize + nameSize + Get16(record + 30) + Get16(record + 32);
        if (Get32(record) != kCentralSignature || at + recordSize > directoryEnd)
            Refuse("its central record " + Number(k + 1) + " is damaged");
        TZipEntry entry;
        entry.Name.resize(size_t(nameSize));
        ReadExactly(at + kCentralSize, entry.Name.data(), nameSize);
        at += recordSize;

        const std::string name = "its entry " + Quoted(entry.Name);
        const uint16_t flags = Get16(record + 8);
        const uint16_t method = Get16(record + 10);
        entry.Crc32 = Get32(record + 16);
        entry.CompressedSize = Get32(record + 20);
        entry.Size = Get32(record + 24);
        entry.LocalHeaderOffset = Get32(record + 42);
        entry.Deflated = method == kDeflated;
        if (flags & (kFlagEncrypted | kFlagStrongEncryption | kFlagDirectoryEncrypted))
            Refuse(name + " is encrypted, which is not supported");
        if (method != kStored && method != kDeflated)
            Refuse(name + " uses compression method " + Number(method) +
                   ", which is not supported (only stored and deflated entries are)");
        if (entry.Size == kZip64Marker || entry.CompressedSize == kZip64Marker ||
            entry.LocalHeaderOffset == kZip64Marker || Get16(record + 34) == 0xFFFF)
            Refuse(name + " is a zip64 entry, which is not supported");
        if (Get16(record + 34) != 0)
            Refuse(name + " lies on another disk, which is not supported");

        // A folder's entry holds nothing; its name is checked without its closing '/'.
        const bool folder = !entry.Name.empty() && entry.Name.back() == '/';
        const std::string path = folder ? entry.Name.substr(0, entry.Name.size() - 1) : entry.Name;
        if (!(flags & kFlagUtf8) &&
            std::any_of(path.begin(), path.end(), [](char c) { return c & 0x80; }))
            Refuse(name + " has a name that is not marked as UTF-8");
        if (const std::string fault = ZipNameFault(path); !fault.empty())
            Refuse(name + " has a name that cannot be used: " + fault);
        if (!names.insert(entry.Name).second)
            Refuse(name + " is given twice");
        if (folder && entry.Size != 0)
            Refuse(name + " is a folder that holds " + Number(entry.Size) + " bytes");
        if (entry.Size > limits.MaxEntrySize)
            Refuse(name + " claims " + Number(entry.Size) + " bytes, more than the " +
                   Number(limits.MaxEntrySize) + " allowed for an entry");
        if (entry.Deflated && entry.Size > entry.CompressedSize * kDeflateMaxRatio)
            Refuse(name + " claims " + Number(entry.Size) + " bytes, which its " +
                   Number(entry.CompressedSize) + " compressed bytes cannot hold");
        if (!entry.Deflated && entry.Size != entry.CompressedSize)
            Refuse(name + " claims " + Number(entry.Size) + " bytes but stores " +
                   Number(entry.CompressedSize));
        total += entry.Size;
        if (total > limits.MaxTotalSize)
            Refuse("its entries hold more than the " + Number(limits.MaxTotalSize) +
                   " bytes allowed in all");

        const int64_t data = ReadLocalHeader(entry, flags, directoryOffset);
        spans.push_back({entry.LocalHeaderOffset, data + entry.CompressedSize, entry.Name});
        if (!folder) {
            byName_.emplace(entry.Name, entries_.size());
            dataOffsets_.push_back(data);
            entries_.push_back(std::move(entry));
        }
    }
    if (at != directoryEnd)
        Refuse("its central directory has " + Number(directoryEnd - at) + " bytes after its " +
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
