// TKVBFile: the read-only catalogue of one archive, built in memory by its constructor.
#pragma once

#include "archive/progress.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvb {

// One catalogue entry, a plain value.
struct TKVB_Entry {
    std::string Name;          // from the table-of-contents record, at most 20 bytes
    int32_t Offset = 0;        // position of the entry's data header
    int32_t Length = -1;       // data bytes after the header; -1 while not read
    bool NameMismatch = false; // data-header name differs from Name (ASCII case ignored)
};

// Called once per record and pass while a catalogue is read: (position, maximum).
using TProgressHook = void (*)(int32_t position, int32_t maximum);
// Program-wide; empty unless set. A catalogue given a progress of its own reports there instead.
extern TProgressHook ProgressHook;

class TKVBFile {
public:
    // Reads the header and the table of contents; with fullRead also every data header (lengths
    // and name checks) and the description. Raises EFOpenError or EReadError, and refuses an
    // archive whose in-place edit was cut short; the file is closed on every path.
    // Progress goes to progress, or when it is empty to ProgressHook, once per record and pass.
    TKVBFile(const std::string &fileName, bool fullRead, const TProgress &progress = {});
    virtual ~TKVBFile() = default;

    // Copies; an index outside 0..EntryCount()-1 raises EListError.
    TKVB_Entry GetEntry(int32_t index) const;       // table-of-contents order
    TKVB_Entry GetSortedEntry(int32_t index) const; // data order
    // The table-of-contents index of the entry at index in data order.
    int32_t GetSortedIndex(int32_t index) const;

    const std::string &FileName() const { return fileName_; }
    int32_t Count() const { return count_; } // as read, also when zero or negative
    int32_t EntryCount() const { return static_cast<int32_t>(entries_.size()); }
    const std::string &Creator() const { return creator_; }
    const std::string &Description() const { return description_; }
    // What the reader found beside the archive and ignored (an edit record that is not this
    // archive's), for the user; nothing as a rule.
    const std::optional<std::string> &Note() const { return note_; }

private:
    void ReadDataHeaders(class TFileStream &file, int32_t greatestOffset, int32_t maximum,
                         const TProgress &report);

    int32_t count_ = 0;
    std::vector<TKVB_Entry> entries_;
    // Indices into entries_, ascending by Offset; equal offsets in reverse table order.
    std::vector<int32_t> sortedEntries_;
    std::string fileName_;
    std::string creator_;
    std::string description_;
    std::optional<std::string> note_;
};

} // namespace kvb
