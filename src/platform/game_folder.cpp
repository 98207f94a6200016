#include "platform/game_folder.h"

namespace kvb {

std::optional<std::string> FindGameAppPath()
{
    return SearchGameAppPath().AppPath;
}

std::string GameDataFolder(const std::string &appPath)
{
    if (!appPath.empty() && appPath.back() != '/' && appPath.back() != '\\')
        return appPath + "/data";
    return appPath + "data";
}

} // namespace kvb
