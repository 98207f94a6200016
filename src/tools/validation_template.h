// Template files: the validation block of an archive, kept as "KVB.<count>" so that "Create KVB"
// can give a new archive of that many entries the block the game expects.
#pragma once

#include <cstdint>
#include <string>

namespace kvb {

class TKVBFile;

// "KVB." followed by count in decimal.
std::string TemplateFileName(int32_t count);

// Copies the validation block of the catalogue's archive (FindValidationBlock) into
// folder/KVB.<Count>, replacing any file there, and returns that file's path. Raises EKVBError
// naming the archive when it has no entries (the block's end is unknown) or its first entry
// lies inside its table of contents.
std::string WriteValidationTemplate(const TKVBFile &catalogue, const std::string &folder);

} // namespace kvb
