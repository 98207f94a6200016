#include "game/game_folder.h"

#include "platform/errors.h"
#include "platform/folders.h"
#ifdef _WIN32
#include "platform/registry.h"
#else
#include "game/wine_registry.h"
#endif

namespace kvb {

std::optional<std::string> FindGameAppPath()
{
    return SearchGameAppPath().AppPath;
}

#ifdef _WIN32
// The installer of a 32-bit game writes to the 32-bit view; a 64-bit one to the other.
TGameFolderSearch SearchGameAppPath()
{
    TGameFolderSearch search;
    const std::string key = "HKEY_LOCAL_MACHINE\\" + kGameRegistryKey;
    for (auto [view, name] : {std::pair{TRegistryView::Bits32, " (32-bit view)"},
                              std::pair{TRegistryView::Bits64, " (64-bit view)"}}) {
        search.Searched.push_back(key + name);
        if ((search.AppPath = ReadMachineRegistryText(kGameRegistryKey, "AppPath", view))) {
            search.FoundIn = search.Searched.back();
            break;
        }
    }
    return search;
}
#else
// Wine keeps the registry in text files of its prefix; the search goes through every prefix
// the game may have been installed in.
TGameFolderSearch SearchGameAppPath()
{
    TGameFolderSearch search;
    for (const std::string &prefix : GamePrefixCandidates()) {
        search.Searched.push_back(prefix + "/system.reg");
        if ((search.AppPath = ReadWineAppPath(prefix))) {
            search.FoundIn = search.Searched.back();
            break;
        }
    }
    return search;
}
#endif

std::string GameDataFolder(const std::string &appPath)
{
    if (!appPath.empty() && appPath.back() != '/' && appPath.back() != '\\')
        return appPath + "/data";
    return appPath + "data";
}

void EnterGameDataFolder(const std::string &folder)
{
    if (const std::optional<std::string> why = ChangeCurrentFolder(folder))
        throw EKVBError("Cannot change to the game's data folder " + folder + ": " + *why);
}

} // namespace kvb
