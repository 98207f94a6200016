// The zip writer, and what the reader shares with it.
#include "tools/zip_file.h"

#include "platform/errors.h"
#include "platform/stream.h"
#include "tools/zip_records.h"

#include <zlib.h>

#include <algorithm>
#include <initializer_list>
#include <new>

namespace kvb {

using namespace zip;

namespace {

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

} // namespace

namespace zip {

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

} // namespace zip

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

} // namespace kvb
