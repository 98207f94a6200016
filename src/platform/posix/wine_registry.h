// The game's registry value under Wine, whose registry lives in text files of the Wine prefix;
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

} // namespace kvb
