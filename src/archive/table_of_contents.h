// Reading the table of contents: the one reader behind the catalogue and the in-place editor.
#pragma once

#include "archive/format.h"

#include <cstdint>
#include <functional>

namespace kvb {

class TFileStream;

// Reads the count records that follow the file header, a few thousand per system call, and
// hands each to visit in table order. Nothing is read for a count of zero or below; a file too
// short for count records raises EReadError before anything is reserved for them.
void ReadTableOfContents(const TFileStream &file, int32_t count,
                         const std::function<void(const TKVB_TocRecord &record)> &visit);

} // namespace kvb
