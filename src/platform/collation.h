// How file names are put in order for the user: the comparison is the platform's (the user's
// locale, case ignored), handed around as a function.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kvb {

// Orders two file names (UTF-8, without folder): negative, zero or positive, like strcmp.
using TNameCompare = std::function<int(const std::string &a, const std::string &b)>;

// Puts a whole list of names in order at once, so that an order can prepare each name once
// rather than at each of the n log n comparisons of a sort. Names it finds equal go in byte
// order, so that a run always gives the same list.
using TNameSort = std::function<void(std::vector<std::string> &names)>;

// The sort of compare.
TNameSort SortByCompare(TNameCompare compare);

// The system's own order where it has one a program can ask for: on Windows CompareStringEx in
// the user's locale, case ignored. On Linux the order comes from Qt (qt/name_compare.h).
TNameCompare SystemNameCompare();

} // namespace kvb
