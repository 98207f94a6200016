#include "qt/name_compare.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QString>

#include <algorithm>
#include <array>
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
// bytes count as zero, below every byte a name holds). ASCII bytes are folded on the way.
uint64_t FoldedHead(const std::string &name)
{
    const std::string bytes = IsAscii(name) ? name.substr(0, 8) : FoldedName(name);
    uint64_t head = 0;
    for (size_t i = 0; i < 8; ++i)
        head = (head << 8) | static_cast<unsigned char>(i < bytes.size() ? FoldedAscii(bytes[i]) : '\0');
    return head;
}

struct TKeyed {
    uint64_t head;
    size_t index;
};

// Sorts by head, names with equal heads kept in their order: a counting pass per byte of the
// heads, last byte first, skipping the bytes all heads share. For thousands of names that is
// cheaper than comparing them.
void SortByHead(std::vector<TKeyed> &keyed)
{
    if (keyed.empty())
        return;
    std::vector<TKeyed> sorted(keyed.size());
    for (int shift = 0; shift < 64; shift += 8) {
        const auto digit = [shift](const TKeyed &k) { return size_t(k.head >> shift) & 0xFF; };
        std::array<size_t, 257> start{};
        for (const TKeyed &k : keyed)
            ++start[digit(k) + 1];
        if (start[digit(keyed.front()) + 1] == keyed.size())
            continue;
        std::partial_sum(start.begin(), start.end(), start.begin());
        for (const TKeyed &k : keyed)
            sorted[start[digit(k)]++] = k;
        keyed.swap(sorted);
    }
}

// The C locale's order: the folded names' bytes. The names are sorted by the heads of their
// folded bytes first; only names whose heads are equal are folded whole and compared again.
void SortByFoldedBytes(std::vector<std::string> &names)
{
    std::vector<TKeyed> keyed;
    keyed.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i)
        keyed.push_back({FoldedHead(names[i]), i});
    SortByHead(keyed);
    for (auto run = keyed.begin(); run != keyed.end();) {
        const auto end =
            std::find_if(run, keyed.end(), [&](const TKeyed &k) { return k.head != run->head; });
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
