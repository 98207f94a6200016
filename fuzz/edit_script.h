// How the in-place editor's fuzz input is laid out, shared by the target and the seed writer:
// the archive's bytes, then up to kMaxEdits edits of 5 bytes (kind, a and b as 16-bit
// little-endian), then one byte holding the number of edits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvb::fuzz {

enum class EditKind : uint8_t { Link, Append, Truncate };

struct Edit {
    EditKind Kind = EditKind::Link;
    uint16_t A = 0; // table record (Link), name seed (Append), data record (Truncate)
    uint16_t B = 0; // data record (Link), data length (Append)
};

constexpr size_t kMaxEdits = 8;
constexpr size_t kEditSize = 5;

struct EditScript {
    std::string_view Archive;
    std::vector<Edit> Edits;
};

EditScript ParseEditScript(std::string_view input);
std::string WriteEditScript(const std::string &archive, const std::vector<Edit> &edits);

} // namespace kvb::fuzz
