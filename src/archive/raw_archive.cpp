#include "archive/raw_archive.h"

#include "archive/table_of_contents.h"
#include "platform/encoding.h"
#include "platform/errors.h"

#include <algorithm>
#include <filesystem>
#include <string>

namespace kvb {

namespace {

// The walk reads ahead this much at a time, so that small entries cost no extra system call.
constexpr int64_t kWalkWindow = 4096;

// A negative length (the walk lets -23 to -1 pass) makes the next entry start inside this
// entry's header, so writing there would overwrite a header the lists still hold.
void CheckNothingOverlaps(const TKVB_DataRecord &before, const char *edit)
{
    if (before.Length < 0)
        throw EKVBError(std::string("Cannot ") + edit + ": the data entry at position " +
                        std::to_string(before.Position) + " has the invalid length " +
                        std::to_string(before.Length) + ", so its header would be overwritten");
}

} // namespace

TRawKVBFile::TRawKVBFile(const std::string &path)
    : file_(std::make_unique<TFileStream>(path, TFileStream::Mode::OpenReadWrite))
{
    TFileStream &file = *file_;

    // Header.
    char headerBytes[kFileHeaderSize];
    file.ReadBuffer(headerBytes, kFileHeaderSize);
    TKVB_FileHeader header = DecodeFileHeader(headerBytes);
    creator_ = CreatorFromField(header.Creator);
    tocCount_ = header.Count;

    // Table of contents; the smallest Offset bounds the validation block.
    const int64_t fileSize = file.Size();
    int64_t end = fileSize;
    ReadTableOfContents(file, tocCount_, [&](const TKVB_TocRecord &record) {
        // The reader has checked the file holds every record before it hands out the first.
        if (tocRecords_.empty())
            tocRecords_.reserve(size_t(tocCount_));
        tocRecords_.push_back(record);
        end = std::min<int64_t>(end, record.Offset);
    });

    // Validation block: skipped, never used. The walk starts at its end.
    int64_t position = TocEnd(std::max(tocCount_, 0));
    if (end > position)
        position = end;

    // Data walk: any tail of more than 24 bytes is a further data header.
    std::vector<char> window;
    int64_t windowStart = 0;
    while (fileSize - position > kDataHeaderSize) {
        if (position < windowStart ||
            position + kDataHeaderSize > windowStart + int64_t(window.size())) {
            windowStart = position;
            window.resize(size_t(std::min(kWalkWindow, fileSize - position)));
            if (file.ReadAt(windowStart, window.data(), int64_t(window.size())) !=
                int64_t(window.size()))
                throw EReadError();
        }
        TKVB_DataHeader dataHeader = DecodeDataHeader(window.data() + (position - windowStart));
        if (dataHeader.Length <= -kDataHeaderSize)
            throw EKVBError("Corrupt data header at position " + std::to_string(position) +
                            ": its length " + std::to_string(dataHeader.Length) +
                            " does not lead to a following entry");
        if (position > INT32_MAX)
            throw EKVBError("Data header at position " + std::to_string(position) +
                            " lies beyond the 2 GiB an archive can address");
        TKVB_DataRecord record;
        record.Name = dataHeader.Name;
        record.Length = dataHeader.Length;
        record.Position = static_cast<int32_t>(position);
        dataRecords_.push_back(record);
        position = EntryEnd(position, dataHeader.Length);
    }

    // Description: whatever follows the walk.
    if (position < fileSize) {
        description_.resize(size_t(fileSize - position));
        if (file.ReadAt(position, description_.data(), fileSize - position) !=
            fileSize - position)
            throw EReadError();
    }
}

void TRawKVBFile::CheckIndex(int32_t index, size_t count) const
{
    if (index < 0 || size_t(index) >= count)
        throw EListError(index);
}

TKVB_TocRecord TRawKVBFile::GetTocRecord(int32_t index) const
{
    CheckIndex(index, tocRecords_.size());
    return tocRecords_[size_t(index)];
}

void TRawKVBFile::SetTocRecord(int32_t index, const TKVB_TocRecord &record)
{
    CheckIndex(index, tocRecords_.size());
    tocRecords_[size_t(index)] = record;
    char bytes[kTocRecordSize];
    EncodeTocRecord(record, bytes);
    file_->Seek(TocRecordPosition(index));
    file_->WriteBuffer(bytes, kTocRecordSize);
    file_->Flush();
}

void TRawKVBFile::LinkTocRecord(int32_t tocIndex, int32_t dataIndex)
{
    TKVB_TocRecord record = GetTocRecord(tocIndex);
    record.Offset = GetDataRecord(dataIndex).Position;
    SetTocRecord(tocIndex, record);
}

TKVB_DataRecord TRawKVBFile::GetDataRecord(int32_t index) const
{
    CheckIndex(index, dataRecords_.size());
    return dataRecords_[size_t(index)];
}

void TRawKVBFile::AppendData(const TKVB_DataRecord &record)
{
    if (dataRecords_.empty())
        throw EListError(-1);
    const TKVB_DataRecord &last = dataRecords_.back();
    CheckNothingOverlaps(last, "append");
    const int64_t position = EntryEnd(last.Position, last.Length);
    if (record.Length < 0 || size_t(record.Length) != record.Data.size())
        throw EKVBError("The data to append does not match its length");
    // Offsets are signed 32-bit: the new entry must be addressable by a table record.
    if (position < 0 || position > INT32_MAX)
        throw EKVBError("The archive is too large to append to (an entry would start at " +
                        std::to_string(position) + ")");

    char headerBytes[kDataHeaderSize];
    EncodeDataHeader(TKVB_DataHeader{record.Name, record.Length}, headerBytes);
    const int64_t sizeBefore = file_->Size();
    try {
        file_->Seek(position);
        file_->WriteBuffer(headerBytes, kDataHeaderSize);
        file_->WriteBuffer(record.Data.data(), record.Length);
        file_->WriteBuffer(description_.data(), int64_t(description_.size()));
        file_->Flush();
    } catch (const EKVBError &) {
        // A write that fails part way (a full disk) would leave half an entry where the
        // description stood. The archive is put back as it was; the first error is the one
        // to report, whatever the repair meets.
        try {
            file_->SetSize(sizeBefore);
            if (position < sizeBefore) {
                file_->Seek(position);
                file_->WriteBuffer(description_.data(), int64_t(description_.size()));
            }
            file_->Flush();
        } catch (const EKVBError &) {
        }
        throw;
    }

    TKVB_DataRecord held = record;
    held.Position = static_cast<int32_t>(position);
    held.Data = {};
    dataRecords_.push_back(held);
}

void TRawKVBFile::TruncateFrom(int32_t index)
{
    CheckIndex(index, dataRecords_.size());
    if (index > 0)
        CheckNothingOverlaps(dataRecords_[size_t(index) - 1], "truncate there");
    const int64_t p = dataRecords_[size_t(index)].Position;

    file_->SetSize(p + int64_t(description_.size()));
    file_->Seek(p);
    file_->WriteBuffer(description_.data(), int64_t(description_.size()));
    file_->Flush();

    dataRecords_.resize(size_t(index));
}

TKVB_DataRecord TAppendFile::Record() const
{
    TKVB_DataRecord record;
    record.Name = Name;
    record.Length = static_cast<int32_t>(Bytes.size());
    record.Data = Bytes;
    return record;
}

TAppendFile ReadFileForAppend(const std::string &path)
{
    const std::string shownName = std::filesystem::path(path).filename().string();
    std::optional<std::string> name = Utf8ToCp1252(shownName);
    if (!name)
        throw EKVBError("The file name " + shownName + " cannot be stored in an archive");

    TFileStream input(path, TFileStream::Mode::OpenRead);
    const int64_t size = input.Size();
    if (size > INT32_MAX)
        throw EKVBError("File " + path + " is too large to store in an archive");
    TAppendFile file;
    file.Name = NameToField(*name);
    file.Bytes.resize(size_t(size));
    input.ReadBuffer(file.Bytes.data(), size);
    return file;
}

TDataPositionIndex::TDataPositionIndex(const TRawKVBFile &file)
{
    first_.reserve(size_t(file.DataCount()));
    for (int32_t j = 0; j < file.DataCount(); ++j)
        first_.try_emplace(file.GetDataRecord(j).Position, j);
}

int32_t TDataPositionIndex::Find(int32_t position) const
{
    auto it = first_.find(position);
    return it == first_.end() ? -1 : it->second;
}

std::string LinkedDataText(int32_t recordNumber, const std::string &name)
{
    return std::to_string(recordNumber) + ") " + name;
}

std::string TruncateQuestion(int32_t index, const std::string &name, int32_t dataCount)
{
    return "This will delete item " + std::to_string(index + 1) + " (" + name + ") and all " +
           std::to_string(dataCount - index - 1) +
           " of the items following it from the file. YOU WILL NOT BE " +
           "ABLE TO RESTORE THE DATA AT ALL, IT WILL BE LOST. Continue?";
}

} // namespace kvb
