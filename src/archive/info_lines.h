// The information lines both windows (and the command-line tool) show for an archive.
// Returned as UTF-8; archive texts end at their first NUL, as a list box shows them.
#pragma once

#include <string>
#include <vector>

namespace kvb {

class TKVBFile;
class TRawKVBFile;

// Archive text as shown: cut at its first NUL, converted from Windows-1252, control bytes as
// \xHH (PrintableName).
std::string ShownText(const std::string &bytes);

// File:, # of files in archive:, Creator:, Description:. shownFileName is the archive's
// file name without its folder.
std::vector<std::string> CatalogueInfoLines(const TKVBFile &catalogue, const std::string &shownFileName);

// File:, Creator:, Description:, and the two counts of RawCountLines.
std::vector<std::string> RawInfoLines(const TRawKVBFile &file, const std::string &shownFileName);
// "File has N active files." and "File has N data files in it."
std::vector<std::string> RawCountLines(const TRawKVBFile &file);

} // namespace kvb
