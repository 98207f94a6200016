#include "platform/program_folder.h"

#include <filesystem>

namespace kvb {

std::string ExecutableFolder()
{
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return exe.parent_path().string();
}

} // namespace kvb
