#include "qt/name_compare.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <QString>

#include <memory>
#include <unordered_map>

namespace kvb {

namespace {

// Sorting n names compares each about log n times; its collation key is made once, and each
// comparison then only compares two keys.
class TKeyedCollator {
public:
    TKeyedCollator() : collator_(QLocale()) { collator_.setCaseSensitivity(Qt::CaseInsensitive); }

    int Compare(const std::string &a, const std::string &b)
    {
        return Key(a).compare(Key(b));
    }

private:
    const QCollatorSortKey &Key(const std::string &name)
    {
        auto it = keys_.find(name);
        if (it == keys_.end())
            it = keys_.emplace(name, collator_.sortKey(QString::fromStdString(name))).first;
        return it->second;
    }

    QCollator collator_;
    std::unordered_map<std::string, QCollatorSortKey> keys_;
};

} // namespace

TNameCompare LocaleNameCompare()
{
    auto collator = std::make_shared<TKeyedCollator>();
    return [collator](const std::string &a, const std::string &b) {
        return collator->Compare(a, b);
    };
}

} // namespace kvb
