// How file names are put in order for the user: the comparison is the platform's (the user's
// locale, case ignored), handed around as a function.
#pragma once

#include <functional>
#include <string>

namespace kvb {

// Orders two file names (UTF-8, without folder): negative, zero or positive, like strcmp.
using TNameCompare = std::function<int(const std::string &a, const std::string &b)>;

// The system's own order where it has one a program can ask for: on Windows CompareStringEx in
// the user's locale, case ignored. On Linux the order comes from Qt (qt/name_compare.h).
TNameCompare SystemNameCompare();

} // namespace kvb
