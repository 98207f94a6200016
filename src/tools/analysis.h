// "Analyse KVB": a short structural report on an archive.
//
// The report gives the sizes of the header and of the validation block, how many entries carry
// a different name in their data header, and every place where, in data order, an entry does not
// begin directly after the one before it. The same findings come as figures too, for scripts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvb {

class TKVBFile;

// Shown by the window when no archive is open.
inline const std::string kAnalyseWithoutArchiveMessage = "Open an archive before choosing Analyse!";
inline const std::string kNoFileInformationMessage = "Couldn't retrieve file information!";

// The validation block of the game's own archives; any other size is flagged.
constexpr int64_t kStandardValidationSize = 3602;

// An entry whose data header carries another name than its table-of-contents record.
struct TNameMismatch {
    int32_t Index = 0;    // table-of-contents order, 0-based
    std::string Name;     // the table of contents' name, as stored
    std::string DataName; // the data header's name, as stored
};

// Two entries, consecutive in data order, where the second does not start where the first ends:
// a gap when it starts later, an overlap when earlier.
struct TDataGap {
    int32_t Index = 0, NextIndex = 0;                // table-of-contents order, 0-based
    std::string Name, NextName;                      // as stored
    int64_t End = 0;                                 // where the first entry's data ends
    int64_t NextStart = 0;                           // where the second entry's data header starts
    int64_t Size() const { return NextStart - End; } // negative for an overlap
};

// The report and its figures. A figure the report did not reach is left empty.
struct TArchiveAnalysis {
    std::vector<std::string> Lines; // UTF-8, as the window shows them
    int64_t HeaderSize = 0;         // the 16-byte file header
    int64_t TableSize = 0;          // the table of contents' records
    std::optional<int64_t> ValidationSize;
    std::optional<int64_t> DescriptionSize; // the bytes after the last entry's data
    std::vector<TNameMismatch> NameMismatches;
    std::vector<TDataGap> Gaps; // in data order
};

// Where an archive's validation block lies: from the end of its table of contents to its first
// entry in data order. End lies before Start when that entry's offset points into the table.
struct TValidationBlock {
    int64_t Start = 0;
    int64_t End = 0;
    int64_t Size() const { return End - Start; }
};
// Nothing for an archive without entries: without a first data header the block has no end.
std::optional<TValidationBlock> FindValidationBlock(const TKVBFile &catalogue);

// Looks the catalogue's file up as a listing would see it (raising kNoFileInformationMessage
// when it is gone or hidden), finds every figure, then writes the report from them: a report
// is whole or not made at all. catalogue must have been read with lengths. shownFileName is the
// archive's name without folder. An archive without entries has no validation block to measure
// and says so in the block's line.
TArchiveAnalysis AnalyseArchive(const TKVBFile &catalogue, const std::string &shownFileName);

} // namespace kvb
