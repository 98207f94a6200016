// Reading the table of contents: the one reader behind the catalogue and the in-place editor.
#pragma once

#include "archive/format.h"
#include "platform/errors.h"

#include <string>

#include <cstdint>
#include <functional>

namespace kvb {

class TFileStream;

// The read error for a file that ends before what is being read: "Reading <reading> of <the
// file's name>: the file ends at byte <its size>, but <needer> needs bytes up to <needed>."
EReadError FileEndsEarly(const TFileStream &file, const std::string &reading, const std::string &needer,
                         int64_t needed);

// Reads the file header; a file too short for it raises FileEndsEarly.
TKVB_FileHeader ReadFileHeader(const TFileStream &file);

// Reads the count records that follow the file header, a few thousand per system call, and
// hands each to visit in table order. Nothing is read for a count of zero or below; a file too
// short for count records raises FileEndsEarly, naming the first record it cuts, before
// anything is reserved for them.
void ReadTableOfContents(const TFileStream &file, int32_t count,
                         const std::function<void(const TKVB_TocRecord &record)> &visit);

} // namespace kvb
