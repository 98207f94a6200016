#include "logic/listed_entries.h"

#include "archive/text.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <numeric>

namespace kvb::logic {

void TListedEntries::Reset(const TKVBFile &catalogue)
{
    upperNames_.clear();
    offsets_.clear();
    lengths_.clear();
    for (std::vector<int32_t> &order : orders_)
        order.clear();
    const int32_t count = catalogue.EntryCount();
    upperNames_.reserve(size_t(count));
    offsets_.reserve(size_t(count));
    lengths_.reserve(size_t(count));
    for (int32_t index = 0; index < count; ++index) {
        const TKVB_Entry entry = catalogue.GetEntry(index);
        upperNames_.push_back(AsciiUpper(entry.Name));
        offsets_.push_back(entry.Offset);
        lengths_.push_back(entry.Length);
    }
    List();
}

void TListedEntries::Clear()
{
    upperNames_.clear();
    offsets_.clear();
    lengths_.clear();
    for (std::vector<int32_t> &order : orders_)
        order.clear();
    key_ = TSortKey::Record;
    descending_ = false;
    filtered_ = false;
    upperPart_.clear();
    listed_.clear();
    positions_.clear();
}

void TListedEntries::SortBy(TSortKey key)
{
    descending_ = key == key_ && !descending_;
    key_ = key;
    List();
}

void TListedEntries::SetFilter(const std::string &part)
{
    filtered_ = !part.empty();
    upperPart_ = AsciiUpper(part);
    List();
}

int TListedEntries::RecordAt(int position) const
{
    return position < 0 || position >= Size() ? -1 : listed_[size_t(position)];
}

int TListedEntries::PositionOf(int record) const
{
    return record < 0 || record >= int(positions_.size()) ? -1 : positions_[size_t(record)];
}

const std::vector<int32_t> &TListedEntries::Order()
{
    std::vector<int32_t> &order = orders_[size_t(key_)];
    if (!order.empty() || upperNames_.empty())
        return order;
    order.resize(upperNames_.size());
    std::iota(order.begin(), order.end(), 0);
    auto by = [&order](const auto &less) { std::stable_sort(order.begin(), order.end(), less); };
    switch (key_) {
    case TSortKey::Record: break;
    case TSortKey::Name:
        // Byte by byte as unsigned, so that letters beyond ASCII come after them.
        by([this](int32_t a, int32_t b) {
            const std::string &x = upperNames_[size_t(a)], &y = upperNames_[size_t(b)];
            return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(),
                                                [](char c, char d) { return uint8_t(c) < uint8_t(d); });
        });
        break;
    case TSortKey::Position:
        by([this](int32_t a, int32_t b) { return offsets_[size_t(a)] < offsets_[size_t(b)]; });
        break;
    case TSortKey::Length:
        by([this](int32_t a, int32_t b) { return lengths_[size_t(a)] < lengths_[size_t(b)]; });
        break;
    }
    return order;
}

void TListedEntries::List()
{
    const std::vector<int32_t> &order = Order();
    listed_.clear();
    positions_.assign(upperNames_.size(), -1);
    auto take = [this](int32_t record) {
        if (filtered_ && upperNames_[size_t(record)].find(upperPart_) == std::string::npos)
            return;
        positions_[size_t(record)] = int32_t(listed_.size());
        listed_.push_back(record);
    };
    // Descending is the ascending order read backwards, equal keys in reverse table order.
    if (descending_)
        std::for_each(order.rbegin(), order.rend(), take);
    else
        std::for_each(order.begin(), order.end(), take);
}

std::string HumanSize(int64_t bytes)
{
    if (bytes < 0)
        return {};
    if (bytes < 1024)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static const char *const units[] = {"KiB", "MiB", "GiB"};
    double value = double(bytes) / 1024;
    size_t unit = 0;
    // 1023.96 KiB would read 1024.0 KiB: it is 1.0 MiB.
    while (value >= 1023.95 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::string GroupedNumber(int64_t number)
{
    const std::string digits = std::to_string(number < 0 ? -number : number);
    std::string text = number < 0 ? "-" : "";
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text.push_back(',');
        text.push_back(digits[i]);
    }
    return text;
}

} // namespace kvb::logic
