// Where the running program lives; data files shipped with it are looked up there.
#pragma once

#include <string>

namespace kvb {

// The folder of the running executable; empty when the system does not tell.
std::string ExecutableFolder();

} // namespace kvb
