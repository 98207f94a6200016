#include "qt/name_compare.h"

#include <QCollator>
#include <QLocale>
#include <QString>

#include <memory>

namespace kvb {

TNameCompare LocaleNameCompare()
{
    auto collator = std::make_shared<QCollator>(QLocale());
    collator->setCaseSensitivity(Qt::CaseInsensitive);
    return [collator](const std::string &a, const std::string &b) {
        return collator->compare(QString::fromStdString(a), QString::fromStdString(b));
    };
}

} // namespace kvb
