#include "platform/loadable_module.h"

#include <dlfcn.h>

namespace kvb {

void *LoadModuleFunction(const std::string &path, const char *symbol, std::string &whyNot)
{
    // Never unloaded: what it offers is used until the process ends.
    void *module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        whyNot = ::dlerror();
        return nullptr;
    }
    void *function = ::dlsym(module, symbol);
    if (!function)
        whyNot = std::string(symbol) + " is missing";
    return function;
}

} // namespace kvb
