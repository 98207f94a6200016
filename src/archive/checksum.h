// 64-bit checksums of bytes (xxHash's XXH3): they tell apart bytes that differ by accident (an
// older copy of a file, another archive), quickly; they are no defence against a forger.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kvb {

uint64_t Checksum64(std::string_view bytes);
// Checksum64 of the whole content of the file at path, read a piece at a time; raises the
// stream errors of the file.
uint64_t FileChecksum64(const std::string &path);
// A checksum as the manifests and kvb's output write it: 16 lower-case hexadecimal digits.
std::string ChecksumText(uint64_t checksum);

// The checksum of bytes handed over in pieces: the same as Checksum64 of the pieces joined.
class TChecksum {
public:
    TChecksum();
    ~TChecksum();
    TChecksum(const TChecksum &) = delete;
    TChecksum &operator=(const TChecksum &) = delete;

    void Add(std::string_view bytes);
    uint64_t Value() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace kvb
