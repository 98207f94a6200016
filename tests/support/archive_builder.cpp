#include "support/archive_builder.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

namespace kvb::test {

ArchiveBuilder::ArchiveBuilder()
    : creator_(CreatorToField(kNewArchiveCreator)),
      validation_(StandardValidation()),
      description_(kNewArchiveDescription)
{
}

ArchiveBuilder &ArchiveBuilder::CreatorField(const TCreatorField &field)
{
    creator_ = field;
    return *this;
}

ArchiveBuilder &ArchiveBuilder::Validation(std::string bytes)
{
    validation_ = std::move(bytes);
    return *this;
}

ArchiveBuilder &ArchiveBuilder::Description(std::string bytes)
{
    description_ = std::move(bytes);
    return *this;
}

ArchiveBuilder &ArchiveBuilder::Add(const std::string &name, std::string data)
{
    return AddMismatched(name, name, std::move(data));
}

ArchiveBuilder &ArchiveBuilder::AddMismatched(const std::string &tocName, const std::string &dataName,
                                              std::string data)
{
    toc_.push_back({tocName, data_.size()});
    data_.push_back({dataName, std::move(data)});
    return *this;
}

ArchiveBuilder &ArchiveBuilder::AddUnlinked(const std::string &name, std::string data)
{
    data_.push_back({name, std::move(data)});
    return *this;
}

ArchiveBuilder &ArchiveBuilder::AddAlias(const std::string &name, size_t dataIndex)
{
    toc_.push_back({name, dataIndex});
    return *this;
}

int32_t ArchiveBuilder::OffsetOf(size_t dataIndex) const
{
    int64_t offset = kFileHeaderSize + kTocRecordSize * int64_t(toc_.size()) +
                     int64_t(validation_.size());
    for (size_t k = 0; k < dataIndex; ++k)
        offset += kDataHeaderSize + int64_t(data_[k].bytes.size());
    return static_cast<int32_t>(offset);
}

std::string ArchiveBuilder::Build() const
{
    std::string out;
    char header[kFileHeaderSize];
    EncodeFileHeader(TKVB_FileHeader{creator_, int32_t(toc_.size())}, header);
    out.append(header, kFileHeaderSize);

    // Every entry's offset at once; asking OffsetOf per record would take quadratic time.
    std::vector<int32_t> offsets(data_.size() + 1);
    offsets[0] = OffsetOf(0);
    for (size_t k = 0; k < data_.size(); ++k)
        offsets[k + 1] =
            static_cast<int32_t>(offsets[k] + kDataHeaderSize + int64_t(data_[k].bytes.size()));
    for (const auto &t : toc_) {
        TKVB_TocRecord r{NameToField(t.name), offsets[std::min(t.dataIndex, data_.size())],
                         kNewArchiveReserved1, kNewArchiveReserved2};
        char bytes[kTocRecordSize];
        EncodeTocRecord(r, bytes);
        out.append(bytes, kTocRecordSize);
    }
    out += validation_;
    for (const auto &d : data_) {
        char bytes[kDataHeaderSize];
        EncodeDataHeader(TKVB_DataHeader{NameToField(d.name), int32_t(d.bytes.size())}, bytes);
        out.append(bytes, kDataHeaderSize);
        out += d.bytes;
    }
    out += description_;
    return out;
}

std::string StandardValidation()
{
    return PatternBytes(3602, 7);
}

std::string PatternBytes(size_t size, unsigned seed)
{
    std::string out(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (auto &c : out) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return out;
}

TKVB_DataRecord DataRecordOf(const std::string &name, const std::string &data)
{
    TKVB_DataRecord r;
    r.Name = NameToField(name);
    r.Length = int32_t(data.size());
    r.Data = data;
    return r;
}

void PatchCount(std::string &archive, int32_t count)
{
    PutInt32LE(archive.data() + 12, count);
}

void PatchTocOffset(std::string &archive, int32_t record, int32_t offset)
{
    PutInt32LE(archive.data() + kFileHeaderSize + kTocRecordSize * record + 20, offset);
}

void PatchDataLength(std::string &archive, int32_t headerPosition, int32_t length)
{
    PutInt32LE(archive.data() + headerPosition + 20, length);
}

std::string TwoEntryArchive()
{
    return ArchiveBuilder()
        .Add("FIRST.BIN", PatternBytes(100, 1))
        .Add("SECOND.BIN", PatternBytes(50, 2))
        .Build();
}

void WriteFile(const std::filesystem::path &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TempDir::TempDir()
{
    // A name no other run picks, made by an exclusive create; std::filesystem has it on every
    // system.
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate =
            base / ("kvbtest-" + std::to_string(random()) + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temp folder");
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

ArchiveBuilder NumberedEntries(int count, const std::string &prefix)
{
    ArchiveBuilder b;
    for (int i = 0; i < count; ++i)
        b.Add(prefix + std::to_string(i) + ".BIN", PatternBytes(size_t(8 + i % 5), unsigned(i)));
    return b;
}

std::string NumberedArchive(int count, const std::string &prefix)
{
    return NumberedEntries(count, prefix).Build();
}

std::set<std::string> Listing(const std::filesystem::path &folder)
{
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

} // namespace kvb::test
