// The on-disk records of a KVB archive and the rules for the text they hold.
//
// Layout: a 16-byte file header, Count table-of-contents records of 27 bytes, an opaque
// validation block, the data entries (a 24-byte header followed by the data each) and a short
// description. Integers are little-endian signed 32-bit unless said otherwise. Records are
// read and written field by field, never by laying a struct over bytes.
#pragma once

#include "platform/errors.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace kvb {

// A record number outside the table of contents.
class EListError : public EKVBError {
public:
    explicit EListError(int64_t index)
        : EKVBError("List index out of bounds (" + std::to_string(index) + ")")
    {
    }
};

constexpr int32_t kFileHeaderSize = 16;
constexpr int32_t kTocRecordSize = 27;
constexpr int32_t kDataHeaderSize = 24;
constexpr int32_t kNameFieldSize = 20;
constexpr int32_t kCreatorFieldSize = 12;

// Where things lie: the one place these sums are written. 64-bit, so that a corrupt count,
// offset or length gives its true figure rather than a wrapped one.
// Table-of-contents record index (0-based) starts here.
constexpr int64_t TocRecordPosition(int64_t index)
{
    return kFileHeaderSize + int64_t(kTocRecordSize) * index;
}
// The table of contents of count records ends here, and the validation block starts.
constexpr int64_t TocEnd(int64_t count)
{
    return TocRecordPosition(count);
}
// The data of the entry whose data header is at position starts here.
constexpr int64_t DataPosition(int64_t position)
{
    return position + kDataHeaderSize;
}
// The entry whose data header is at position, with length data bytes, ends here: the next entry
// starts here, or after the last one the description.
constexpr int64_t EntryEnd(int64_t position, int64_t length)
{
    return DataPosition(position) + length;
}

using TNameField = std::array<char, kNameFieldSize>;
using TCreatorField = std::array<char, kCreatorFieldSize>;

struct TKVB_FileHeader {
    TCreatorField Creator{};
    int32_t Count = 0;
};

struct TKVB_TocRecord {
    TNameField Name{};
    int32_t Offset = 0;
    uint8_t Reserved1 = 0;
    uint16_t Reserved2 = 0;
};

struct TKVB_DataHeader {
    TNameField Name{};
    int32_t Length = 0;
};

// Little-endian integers in byte buffers.
int32_t GetInt32LE(const char *p);
uint16_t GetUInt16LE(const char *p);
void PutInt32LE(char *p, int32_t value);
void PutUInt16LE(char *p, uint16_t value);

TKVB_FileHeader DecodeFileHeader(const char *p);
void EncodeFileHeader(const TKVB_FileHeader &header, char *p);
TKVB_TocRecord DecodeTocRecord(const char *p);
void EncodeTocRecord(const TKVB_TocRecord &record, char *p);
TKVB_DataHeader DecodeDataHeader(const char *p);
void EncodeDataHeader(const TKVB_DataHeader &header, char *p);

// Name rule: the field's bytes up to the first NUL; a field without NUL is a 20-byte name.
std::string NameFromField(const TNameField &field);
// The field for a name: its first 20 bytes, NUL-padded.
TNameField NameToField(const std::string &name);
// Names are compared with the ASCII letters a..z upper-cased; every other byte must match.
bool SameName(const std::string &a, const std::string &b);
// Whether part occurs in name, compared the same way; an empty part occurs in every name.
bool NameContains(const std::string &name, const std::string &part);
// The first of the count names after index after (wrapping round, after itself last) that
// contains part; -1 when none does. nameOf(i) gives name i.
int32_t FindNextName(int32_t count, int32_t after, const std::string &part,
                     const std::function<std::string(int32_t index)> &nameOf);

// Creator rule: leading NULs are padding; everything from the first non-NUL byte through the
// last byte of the field is text, later NULs included.
std::string CreatorFromField(const TCreatorField &field);
// The field for a creator text: right-aligned, NUL padding in front.
TCreatorField CreatorToField(const std::string &creator);

// The fixed texts of archives this program writes.
inline const std::string kNewArchiveCreator = "SQUARESOFT";
inline const std::string kNewArchiveDescription = "FINAL FANTASY7";
constexpr uint8_t kNewArchiveReserved1 = 14;
constexpr uint16_t kNewArchiveReserved2 = 0;

} // namespace kvb
