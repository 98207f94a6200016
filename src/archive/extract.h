// Copying one entry's data out of an archive into a file of its own.
#pragma once

#include "archive/catalogue.h"

#include <string>

namespace kvb {

class TStream;

// Copies the entry's data from source (a stream on the archive, owned by the caller) into a new
// file outputFileName, replacing any file of that name. With Length -1 the length is read from
// the entry's data header first. Afterwards source stands directly after the entry's data.
// A header that cannot be read or a corrupt length fails before the output file is created; data
// running past the end of the archive fails with EReadError and leaves what was copied.
void ExtractEntry(TStream &source, TKVB_Entry entry, const std::string &outputFileName);

// True when name can be used as a file name inside a folder without leaving it: not empty, not
// "." or "..", and without "/", "\" or ":".
bool IsSafeEntryName(const std::string &name);
// Raises EKVBError naming the entry when IsSafeEntryName(name) is false.
void CheckSafeEntryName(const std::string &name);

} // namespace kvb
