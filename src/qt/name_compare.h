// The order "Create KVB" stores files in: the user's locale, case ignored, through Qt's
// collator, which both faces link.
#pragma once

#include "platform/collation.h"

#include <QLocale>

namespace kvb {

// Each name's collation key is made once, and the sort compares keys.
TNameSort LocaleNameSort(const QLocale &locale = QLocale());

} // namespace kvb
