// Copying one entry's data out of an archive into a file of its own.
#pragma once

#include "archive/catalogue.h"
#include "archive/progress.h"
#include "platform/errors.h"
#include "platform/stream.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kvb {

// An entry whose name cannot be a file name in a folder ("..", "a/b", NUL on Windows, ...), so
// that it is not action ("extracted", "previewed"); shownName as the user sees it.
class EUnusableNameError : public EKVBError {
public:
    EUnusableNameError(const std::string &shownName, const std::string &action)
        : EKVBError("Entry \"" + shownName +
                    "\" has a name that cannot be used as a file name; it was not " + action)
    {
    }
};

// Extract-all wrote every entry it could and passed over those whose names cannot be file
// names; the message counts the files written and names the first entries passed over, with
// the reason for each.
class EUnextractedNames : public EKVBError {
public:
    explicit EUnextractedNames(const std::string &message) : EKVBError(message) {}
};

class TOpenFolder;

// Copies the entry's data from source (a stream on the archive, owned by the caller) into a new
// file outputFileName, replacing any file of that name. With Length -1 the length is read from
// the entry's data header first. Afterwards source stands directly after the entry's data.
// A header that cannot be read or a corrupt length fails before the output file is created; data
// running past the end of the archive fails with EReadError and leaves what was copied.
void ExtractEntry(TStream &source, TKVB_Entry entry, const std::string &outputFileName);
// The same into output, a stream of the caller's (standard output, say).
void ExtractEntry(TStream &source, TKVB_Entry entry, TStream &output);
// The same into the file name in folder.
void ExtractEntry(TStream &source, TKVB_Entry entry, const TOpenFolder &folder, const std::string &name);

// An entry's data as a stream of its own, read where it lies in the archive a block at a time:
// for readers that parse an entry (a texture) without copying it out first. Read only.
class TEntryStream : public TStream {
public:
    // archive must outlive the stream; the entry's data is [dataPosition, dataPosition + length),
    // or as much of it as the archive holds.
    TEntryStream(const TFileStream &archive, int64_t dataPosition, int64_t length);
    int64_t Read(void *buffer, int64_t count) override;
    // Raises EWriteError.
    void Write(const void *buffer, int64_t count) override;
    int64_t Size() const override { return length_; }

private:
    const TFileStream &archive_;
    int64_t dataPosition_;
    int64_t length_;
    std::vector<char> block_;
    int64_t blockStart_ = 0; // position in the entry of block_[0]
};

// The length the data header at offset gives; -1 where there is none.
int64_t EntryDataLength(const TFileStream &archive, int32_t offset);

// Why name cannot be a file name inside a folder on any system without leaving the folder or
// naming a drive or a stream: it is empty, "." or "..", or holds "/", "\" or ":"; or nothing.
// The reason is a clause for a message ("it holds \"/\"").
std::optional<std::string> NameFaultAnywhere(const std::string &name);
// The same, and on Windows also the names the system keeps for devices or changes
// (SystemFileNameFault): why an entry of that name cannot be extracted here under it.
std::optional<std::string> UnusableNameReason(const std::string &name);
// True when UnusableNameReason(name) finds nothing.
bool IsSafeEntryName(const std::string &name);
// Raises EUnusableNameError with the printable name when IsSafeEntryName(name) is false.
void CheckSafeEntryName(const std::string &name, const std::string &action);

// Picks the entries an extraction writes; without one, every entry.
using TEntryFilter = std::function<bool(const TKVB_Entry &entry)>;

// Copies every entry of catalogue into folder under its own name (converted to UTF-8), in table
// order, through one read stream on the archive, once the folder shows room for all of it
// (refused otherwise with both figures). An entry whose name cannot be a file name
// (UnusableNameReason) is passed over; once every other entry is written, the run fails with
// EUnextractedNames, which counts the files written and names the entries passed over, each
// with its reason. Any other error stops the run; files written before stay. With wanted, only
// the entries it picks are checked, counted and written. progress hears (files written, files
// to write) after each, the entries passed over not counted.
void ExtractAll(const TKVBFile &catalogue, const std::string &folder, const TProgress &progress = {},
                const TEntryFilter &wanted = {});
// The same for the entries indices (table-of-contents indices) alone, in the order given: an
// entry given twice, or two of one name, write the same file one after the other.
void ExtractEntries(const TKVBFile &catalogue, const std::string &folder,
                    const std::vector<int32_t> &indices, const TProgress &progress = {});

// What an extraction that passed over entries says once it has written every other one:
// "W of N files <verb>; K names cannot be file names: " and the first five of passedOver
// (PassedOverText each), "and M more" after them.
std::string UnextractedText(int32_t written, int32_t wanted, const std::vector<std::string> &passedOver,
                            const std::string &verb);
// One entry passed over, as UnextractedText names it: entry 7 "CON" (reason).
std::string PassedOverText(int32_t index, const std::string &name, const std::string &reason);

} // namespace kvb
