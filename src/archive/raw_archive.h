// TRawKVBFile: an archive held open for in-place editing.
//
// It keeps the table of contents as raw records and the data entries as found by walking their
// headers from the end of the validation block. Every edit reaches the file (and is flushed)
// before the call returns; there is no undo and nothing to save.
#pragma once

#include "archive/format.h"
#include "platform/stream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kvb {

struct TKVB_DataRecord {
    TNameField Name{};
    int32_t Length = 0;
    int32_t Position = 0;
    // Input of AppendData only: the Length bytes written after the header. Never held.
    std::string_view Data;
};

class TRawKVBFile {
public:
    // Opens the archive for reading and writing (EFOpenError when it cannot be opened for
    // writing or another editor holds it) and reads header, table of contents and data walk.
    explicit TRawKVBFile(const std::string &path);
    virtual ~TRawKVBFile() = default;

    TKVB_TocRecord GetTocRecord(int32_t index) const;
    // Replaces record index and rewrites its 27 bytes at 16 + 27 * index.
    void SetTocRecord(int32_t index, const TKVB_TocRecord &record);
    // Points table-of-contents record tocIndex at data record dataIndex (its Offset becomes the
    // data record's Position) and writes it.
    void LinkTocRecord(int32_t tocIndex, int32_t dataIndex);
    TKVB_DataRecord GetDataRecord(int32_t index) const;
    // Writes a new entry (header, Data) where the description stood, then the description.
    // A write that fails part way puts the file back as it was before the error propagates.
    // Refused after an entry whose negative length makes the new one overlap its header.
    void AppendData(const TKVB_DataRecord &record);
    // Cuts the file at data entry index's header and writes the description there. Refused
    // when the entry before it has a negative length, as the cut would fall inside its header.
    void TruncateFrom(int32_t index);

    int32_t DataCount() const { return static_cast<int32_t>(dataRecords_.size()); }
    int32_t TocCount() const { return tocCount_; }
    const std::string &Creator() const { return creator_; }
    const std::string &Description() const { return description_; }

private:
    void CheckIndex(int32_t index, size_t count) const;

    std::vector<TKVB_DataRecord> dataRecords_;
    std::vector<TKVB_TocRecord> tocRecords_;
    int32_t tocCount_ = 0;
    std::string creator_;
    std::string description_;
    std::unique_ptr<TFileStream> file_;
};

// A file read whole for AppendData: the name it is stored under (its file name without folder,
// in Windows-1252, cut to 20 bytes) and its bytes.
struct TAppendFile {
    TNameField Name{};
    std::string Bytes;
    // The record to hand to AppendData; it refers to Bytes.
    TKVB_DataRecord Record() const;
};
// Raises EFOpenError when the file cannot be read, and EKVBError for a name Windows-1252 cannot
// hold or a file too large for the archive's 32-bit lengths; the archive is not touched then.
TAppendFile ReadFileForAppend(const std::string &path);

// Finds the first data record at a given position, for showing which data entry a
// table-of-contents record points at. Built once over the records, then looked up per record.
class TDataPositionIndex {
public:
    explicit TDataPositionIndex(const TRawKVBFile &file);
    // The index of the first data record whose Position is position, or -1.
    int32_t Find(int32_t position) const;

private:
    std::unordered_map<int32_t, int32_t> first_;
};

// "j) name" for data record index j - 1 (j is the 1-based record number); name as stored.
std::string LinkedDataText(int32_t recordNumber, const std::string &name);

// The question asked before TruncateFrom(index); name is the record's name as stored.
std::string TruncateQuestion(int32_t index, const std::string &name, int32_t dataCount);

} // namespace kvb
