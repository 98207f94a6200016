// TRawKVBFile: an archive held open for in-place editing.
//
// It keeps the table of contents as raw records and the data entries as found by walking their
// headers from the end of the validation block. Every edit reaches the file (and is flushed)
// before the call returns; there is no undo and nothing to save. While an edit runs, a record
// beside the archive holds the bytes it overwrites and checksums of those it adds, so that an
// edit cut short by anything, kill -9 and power cuts included, is undone when the archive is
// next opened for editing, and an edit that was reported done stays done.
#pragma once

#include "archive/edit_journal.h"
#include "archive/format.h"
#include "archive/progress.h"
#include "platform/errors.h"
#include "platform/stream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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
    // A walk that finds more than kMaxDataRecords entries is refused, naming where it stood.
    explicit TRawKVBFile(const std::string &path);

    // Real archives hold tens of thousands of entries; a tail of zeros (a sparse file, say)
    // reads as a new empty entry every 24 bytes, and holding those would take gigabytes.
    static constexpr int32_t kMaxDataRecords = 2'000'000;
    virtual ~TRawKVBFile() = default;

    TKVB_TocRecord GetTocRecord(int32_t index) const;
    // Rewrites record index's 27 bytes in the table of contents, then holds the new record.
    void SetTocRecord(int32_t index, const TKVB_TocRecord &record);
    // Points table-of-contents record tocIndex at data record dataIndex (its Offset becomes the
    // data record's Position) and writes it.
    void LinkTocRecord(int32_t tocIndex, int32_t dataIndex);
    TKVB_DataRecord GetDataRecord(int32_t index) const;
    // The index of the data record whose Position is position, or -1.
    int32_t FindDataRecordAt(int32_t position) const;
    // Writes a new entry (header, Data) where the description stood, then the description.
    // A write that fails part way puts the file back as it was before the error propagates.
    // Refused after an entry whose negative length makes the new one overlap its header.
    // Every edit is refused for an archive with more than one name (hard link): the record
    // that puts an interrupted edit right lies beside one name only.
    void AppendData(const TKVB_DataRecord &record);
    // Cuts the file at data entry index's header and writes the description there. Refused
    // when the entry before it has a negative length, as the cut would fall inside its header.
    void TruncateFrom(int32_t index);

    int32_t DataCount() const { return static_cast<int32_t>(dataRecords_.size()); }
    int32_t TocCount() const { return tocCount_; }
    const std::string &Creator() const { return creator_; }
    const std::string &Description() const { return description_; }
    // What opening did about an edit that an earlier editor did not finish; nothing when there
    // was none.
    const std::optional<std::string> &RecoveryNote() const { return recoveryNote_; }

private:
    // One data header as held: a few bytes per entry, however many entries the walk finds.
    struct THeldData {
        TNameField Name{};
        int32_t Length = 0;
        int32_t Position = 0;
    };

    void CheckIndex(int32_t index, size_t count) const;
    EKVBError TooManyDataRecords(int64_t position, int64_t sameSince) const;
    // Records the edit beside the archive, runs writes and flushes them, then drops the record.
    void RunEdit(const TEditRecord &record, const std::function<void()> &writes);
    // The record for an edit that makes writes (in file order) and leaves the file sizeAfter
    // bytes long.
    TEditRecord RecordFor(TEditRecord::Kind kind, int64_t sizeAfter,
                          const std::vector<TEditWrite> &writes) const;

    std::string path_;
    std::vector<THeldData> dataRecords_;
    std::vector<TKVB_TocRecord> tocRecords_;
    int32_t tocCount_ = 0;
    std::string creator_;
    std::string description_;
    std::unique_ptr<TFileStream> file_;
    std::unique_ptr<TEditJournal> journal_;
    std::optional<std::string> recoveryNote_;
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
// progress hears (MiB read, MiB in all) as the file is read, and may raise to stop the read.
// Without followLinks a link standing at path is refused, never followed.
TAppendFile ReadFileForAppend(const std::string &path, const TProgress &progress = {},
                              bool followLinks = true);

// "j) name" for data record index j - 1 (j is the 1-based record number); name as stored.
std::string LinkedDataText(int32_t recordNumber, const std::string &name);

// The question asked before TruncateFrom(index), as shown (UTF-8); name is the record's name
// as stored.
std::string TruncateQuestion(int32_t index, const std::string &name, int32_t dataCount);

} // namespace kvb
