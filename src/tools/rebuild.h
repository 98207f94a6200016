// Rebuilding an archive with the data of some of its entries replaced: the modder's way to put
// a changed file back ("Replace with file...", kvb replace); and, for mods, with entries
// appended or the last ones taken out.
//
// Everything but the replaced entries' data is kept byte for byte: the header's Creator field
// and Count, every table-of-contents record's name bytes and reserved fields in their order, the
// validation block, every data header's own name bytes, the order of the data, records that
// share one data entry (they go on sharing it), and the description. Only the lengths of the
// replaced entries and the offsets after them change. Entries appended or taken out change the
// Count, the records at the end of the table and the data entries before the description, and
// come with the validation block for the new count.
#pragma once

#include "archive/format.h"
#include "archive/progress.h"

#include <cstdint>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kvb {

class TFileStream;

// The data of the entry that table-of-contents record TocIndex (0-based) points at, replaced by
// the content of the file FileName; or by Data, made from that file (a texture encoded from a
// picture), which is then opened only so that no output can be it.
struct TReplacement {
    TReplacement(int32_t tocIndex, std::string fileName)
        : TocIndex(tocIndex),
          FileName(std::move(fileName))
    {
    }
    TReplacement(int32_t tocIndex, std::string fileName, std::optional<std::string> data)
        : TocIndex(tocIndex),
          FileName(std::move(fileName)),
          Data(std::move(data))
    {
    }
    // Data of length bytes that load gives when it is written (read from a package then, so that
    // one entry's data is held at a time); no file is opened.
    TReplacement(int32_t tocIndex, int64_t length, std::function<std::string()> load)
        : TocIndex(tocIndex),
          Length(length),
          Load(std::move(load))
    {
    }
    int32_t TocIndex = 0;
    std::string FileName;
    std::optional<std::string> Data;
    int64_t Length = 0;
    std::function<std::string()> Load;
};

// An entry a rebuild appends after the last one, its record at the end of the table; its data
// header carries the record's name.
struct TAppendedEntry {
    TNameField Name{};
    uint8_t Reserved1 = kNewArchiveReserved1;
    uint16_t Reserved2 = kNewArchiveReserved2;
    int64_t Length = 0;
    std::function<std::string()> Load; // gives the Length bytes of data when they are written
};

// Everything one rebuild changes.
struct TRebuild {
    std::vector<TReplacement> Replacements;
    // The last records of the table taken out, with their data: which must be the last data
    // entries of the file, reached by no other record.
    int32_t DropLast = 0;
    std::vector<TAppendedEntry> Appended;
    // The validation block that takes the place of the archive's; needed when the count changes.
    std::optional<std::string> Validation;
    // Further files the work reads, which a named output may not be.
    std::vector<const TFileStream *> Sources;

    bool Empty() const
    {
        return Replacements.empty() && DropLast == 0 && Appended.empty() && !Validation;
    }
};

// One data entry that a rebuild changes.
struct TReplacedEntry {
    int32_t TocIndex = 0;
    std::string Name; // the record's name, as stored
    int64_t OldLength = 0;
    int64_t NewLength = 0;
};

// What ReplaceEntries would change, in the order of replacements, without writing anything.
// Refuses an archive whose data does not follow on without gaps or overlaps with every data
// entry reached by a record (pointing at the analysis report), two replacements of one data
// entry, a record number outside the table, and files too large for the archive's fields.
std::vector<TReplacedEntry> PlanReplacement(const std::string &archive,
                                            const std::vector<TReplacement> &replacements);

// Writes the rebuilt archive to output, or with output empty in the archive's own place: the new
// archive is written beside it and takes its place only when complete and flushed. Editors are
// kept out of the archive from its first read until the new one is in place (refused with
// "Cannot open file %s" while one holds it), so that no edit made meanwhile is lost. A named
// output may be neither the archive nor a file put in. Raises what PlanReplacement raises, and
// the stream errors of the files. The record of an interrupted edit beside the file that is
// replaced (the archive, or an archive at output) is settled first, as an editor opening it
// would; one beside the archive read from, when the output is another file, is settled as far
// as a reader may. What was done about either goes to note, one line each, when one is given.
// progress hears (KiB written, KiB in all).
std::vector<TReplacedEntry> ReplaceEntries(const std::string &archive,
                                           const std::vector<TReplacement> &replacements,
                                           const std::string &output, const TProgress &progress = {},
                                           std::optional<std::string> *note = nullptr);

// Chooses the replacements from the archive as the rebuild holds it: locked, with any
// interrupted edit settled, before anything else of it is read (kvb update compares it with
// what an export recorded). It may raise to refuse, and nothing is written.
using TReplacementChoice = std::function<std::vector<TReplacement>(const TFileStream &archive)>;

// Hears the new archive's header and table of contents once all of it is written, before it
// takes its place (kvb update records it beside its export first); it may raise to refuse.
using TBeforeCommit = std::function<void(const std::string &headerAndTable)>;

// ReplaceEntries with the replacements that choose gives. When it gives none and the archive
// is rebuilt in its own place, nothing is written at all.
std::vector<TReplacedEntry> ReplaceEntries(const std::string &archive, const TReplacementChoice &choose,
                                           const std::string &output, const TProgress &progress = {},
                                           std::optional<std::string> *note = nullptr,
                                           const TBeforeCommit &beforeCommit = {});

// The same for every change of a TRebuild, chosen from the archive as the rebuild holds it.
// Besides what PlanReplacement refuses, it refuses to take out records whose data is not at the
// end or is shared with a record that stays, to replace data it takes out, to leave no record,
// and a change of the count without a validation block. Data that load gives with another length
// than planned raises, and nothing takes the archive's place.
using TRebuildChoice = std::function<TRebuild(const TFileStream &archive)>;
std::vector<TReplacedEntry> RebuildArchive(const std::string &archive, const TRebuildChoice &choose,
                                           const std::string &output, const TProgress &progress = {},
                                           std::optional<std::string> *note = nullptr,
                                           const TBeforeCommit &beforeCommit = {});

// What RebuildArchive would change in file (the archive, opened and checked by the caller),
// refusing what it refuses, without writing anything.
std::vector<TReplacedEntry> PlanRebuild(const TFileStream &file, const std::string &archive,
                                        const TRebuild &changes);

} // namespace kvb
