#include "qt/name_compare.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <numeric>

namespace kvb {

namespace {

QCollator LocaleCollator()
{
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace

TNameSort LocaleNameSort()
{
    return [](std::vector<std::string> &names) {
        const QCollator collator = LocaleCollator();
        std::vector<QCollatorSortKey> keys;
        keys.reserve(names.size());
        for (const std::string &name : names)
            // Folded first: in the C locale Qt's keys, unlike its comparison, keep case apart.
            keys.push_back(collator.sortKey(QString::fromStdString(name).toCaseFolded()));
        std::vector<size_t> order(names.size());
        std::iota(order.begin(), order.end(), size_t(0));
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            const int by = keys[a].compare(keys[b]);
            return by != 0 ? by < 0 : names[a] < names[b];
        });
        std::vector<std::string> sorted;
        sorted.reserve(names.size());
        for (size_t i : order)
            sorted.push_back(std::move(names[i]));
        names = std::move(sorted);
    };
}

} // namespace kvb
