// The order "Create KVB" stores files in: the user's locale, case ignored.
#pragma once

#include "tools/creation.h"

namespace kvb {

TNameCompare LocaleNameCompare();

} // namespace kvb
