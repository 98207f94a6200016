// The records of the zip format as its application note lays them out, for the zip reader and
// writer alone: a local header before each entry's data, then one central record per entry, then
// the end record. All numbers are little endian.
#pragma once

#include "tools/zip_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kvb::zip {

inline constexpr uint32_t kLocalSignature = 0x04034b50;
inline constexpr uint32_t kCentralSignature = 0x02014b50;
inline constexpr uint32_t kEndSignature = 0x06054b50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
inline constexpr int64_t kLocalSize = 30, kCentralSize = 46, kEndSize = 22;
// The end record, and the longest comment that may follow it.
inline constexpr int64_t kEndSearch = kEndSize + 0xFFFF;
// A field of all ones says that the real value is in a zip64 record.
inline constexpr int64_t kZip64Marker = 0xFFFFFFFF;
inline constexpr uint16_t kVersion = 20;         // 2.0: deflate, folders
inline constexpr uint16_t kMadeByUnix = 3 << 8;  // external attributes are a Unix mode
inline constexpr uint32_t kPlainFile = 0100644u; // a plain file, rw-r--r--
inline constexpr uint16_t kDosDate = 1 << 5 | 1; // 1980-01-01; the time is 00:00, 0
inline constexpr uint16_t kFlagEncrypted = 1 << 0, kFlagDescriptor = 1 << 3,
                          kFlagStrongEncryption = 1 << 6, kFlagUtf8 = 1 << 11,
                          kFlagDirectoryEncrypted = 1 << 13;
inline constexpr uint16_t kStored = 0, kDeflated = 8;
// Deflate's best case is 258 bytes from two bits; no stream inflates to more.
inline constexpr int64_t kDeflateMaxRatio = 1032;
inline constexpr size_t kChunk = 64 * 1024;

inline uint16_t Get16(const unsigned char *p)
{
    return uint16_t(p[0] | p[1] << 8);
}

inline uint32_t Get32(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline std::string Number(int64_t value)
{
    return std::to_string(value);
}

inline bool IsFolder(const TZipEntry &entry)
{
    return !entry.Name.empty() && entry.Name.back() == '/';
}

// A name as a message shows it: quoted, with control bytes, and every byte of a name that is
// no UTF-8, as \xHH.
std::string Quoted(const std::string &name);
uint32_t Crc32Of(std::string_view data);

} // namespace kvb::zip
