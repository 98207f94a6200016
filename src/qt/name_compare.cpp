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

bool IsAscii(const std::string &name)
{
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

char FoldedAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// The name with its case folded, in UTF-8. An ASCII name (the usual one) is folded byte by byte,
// which for ASCII is what the full Unicode folding gives.
std::string FoldedName(const std::string &name)
{
    if (!IsAscii(name))
        return QString::fromStdString(name).toCaseFolded().toStdString();
    std::string folded = name;
    std::transform(folded.begin(), folded.end(), folded.begin(), FoldedAscii);
    return folded;
}

// The first eight bytes of the folded name as one number that orders as the bytes do (missing
// bytes count as zero, below every byte a name holds). An ASCII name is folded on the way.
uint64_t FoldedHead(const std::string &name)
{
    const std::string folded = IsAscii(name) ? std::string() : FoldedName(name);
    const std::string &bytes = folded.empty() ? name : folded;
    uint64_t head = 0;
    for (size_t i = 0; i < 8; ++i)
        head = (head << 8) |
               static_cast<unsigned char>(i < bytes.size() ? FoldedAscii(bytes[i]) : '\0');
    return head;
}

// The C locale's order: the folded names' bytes. The names are sorted by the heads of their
// folded bytes first; only names whose heads are equal are folded whole and compared again.
void SortByFoldedBytes(std::vector<std::string> &names)
{
    struct TKeyed {
        uint64_t head;
        size_t index;
    };
    std::vector<TKeyed> keyed;
    keyed.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i)
        keyed.push_back({FoldedHead(names[i]), i});
    std::sort(keyed.begin(), keyed.end(),
              [](const TKeyed &a, const TKeyed &b) { return a.head < b.head; });
    for (auto run = keyed.begin(); run != keyed.end();) {
        const auto end = std::find_if(run, keyed.end(),
                                      [&](const TKeyed &k) { return k.head != run->head; });
        if (end - run > 1) {
            std::vector<std::pair<std::string, size_t>> tied;
            for (auto k = run; k != end; ++k)
                tied.emplace_back(FoldedName(names[k->index]), k->index);
            std::sort(tied.begin(), tied.end(), [&](const auto &a, const auto &b) {
                const int by = a.first.compare(b.first);
                return by != 0 ? by < 0 : names[a.second] < names[b.second];
            });
            for (auto k = run; k != end; ++k)
                k->index = tied[size_t(k - run)].second;
        }
        run = end;
    }
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
