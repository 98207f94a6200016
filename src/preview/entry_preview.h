// What previewing an archive entry needs below the windows: the rule that picks how an entry is
// previewed, and the private files the preview, exports, drags and edits extract entries into.
#pragma once

#include "archive/catalogue.h"

#include <cstdint>
#include <string>

namespace kvb {

// The text a preview refuses an entry with when it cannot show or play it.
inline constexpr const char *kCannotPreviewText = "Don't know how to preview this file yet...";

// The extension that decides how an entry is previewed: the text from the last dot on, when no
// "\" or ":" follows that dot, with ASCII letters in capitals; otherwise empty.
std::string PreviewExtension(const std::string &caption);

// The path of the preview's latest temporary file; empty until the first preview.
extern std::string PreviewTempFile;
// Deletes the file PreviewTempFile names, unless it is a folder; a failure is not reported.
void DeletePreviewTempFile();

// Extracts entry index of catalogue into the private temporary folder as the file the window
// works on for an export or an import, replacing the one before; returns its path. extension
// (".TEX", ".MID") ends the name.
std::string ExtractToWorkFile(const TKVBFile &catalogue, int32_t index, const std::string &extension);

// Extracts entry index under its own name into a new folder of the private temporary folder,
// for a drag to a file manager; returns the file's path. A name that cannot be a file name is
// refused as extracting every entry refuses it.
std::string ExtractToDragFile(const TKVBFile &catalogue, int32_t index);

// Extracts entry index into a new folder of the private temporary folder as the file another
// program edits, and returns its path: a texture (".TEX") as a PNG picture under its name with
// ".png" added, anything else as it is under its own name. A name that cannot be a file name is
// refused as for a drag.
std::string ExtractForEditing(const TKVBFile &catalogue, int32_t index);

} // namespace kvb
