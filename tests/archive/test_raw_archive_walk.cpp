// The data walk's lookup of an entry by its position, before and after an append and a truncate.
#include "archive/format.h"
#include "archive/raw_archive.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace kvb;
using namespace kvb::test;

TEST(RawArchiveWalk, FindDataRecordAtFindsEveryEntryAndNothingBetween)
{
    ArchiveBuilder builder;
    constexpr int kEntries = 40;
    for (int i = 0; i < kEntries; ++i)
        builder.Add("E" + std::to_string(i), PatternBytes(size_t(i * 37 % 120), unsigned(i)));
    const std::string bytes = builder.Build();
    TempDir dir;
    const std::string path = dir / "a.kvb";
    WriteFile(path, bytes);
    TRawKVBFile f(path);
    ASSERT_EQ(f.DataCount(), kEntries);

    auto expectIndexes = [&](const std::map<int32_t, int32_t> &at, int32_t end) {
        int mismatches = 0;
        for (int32_t p = 0; p <= end && mismatches < 5; ++p) {
            auto it = at.find(p);
            const int32_t expected = it == at.end() ? -1 : it->second;
            if (f.FindDataRecordAt(p) != expected) {
                ++mismatches;
                ADD_FAILURE() << "position " << p << ": " << f.FindDataRecordAt(p) << " instead of "
                              << expected;
            }
        }
    };
    std::map<int32_t, int32_t> at;
    for (int i = 0; i < kEntries; ++i) {
        EXPECT_EQ(f.GetDataRecord(i).Position, builder.OffsetOf(size_t(i)));
        at[builder.OffsetOf(size_t(i))] = i;
    }
    expectIndexes(at, int32_t(bytes.size()) + 100);

    const int32_t appendedAt = int32_t(bytes.size() - kNewArchiveDescription.size());
    f.AppendData(DataRecordOf("APPENDED", "xyz"));
    at[appendedAt] = kEntries;
    expectIndexes(at, appendedAt + 100);

    f.TruncateFrom(20);
    for (int i = 20; i <= kEntries; ++i)
        at.erase(builder.OffsetOf(size_t(i)));
    at.erase(appendedAt);
    expectIndexes(at, appendedAt + 100);
}
