// The pieces of JSON that the manifests of exports and of mod packages are written and read
// with: strings, numbers, checksums and archive names one way, objects of known members the
// other (through TJsonReader).
#pragma once

#include "tools/json_reader.h"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kvb {

// text as a JSON string. Invalid UTF-8 (a path the system handed over as bytes) becomes U+FFFD,
// as JSON can hold only characters.
void PutString(std::string &out, std::string_view text);
void PutNumber(std::string &out, int64_t value);
// An archive name, as stored (Windows-1252), as a JSON string: every byte comes back.
void PutArchiveName(std::string &out, const std::string &name);

// A checksum as ChecksumText writes it: 16 hexadecimal digits.
uint64_t ReadHex64(TJsonReader &json, const std::string &what);
// An archive name written by PutArchiveName; refuses text an archive cannot hold.
std::string ReadArchiveName(TJsonReader &json);

// An object's members, each known one by its place among the names given. Each member may
// appear once: a member twice would leave which one counts to chance.
class TMembers {
public:
    TMembers(TJsonReader &json, std::span<const std::string_view> known);
    // The next member's place among the known names, or -1 for another one (for the caller to
    // pass over); false at the object's end.
    bool Next(int &member);
    bool Has(int member) const { return (seen_ >> member & 1) != 0; }
    void Require(std::initializer_list<int> members) const;

private:
    TJsonReader &json_;
    std::span<const std::string_view> known_;
    std::string key_;
    uint32_t seen_ = 0;
    std::vector<std::string> others_;
};

} // namespace kvb
