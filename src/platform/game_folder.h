// Finding the game's install folder, which the game's installer records as "AppPath".
//
// On Linux the game runs under Wine, whose registry lives in text files of the Wine prefix;
// the Windows path stored there is reached through the prefix's dosdevices links.
#pragma once

#include <optional>
#include <string>

namespace kvb {

// The Wine prefix to look in: $WINEPREFIX, or ~/.wine.
std::string DefaultWinePrefix();

// The game's "AppPath" from the prefix's system.reg (also under Wow6432Node), translated to a
// path on this machine. Nothing when the prefix, the key or the value is missing.
std::optional<std::string> ReadWineAppPath(const std::string &winePrefix);

// Translates a Windows path such as C:\Games\FF7\ through <prefix>/dosdevices.
std::string TranslateWinePath(const std::string &winePrefix, const std::string &windowsPath);

// The game's data folder: "data" inside appPath, with a separator put between them when
// appPath lacks one.
std::string GameDataFolder(const std::string &appPath);

} // namespace kvb
