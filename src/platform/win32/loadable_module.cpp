#include "platform/loadable_module.h"

#include "platform/win32/wide.h"

namespace kvb {

void *LoadModuleFunction(const std::string &path, const char *symbol, std::string &whyNot)
{
    // Never unloaded: what it offers is used until the process ends. Its own dependencies are
    // looked for beside it, not in the current folder.
    HMODULE module = ::LoadLibraryExW(win32::Wide(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) {
        whyNot = win32::SystemMessage(::GetLastError());
        return nullptr;
    }
    void *function = reinterpret_cast<void *>(::GetProcAddress(module, symbol));
    if (!function)
        whyNot = std::string(symbol) + " is missing";
    return function;
}

} // namespace kvb
