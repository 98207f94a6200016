// Builds archive files of any shape for tests, benchmarks and the demo archive.
#pragma once

#include "archive/format.h"
#include "archive/raw_archive.h"
#include "platform/paths.h"

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace kvb::test {

// Builds an archive laid out as creation writes it: header, table of contents, validation block,
// the entries in table order without gaps, description. Oddities are made by patching the
// bytes afterwards (see the Patch helpers).
class ArchiveBuilder {
public:
    ArchiveBuilder();

    ArchiveBuilder &CreatorField(const TCreatorField &field);
    ArchiveBuilder &Validation(std::string bytes);
    ArchiveBuilder &Description(std::string bytes);
    // An entry whose data header carries the same name as its table record.
    ArchiveBuilder &Add(const std::string &name, std::string data);
    // An entry whose data header name differs from its table record's.
    ArchiveBuilder &AddMismatched(const std::string &tocName, const std::string &dataName,
                                  std::string data);
    // A data entry that no table record points at (as an append leaves it).
    ArchiveBuilder &AddUnlinked(const std::string &name, std::string data);
    // A further table record pointing at data entry dataIndex (counted over all data entries).
    ArchiveBuilder &AddAlias(const std::string &name, size_t dataIndex);

    std::string Build() const;
    // Where data entry i's header starts in what Build() returns.
    int32_t OffsetOf(size_t dataIndex) const;

private:
    struct Data {
        std::string name, bytes;
    };
    struct Toc {
        std::string name;
        size_t dataIndex;
    };
    TCreatorField creator_;
    std::string validation_;
    std::string description_;
    std::vector<Data> data_;
    std::vector<Toc> toc_;
};

// count entries named prefix + "0.BIN", prefix + "1.BIN", ..., entry i holding
// PatternBytes(8 + i % 5, i); and the archive they make.
ArchiveBuilder NumberedEntries(int count, const std::string &prefix = "E");
std::string NumberedArchive(int count, const std::string &prefix = "E");

// A validation block of the standard 3602 bytes with a recognisable pattern.
std::string StandardValidation();
// size bytes of a pattern that depends on seed, so that entries differ.
std::string PatternBytes(size_t size, unsigned seed);

// A record for AppendData; it refers to data, which must outlive it.
TKVB_DataRecord DataRecordOf(const std::string &name, const std::string &data);

void PatchCount(std::string &archive, int32_t count);
void PatchTocOffset(std::string &archive, int32_t record, int32_t offset);
void PatchDataLength(std::string &archive, int32_t headerPosition, int32_t length);

// The two-entry archive the tests share: names "FIRST.BIN" and "SECOND.BIN",
// 100 and 50 data bytes, 3884 bytes in all.
std::string TwoEntryArchive();

void WriteFile(const std::filesystem::path &path, const std::string &bytes);
std::string ReadFile(const std::filesystem::path &path);
// Every name in folder, hidden ones included: a leftover temporary file has a hidden name.
std::set<std::string> Listing(const std::filesystem::path &folder);

// A fresh folder below the system temp folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::filesystem::path &Path() const { return path_; }
    // name inside the folder, as UTF-8 on every system.
    std::string operator/(const std::string &name) const { return JoinPath(Utf8FromPath(path_), name); }

private:
    std::filesystem::path path_;
};

} // namespace kvb::test
