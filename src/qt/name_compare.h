// The order "Create KVB" stores files in: the user's locale, case ignored, through Qt's
// collator, which both faces link.
#pragma once

#include "platform/collation.h"

#include <QLocale>

namespace kvb {

// The order of locale (the user's unless a test gives another). Each name's key is made once and
// the sort compares keys: Qt's collation keys, or in the C locale the case-folded bytes.
TNameSort LocaleNameSort(const QLocale &locale = QLocale());

} // namespace kvb
