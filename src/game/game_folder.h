// Finding the game's install folder, which the game's installer records as "AppPath", and
// entering its data folder at start-up so that the dialogs open there.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kvb {

// The key of HKEY_LOCAL_MACHINE the game's installer writes, and where 64-bit Windows keeps the
// keys of 32-bit programs.
inline const std::string kGameRegistryKey = "Software\\Square Soft, Inc.\\Final Fantasy VII";
inline const std::string kGameRegistryKey32 =
    "Software\\Wow6432Node\\Square Soft, Inc.\\Final Fantasy VII";

// The game's "AppPath" as a path on this machine; nothing when the game's key or the value is
// missing. On Windows it comes from the registry (its 32-bit view first, then the 64-bit one);
// on Linux from the registry file of the Wine prefix (see game/wine_registry.h).
std::optional<std::string> FindGameAppPath();

// The same search, saying where it looked: every registry file read, in order, and the one the
// value came from.
struct TGameFolderSearch {
    std::optional<std::string> AppPath;
    std::string FoundIn;
    std::vector<std::string> Searched;
};
TGameFolderSearch SearchGameAppPath();

// The game's data folder: "data" inside appPath, with a separator put between them when
// appPath lacks one.
std::string GameDataFolder(const std::string &appPath);

// Makes folder the process's current folder; raises EKVBError naming it and the reason.
void EnterGameDataFolder(const std::string &folder);

} // namespace kvb
