#include "archive/raw_archive.h"

#include "archive/table_of_contents.h"
#include "archive/text.h"
#include "platform/errors.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "platform/signals.h"

#include <algorithm>
#include <optional>
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
                        std::to_string(position) + " has the invalid length " + std::to_string(length) +
                        ", so its header would be overwritten");
}

} // namespace

TRawKVBFile::TRawKVBFile(const std::string &path)
    : path_(path),
      file_(std::make_unique<TFileStream>(path, TFileStream::Mode::OpenReadWrite)),
      journal_(std::make_unique<TEditJournal>(path))
{
    TFileStream &file = *file_;
    // An edit cut short is undone before anything is read.
    TreatFileSizeLimitAsWriteError();
    recoveryNote_ = journal_->Settle(file, true);

    // Header.
    const TKVB_FileHeader header = ReadFileHeader(file);
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
    int64_t sameSince = position; // where the headers started to repeat the last one
    while (fileSize - position > kDataHeaderSize) {
        if (position < windowStart || position + kDataHeaderSize > windowStart + int64_t(window.size())) {
            windowStart = position;
            window.resize(size_t(std::min(kWalkWindow, fileSize - position)));
            if (file.ReadAt(windowStart, window.data(), int64_t(window.size())) != int64_t(window.size()))
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
        if (!dataRecords_.empty() && (dataRecords_.back().Name != dataHeader.Name ||
                                      dataRecords_.back().Length != dataHeader.Length))
            sameSince = position;
        if (int64_t(dataRecords_.size()) >= kMaxDataRecords)
            throw TooManyDataRecords(position, sameSince);
        dataRecords_.push_back(
            THeldData{dataHeader.Name, dataHeader.Length, static_cast<int32_t>(position)});
        position = EntryEnd(position, dataHeader.Length);
    }

    // Description: whatever follows the walk.
    if (position < fileSize) {
        description_.resize(size_t(fileSize - position));
        if (file.ReadAt(position, description_.data(), fileSize - position) != fileSize - position)
            throw EReadError();
    }
}

EKVBError TRawKVBFile::TooManyDataRecords(int64_t position, int64_t sameSince) const
{
    std::string why;
    // A run of one header repeated 24 bytes apart is what zeros (or any other filler) read as.
    if (position - sameSince > int64_t(kDataHeaderSize) * 1000)
        why = "; from position " + std::to_string(sameSince) +
              " on it reads the same empty data header every 24 bytes, which looks like damage "
              "(a run of zeros, say): the archive's real data may end there";
    return EKVBError("Cannot open " + path_ + " for editing: its data walk finds more than " +
                     std::to_string(kMaxDataRecords) + " data entries by position " +
                     std::to_string(position) + why);
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

TEditRecord TRawKVBFile::RecordFor(TEditRecord::Kind kind, int64_t sizeAfter,
                                   const std::vector<TEditWrite> &writes) const
{
    return TEditRecord::For(kind, *file_, TocEnd(std::max(tocCount_, 0)), sizeAfter, writes);
}

void TRawKVBFile::RunEdit(const TEditRecord &record, const std::function<void()> &writes)
{
    if (const int64_t names = file_->LinkCount(); names > 1)
        throw EKVBError("Cannot " + record.EditName() + " in " + path_ + ": the archive has " +
                        std::to_string(names) +
                        " names (hard links), and the record that puts "
                        "an interrupted edit right would be found through this one only. Edit a "
                        "copy of it instead");
    // A request to stop waits for the edit's end; kill -9 and power cuts are the record's work.
    TStopRequestsDeferred deferred;
    journal_->Begin(*file_, record);
    try {
        writes();
        file_->Flush();
        // The record's removal commits the edit: until it is gone, the edit is not done.
        journal_->End();
    } catch (const EKVBError &) {
        // A write that fails part way (a full disk) is undone at once where that is possible;
        // otherwise the record stays for the next opening, and readers refuse the archive.
        journal_->RepairNow(*file_);
        throw;
    }
}

void TRawKVBFile::SetTocRecord(int32_t index, const TKVB_TocRecord &record)
{
    CheckIndex(index, tocRecords_.size());
    const int64_t position = TocRecordPosition(index);
    std::string after(kTocRecordSize, '\0');
    EncodeTocRecord(record, after.data());

    RunEdit(RecordFor(TEditRecord::Kind::Link, file_->Size(), {{position, after}}),
            [&] { file_->WriteAt(position, after.data(), kTocRecordSize); });
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

    std::string header(kDataHeaderSize, '\0');
    EncodeDataHeader(TKVB_DataHeader{record.Name, record.Length}, header.data());
    const int64_t end = EntryEnd(position, record.Length);
    const int64_t sizeAfter = end + int64_t(description_.size());
    // The header goes over the old description, then the data and the description follow
    // front to back, so that the file only ever grows by bytes the record knows. The data goes
    // in pieces that end on the record's block boundaries: wherever the edit is stopped, the
    // file ends where a block ends.
    const std::vector<TEditWrite> writes = {{position, header},
                                            {DataPosition(position), record.Data},
                                            {end, description_}};
    RunEdit(RecordFor(TEditRecord::Kind::Append, sizeAfter, writes), [&] {
        file_->WriteAt(position, header.data(), kDataHeaderSize);
        constexpr int64_t kPiece = 256 * TEditRecord::kBlock;
        for (int64_t at = DataPosition(position); at < end;) {
            const int64_t pieceEnd = std::min(end, (at / kPiece + 1) * kPiece);
            file_->WriteAt(at, record.Data.data() + (at - DataPosition(position)), pieceEnd - at);
            at = pieceEnd;
        }
        file_->WriteAt(end, description_.data(), int64_t(description_.size()));
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

    // The description goes over the entry's header first and is on disk before the file is
    // cut: until the cut an interrupted truncation is undone, and the cut completes it.
    RunEdit(RecordFor(TEditRecord::Kind::Truncate, size, {{p, description_}}), [&] {
        file_->WriteAt(p, description_.data(), int64_t(description_.size()));
        file_->Flush();
        file_->SetSize(size);
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

TAppendFile ReadFileForAppend(const std::string &path, const TProgress &progress, bool followLinks)
{
    const std::string shownName = FileNameOf(path);
    std::optional<std::string> name = Utf8ToCp1252(shownName);
    if (!name)
        throw EKVBError("The file name " + shownName + " cannot be stored in an archive");

    // Without links the file is opened in its folder by its name, which no link stands in for.
    std::optional<TOpenFolder> folder;
    std::optional<TFileStream> opened;
    if (followLinks) {
        opened.emplace(path, TFileStream::Mode::OpenRead);
    } else {
        folder.emplace(ParentFolderOf(AbsolutePathOf(path)));
        opened.emplace(*folder, shownName, false);
    }
    TFileStream &input = *opened;
    const int64_t size = input.Size();
    if (size > INT32_MAX)
        throw EKVBError("File " + path + " is too large to store in an archive");
    TAppendFile file;
    file.Name = NameToField(*name);
    file.Bytes.resize(size_t(size));
    constexpr int64_t kPiece = int64_t(16) << 20;
    for (int64_t done = 0; done < size;) {
        const int64_t piece = std::min(kPiece, size - done);
        input.ReadBuffer(file.Bytes.data() + done, piece);
        done += piece;
        if (progress)
            progress(int32_t(done >> 20), int32_t(size >> 20));
    }
    return file;
}

std::string LinkedDataText(int32_t recordNumber, const std::string &name)
{
    return std::to_string(recordNumber) + ") " + name;
}

std::string TruncateQuestion(int32_t index, const std::string &name, int32_t dataCount)
{
    return "This will delete item " + std::to_string(index + 1) + " (" + PrintableName(name) +
           ") and all " + std::to_string(dataCount - index - 1) +
           " of the items following it from the file. YOU WILL NOT BE " +
           "ABLE TO RESTORE THE DATA AT ALL, IT WILL BE LOST. Continue?";
}

} // namespace kvb
