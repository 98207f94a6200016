// Names nobody can guess or plant in advance, for the temporary files and folders the program
// makes beside its targets and in the temporary folder.
#pragma once

#include <cstddef>
#include <string>

namespace kvb {

// length lower-case letters and digits, from the system's random source. Lower case only, so
// that two names never differ in case alone on a system that ignores case.
std::string RandomName(size_t length);

} // namespace kvb
