// The game's registry value under Wine, whose registry lives in text files of the Wine prefix;
// the Windows path stored there is reached through the prefix's dosdevices links.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kvb {

// The Wine prefix to look in first: $WINEPREFIX, or ~/.wine.
std::string DefaultWinePrefix();

// The Steam library folders of a user whose home is home: the native and the Flatpak Steam
// installs, and every "path" their steamapps/libraryfolders.vdf lists, each once. A list that is
// no plain file (a pipe, a device) is passed over; only its first MiB is read.
std::vector<std::string> SteamLibraryFolders(const std::string &home);

// The Proton prefixes (<library>/steamapps/compatdata/<id>/pfx) of those libraries, sorted
// within each library so that the search does not depend on the order of the folder.
std::vector<std::string> ProtonPrefixes(const std::string &home);

// Every prefix the start-up looks in, in order: DefaultWinePrefix(), then the Proton prefixes.
std::vector<std::string> GamePrefixCandidates();

// The game's "AppPath" from the prefix's system.reg (also under Wow6432Node), translated to a
// path on this machine. Nothing when the prefix, the key or the value is missing, when
// system.reg is no plain file (a pipe, a device), and when the value lies past its first 64 MiB;
// lines over 64 KiB are passed over.
std::optional<std::string> ReadWineAppPath(const std::string &winePrefix);

// Translates a Windows path such as C:\Games\FF7\ through <prefix>/dosdevices.
std::string TranslateWinePath(const std::string &winePrefix, const std::string &windowsPath);

} // namespace kvb
