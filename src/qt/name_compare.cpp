#include "qt/name_compare.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace kvb {

namespace {

// Puts names in the given order of their indices.
void Reorder(std::vector<std::string> &names, const std::vector<size_t> &order)
{
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (size_t i : order)
        sorted.push_back(std::move(names[i]));
    names = std::move(sorted);
}

// The name with its case folded, in UTF-8. An ASCII name (the usual one) is folded byte by byte,
// which for ASCII is what the full Unicode folding gives.
std::string FoldedName(const std::string &name)
{
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        return QString::fromStdString(name).toCaseFolded().toStdString();
    std::string folded = name;
    for (char &c : folded)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return folded;
}

// The first eight bytes of a key as one number that orders as the bytes do (missing bytes
// count as zero, below every byte a name holds).
uint64_t KeyHead(const std::string &key)
{
    uint64_t head = 0;
    for (size_t i = 0; i < 8; ++i)
        head = (head << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    return head;
}

// The C locale's order: the folded names' bytes. The heads of the keys settle most comparisons
// without reaching the strings.
void SortByFoldedBytes(std::vector<std::string> &names)
{
    struct TKeyed {
        uint64_t head;
        size_t index;
    };
    std::vector<std::string> keys;
    keys.reserve(names.size());
    std::vector<TKeyed> keyed;
    keyed.reserve(names.size());
    for (const std::string &name : names) {
        keys.push_back(FoldedName(name));
        keyed.push_back({KeyHead(keys.back()), keyed.size()});
    }
    std::sort(keyed.begin(), keyed.end(), [&](const TKeyed &a, const TKeyed &b) {
        if (a.head != b.head)
            return a.head < b.head;
        const int by = keys[a.index].compare(keys[b.index]);
        return by != 0 ? by < 0 : names[a.index] < names[b.index];
    });
    std::vector<size_t> order;
    order.reserve(keyed.size());
    for (const TKeyed &k : keyed)
        order.push_back(k.index);
    Reorder(names, order);
}

// A language's order, by Qt's collation keys.
void SortByCollator(std::vector<std::string> &names, const QLocale &locale)
{
    QCollator collator{locale};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(names.size());
    for (const std::string &name : names)
        keys.push_back(collator.sortKey(QString::fromStdString(name).toCaseFolded()));
    std::vector<size_t> order(names.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int by = keys[a].compare(keys[b]);
        return by != 0 ? by < 0 : names[a] < names[b];
    });
    Reorder(names, order);
}

} // namespace

TNameSort LocaleNameSort(const QLocale &locale)
{
    // Names are folded before their keys are made: in the C locale Qt's keys, unlike its
    // comparison, keep case apart. That locale has no language's order, and Qt's keys there are
    // the folded names' UTF-8 bytes: the same bytes as our own keys give the same order without
    // a call into Qt per comparison.
    if (locale.language() == QLocale::C)
        return SortByFoldedBytes;
    return [locale](std::vector<std::string> &names) { SortByCollator(names, locale); };
}

} // namespace kvb
