// Previewing one archive entry: textures are shown, MIDI music is played.
#pragma once

#include "archive/catalogue.h"

#include <cstdint>
#include <functional>
#include <string>

namespace kvb {

class MediaPlayer;

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

// What the window does for a preview.
struct PreviewCallbacks {
    std::function<void(const std::string &text)> notice;
    // Decodes the texture file at path and shows it in the preview window.
    std::function<void(const std::string &path)> showTexture;
};

// Previews entry index of catalogue, shown in the list as caption (UTF-8). A ".TEX" or ".MID"
// entry is extracted under its caption into GetTempDir(), replacing the previous preview's file
// (PreviewTempFile), after the player has let go of it; a texture then goes to showTexture and
// music to the player, which plays it. Any other entry only gets the notice. A caption that is no
// plain file name is refused with EKVBError before anything changes. Other errors end the preview
// where they happen; what was done before stays done.
void PreviewEntry(const TKVBFile &catalogue, int32_t index, const std::string &caption,
                  MediaPlayer &player, const PreviewCallbacks &callbacks);

} // namespace kvb
