// "Analyse KVB": a short structural report on an archive.
//
// The report gives the sizes of the header and of the validation block, how many entries carry
// a different name in their data header, and every place where, in data order, an entry does not
// begin directly after the one before it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvb {

class TKVBFile;

// Shown by the window when no archive is open.
inline const std::string kAnalyseWithoutArchiveMessage = "Open an archive before choosing Analyse!";
inline const std::string kNoFileInformationMessage = "Couldn't retrieve file information!";

// The validation block of the game's own archives; any other size is flagged.
constexpr int64_t kStandardValidationSize = 3602;

// Looks the catalogue's file up as a listing would see it (raising kNoFileInformationMessage
// when it is gone or hidden), then appends the report lines (UTF-8) to lines, one by one.
// catalogue must have been read with lengths. shownFileName is the archive's name without folder.
//
// An archive without entries has no first data entry: after line 6 the catalogue's EListError
// is raised, and lines then holds lines 1 to 6.
void AnalyseArchive(const TKVBFile &catalogue, const std::string &shownFileName,
                    std::vector<std::string> &lines);

} // namespace kvb
