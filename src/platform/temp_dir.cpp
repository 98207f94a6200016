#include "platform/temp_dir.h"

#include "platform/paths.h"

#include <filesystem>
#include <system_error>

namespace kvb {

void RemoveTempSubfolder(const std::string &folder)
{
    const std::string base = GetTempDir();
    if (folder.size() <= base.size() || folder.compare(0, base.size(), base) != 0 ||
        folder.find("..", base.size()) != std::string::npos)
        return;
    std::error_code ec;
    std::filesystem::remove_all(PathFromUtf8(folder), ec);
}

} // namespace kvb
