#include "archive/raw_archive.h"

#include "archive/table_of_contents.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/signals.h"

#include <algorithm>
#include <string>

namespace kvb {

namespace {

// The walk reads ahead this much at a time, so that small entries cost no extra system call.
constexpr int64_t kWalkWindow = 4096;

// A negative length (the walk lets -23 to -1 pass) makes the next entry start inside this
// entry's header, so writing there would overwrite a header the lists still hold.
void CheckNothingOverlaps(int32_t position, int32_t length, const char *edit)
{
    if (length < 0)
        throw EKVBError(std::string("Cannot ") + edit + ": the data entry at position " +
                        std::to_string(position) + " has the invalid length " +
                        std::to_string(length) + ", so its header would be overwritten");
}

} // namespace

TRawKVBFile::TRawKVBFile(const std::string &path)
    : file_(std::make_unique<TFileStream>(path, TFileStream::Mode::OpenReadWrite)),
      journal_(std::make_unique<TEditJournal>(path, *file_))
{
    TFileStream &file = *file_;
    // An edit cut short is undone or finished before anything is read.
    TreatFileSizeLimitAsWriteError();
    recoveryNote_ = journal_->Recover(file);

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
        dataRecords_.push_back(
            THeldData{dataHeader.Name, dataHeader.Length, static_cast<int32_t>(position)});
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

void TRawKVBFile::RunEdit(const TEditRepair &repair, const std::function<void()> &writes)
{
    // A request to stop waits for the edit's end; kill -9 and power cuts are the record's work.
    TStopRequestsDeferred deferred;
    journal_->Begin(repair);
    try {
        writes();
        file_->Flush();
    } catch (const EKVBError &) {
        // A write that fails part way (a full disk) is undone at once; the first error is the
        // one to report, whatever the repair meets. An edit that can only be finished, and a
        // repair that fails, leave the record for the next open.
        if (repair.effect == TEditRepair::Effect::Undo) {
            try {
                repair.ApplyTo(*file_);
                journal_->End();
            } catch (const EKVBError &) {
            }
        }
        throw;
    }
    journal_->End();
}

void TRawKVBFile::SetTocRecord(int32_t index, const TKVB_TocRecord &record)
{
    CheckIndex(index, tocRecords_.size());
    const int64_t position = TocRecordPosition(index);
    std::string before(kTocRecordSize, '\0');
    EncodeTocRecord(tocRecords_[size_t(index)], before.data());
    char bytes[kTocRecordSize];
    EncodeTocRecord(record, bytes);

    RunEdit({TEditRepair::Effect::Undo, "link", -1, {{position, before}}},
            [&] { file_->WriteAt(position, bytes, kTocRecordSize); });
    tocRecords_[size_t(index)] = record;
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
    const THeldData &held = dataRecords_[size_t(index)];
    TKVB_DataRecord record;
    record.Name = held.Name;
    record.Length = held.Length;
    record.Position = held.Position;
    return record;
}

int32_t TRawKVBFile::FindDataRecordAt(int32_t position) const
{
    // The walk only moves forward and appends go after the last entry: positions ascend.
    auto it = std::lower_bound(dataRecords_.begin(), dataRecords_.end(), position,
                               [](const THeldData &d, int32_t p) { return d.Position < p; });
    if (it == dataRecords_.end() || it->Position != position)
        return -1;
    return static_cast<int32_t>(it - dataRecords_.begin());
}

void TRawKVBFile::AppendData(const TKVB_DataRecord &record)
{
    if (dataRecords_.empty())
        throw EListError(-1);
    const THeldData &last = dataRecords_.back();
    CheckNothingOverlaps(last.Position, last.Length, "append");
    const int64_t position = EntryEnd(last.Position, last.Length);
    if (record.Length < 0 || size_t(record.Length) != record.Data.size())
        throw EKVBError("The data to append does not match its length");
    // Offsets are signed 32-bit: the new entry must be addressable by a table record.
    if (position < 0 || position > INT32_MAX)
        throw EKVBError("The archive is too large to append to (an entry would start at " +
                        std::to_string(position) + ")");

    char headerBytes[kDataHeaderSize];
    EncodeDataHeader(TKVB_DataHeader{record.Name, record.Length}, headerBytes);
    // Undone by cutting the file back and putting the description where it stood.
    const int64_t sizeBefore = file_->Size();
    TEditRepair undo{TEditRepair::Effect::Undo, "append", sizeBefore, {}};
    if (position < sizeBefore)
        undo.writes.emplace_back(position, description_);
    RunEdit(undo, [&] {
        file_->WriteAt(position, headerBytes, kDataHeaderSize);
        file_->WriteAt(DataPosition(position), record.Data.data(), record.Length);
        file_->WriteAt(EntryEnd(position, record.Length), description_.data(),
                       int64_t(description_.size()));
    });

    dataRecords_.push_back(THeldData{record.Name, record.Length, static_cast<int32_t>(position)});
}

void TRawKVBFile::TruncateFrom(int32_t index)
{
    CheckIndex(index, dataRecords_.size());
    if (index > 0) {
        const THeldData &before = dataRecords_[size_t(index) - 1];
        CheckNothingOverlaps(before.Position, before.Length, "truncate there");
    }
    const int64_t p = dataRecords_[size_t(index)].Position;
    const int64_t size = p + int64_t(description_.size());

    // What is cut off cannot be kept, so an interrupted truncation is finished, not undone.
    RunEdit({TEditRepair::Effect::Finish, "truncate", size, {{p, description_}}}, [&] {
        file_->SetSize(size);
        file_->WriteAt(p, description_.data(), int64_t(description_.size()));
    });

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
    const std::string shownName = FileNameOf(path);
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

std::string LinkedDataText(int32_t recordNumber, const std::string &name)
{
    return std::to_string(recordNumber) + ") " + name;
}

std::string TruncateQuestion(int32_t index, const std::string &name, int32_t dataCount)
{
    return "This will delete item " + std::to_string(index + 1) + " (" + PrintableName(name) + ") and all " +
           std::to_string(dataCount - index - 1) +
           " of the items following it from the file. YOU WILL NOT BE " +
           "ABLE TO RESTORE THE DATA AT ALL, IT WILL BE LOST. Continue?";
}

} // namespace kvb
