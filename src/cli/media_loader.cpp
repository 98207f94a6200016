// Finding and loading kvb's media module.
#include "cli/media_module.h"

#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/loadable_module.h"
#include "platform/program_folder.h"

#include <filesystem>
#include <vector>

namespace kvb::cli {

namespace {

// Beside kvb in the build tree; in its library folder once installed. Never a relative path,
// which would load code from whatever the current folder holds.
std::vector<std::string> ModuleCandidates()
{
    const std::filesystem::path folder = ExecutableFolder();
    if (folder.empty())
        return {};
    return {(folder / kMediaModuleFile).string(),
            (folder / KVB_MEDIA_MODULE_FROM_BINDIR / kMediaModuleFile).lexically_normal().string()};
}

const TMediaCommands &LoadMediaCommands()
{
    std::vector<std::string> candidates = ModuleCandidates();
    if (candidates.empty())
        throw EKVBError(std::string("Cannot load kvb's media module ") + kMediaModuleFile +
                        ": the folder of kvb is unknown");
    // The installed place is the one to name when neither exists.
    std::string tried = candidates.back();
    std::string reason = "no such file";
    for (const std::string &path : candidates) {
        if (!FileAttributes(path))
            continue;
        tried = path;
        auto entry =
            reinterpret_cast<TMediaModuleEntry>(LoadModuleFunction(path, kMediaModuleEntry, reason));
        if (!entry)
            break;
        return *entry();
    }
    throw EKVBError("Cannot load kvb's media module " + tried + ": " + reason);
}

} // namespace

const TMediaCommands &MediaCommands()
{
    static const TMediaCommands &commands = LoadMediaCommands();
    return commands;
}

} // namespace kvb::cli
