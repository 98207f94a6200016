#include "archive/format.h"

#include "archive/text.h"

#include <algorithm>
#include <cstring>

namespace kvb {

namespace {

// Where each field starts within its record; the name or Creator field comes first in each.
constexpr int kHeaderCountAt = kCreatorFieldSize;       // file header: Count
constexpr int kRecordOffsetAt = kNameFieldSize;         // table record: Offset
constexpr int kRecordReserved1At = kRecordOffsetAt + 4; // table record: Reserved1, one byte
constexpr int kRecordReserved2At = kRecordReserved1At + 1;
constexpr int kDataLengthAt = kNameFieldSize; // data header: Length

static_assert(kHeaderCountAt + 4 == kFileHeaderSize);
static_assert(kRecordReserved2At + 2 == kTocRecordSize);
static_assert(kDataLengthAt + 4 == kDataHeaderSize);

} // namespace

int32_t GetInt32LE(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    uint32_t v = uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
    return static_cast<int32_t>(v);
}

uint16_t GetUInt16LE(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return static_cast<uint16_t>(u[0] | u[1] << 8);
}

void PutInt32LE(char *p, int32_t value)
{
    auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutUInt16LE(char *p, uint16_t value)
{
    p[0] = static_cast<char>(value & 0xFF);
    p[1] = static_cast<char>(value >> 8);
}

TKVB_FileHeader DecodeFileHeader(const char *p)
{
    TKVB_FileHeader h;
    std::memcpy(h.Creator.data(), p, kCreatorFieldSize);
    h.Count = GetInt32LE(p + kHeaderCountAt);
    return h;
}

void EncodeFileHeader(const TKVB_FileHeader &header, char *p)
{
    std::memcpy(p, header.Creator.data(), kCreatorFieldSize);
    PutInt32LE(p + kHeaderCountAt, header.Count);
}

TKVB_TocRecord DecodeTocRecord(const char *p)
{
    TKVB_TocRecord r;
    std::memcpy(r.Name.data(), p, kNameFieldSize);
    r.Offset = GetInt32LE(p + kRecordOffsetAt);
    r.Reserved1 = static_cast<uint8_t>(p[kRecordReserved1At]);
    r.Reserved2 = GetUInt16LE(p + kRecordReserved2At);
    return r;
}

void EncodeTocRecord(const TKVB_TocRecord &record, char *p)
{
    std::memcpy(p, record.Name.data(), kNameFieldSize);
    PutInt32LE(p + kRecordOffsetAt, record.Offset);
    p[kRecordReserved1At] = static_cast<char>(record.Reserved1);
    PutUInt16LE(p + kRecordReserved2At, record.Reserved2);
}

TKVB_DataHeader DecodeDataHeader(const char *p)
{
    TKVB_DataHeader h;
    std::memcpy(h.Name.data(), p, kNameFieldSize);
    h.Length = GetInt32LE(p + kDataLengthAt);
    return h;
}

void EncodeDataHeader(const TKVB_DataHeader &header, char *p)
{
    std::memcpy(p, header.Name.data(), kNameFieldSize);
    PutInt32LE(p + kDataLengthAt, header.Length);
}

std::string NameFromField(const TNameField &field)
{
    auto end = std::find(field.begin(), field.end(), '\0');
    return std::string(field.begin(), end);
}

TNameField NameToField(const std::string &name)
{
    TNameField field{};
    std::memcpy(field.data(), name.data(), std::min<size_t>(name.size(), kNameFieldSize));
    return field;
}

bool SameName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    return true;
}

bool NameContains(const std::string &name, const std::string &part)
{
    auto same = [](char a, char b) { return AsciiUpper(a) == AsciiUpper(b); };
    return std::search(name.begin(), name.end(), part.begin(), part.end(), same) != name.end();
}

int32_t FindNextName(int32_t count, int32_t after, const std::string &part,
                     const std::function<std::string(int32_t index)> &nameOf)
{
    for (int32_t step = 1; step <= count; ++step) {
        const int32_t index = int32_t((int64_t(after) + step + count) % count);
        if (NameContains(nameOf(index), part))
            return index;
    }
    return -1;
}

std::string CreatorFromField(const TCreatorField &field)
{
    auto first = std::find_if(field.begin(), field.end(), [](char c) { return c != '\0'; });
    return std::string(first, field.end());
}

TCreatorField CreatorToField(const std::string &creator)
{
    TCreatorField field{};
    size_t n = std::min<size_t>(creator.size(), kCreatorFieldSize);
    std::memcpy(field.data() + (kCreatorFieldSize - n), creator.data(), n);
    return field;
}

} // namespace kvb
