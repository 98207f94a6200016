#include "platform/game_folder.h"

namespace kvb {

std::string GameDataFolder(const std::string &appPath)
{
    if (!appPath.empty() && appPath.back() != '/' && appPath.back() != '\\')
        return appPath + "/data";
    return appPath + "data";
}

} // namespace kvb
