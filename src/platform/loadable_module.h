// Loading a shared library at run time, for parts of a program that only some commands need.
#pragma once

#include <string>

namespace kvb {

// Loads the library at path for the rest of the process and returns the address of its
// function symbol; nullptr when either fails, with the system's reason in whyNot.
void *LoadModuleFunction(const std::string &path, const char *symbol, std::string &whyNot);

} // namespace kvb
