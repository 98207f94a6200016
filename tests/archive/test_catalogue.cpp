#include "archive/catalogue.h"
#include "platform/errors.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace kvb;
using namespace kvb::test;

namespace {

std::vector<std::pair<int32_t, int32_t>> calls;
void Record(int32_t position, int32_t maximum)
{
    calls.emplace_back(position, maximum);
}

struct HookGuard {
    HookGuard()
    {
        calls.clear();
        ProgressHook = Record;
    }
    ~HookGuard() { ProgressHook = nullptr; }
};

std::string WriteArchive(const TempDir &dir, const std::string &bytes)
{
    std::string path = dir / "a.kvb";
    WriteFile(path, bytes);
    return path;
}

} // namespace

TEST(Catalogue, ReadsTheTwoEntryLayout)
{
    TempDir dir;
    std::string path = WriteArchive(dir, TwoEntryArchive());
    TKVBFile cat(path, true);
    EXPECT_EQ(cat.Count(), 2);
    EXPECT_EQ(cat.FileName(), path);
    EXPECT_EQ(cat.Creator(), "SQUARESOFT");
    EXPECT_EQ(cat.Description(), "FINAL FANTASY7");
    TKVB_Entry a = cat.GetEntry(0), b = cat.GetEntry(1);
    EXPECT_EQ(a.Name, "FIRST.BIN");
    EXPECT_EQ(a.Offset, 3672);
    EXPECT_EQ(a.Length, 100);
    EXPECT_EQ(b.Name, "SECOND.BIN");
    EXPECT_EQ(b.Offset, 3796);
    EXPECT_EQ(b.Length, 50);
    EXPECT_FALSE(a.NameMismatch || b.NameMismatch);
}

TEST(Catalogue, WithoutFullReadLengthsAreUnknownAndDescriptionEmpty)
{
    TempDir dir;
    TKVBFile cat(WriteArchive(dir, TwoEntryArchive()), false);
    EXPECT_EQ(cat.GetEntry(0).Length, -1);
    EXPECT_EQ(cat.GetEntry(1).Length, -1);
    EXPECT_EQ(cat.Description(), "");
    EXPECT_EQ(cat.Creator(), "SQUARESOFT");
}

TEST(Catalogue, SortedOrderPutsEqualOffsetsInReverseTableOrder)
{
    TempDir dir;
    std::string bytes = ArchiveBuilder().Add("A", "").Add("B", "").Add("C", "").Add("D", "").Build();
    PatchTocOffset(bytes, 0, 300);
    PatchTocOffset(bytes, 1, 100);
    PatchTocOffset(bytes, 2, 200);
    PatchTocOffset(bytes, 3, 100);
    TKVBFile cat(WriteArchive(dir, bytes), false);
    std::vector<int32_t> order;
    for (int32_t i = 0; i < 4; ++i)
        order.push_back(cat.GetSortedIndex(i));
    EXPECT_EQ(order, (std::vector<int32_t>{3, 1, 2, 0}));
    EXPECT_EQ(cat.GetSortedEntry(0).Name, "D");
}

TEST(Catalogue, ProgressCountsOneCallPerRecordAndPass)
{
    TempDir dir;
    std::string path =
        WriteArchive(dir, ArchiveBuilder().Add("A", "1").Add("B", "2").Add("C", "3").Build());
    {
        HookGuard guard;
        TKVBFile cat(path, false);
        EXPECT_EQ(calls, (std::vector<std::pair<int32_t, int32_t>>{{1, 3}, {2, 3}, {3, 3}}));
    }
    {
        HookGuard guard;
        TKVBFile cat(path, true);
        EXPECT_EQ(calls, (std::vector<std::pair<int32_t, int32_t>>{
                             {1, 6}, {2, 6}, {3, 6}, {4, 6}, {5, 6}, {6, 6}}));
    }
}

TEST(Catalogue, ZeroAndNegativeCountsGiveAnEmptyCatalogue)
{
    TempDir dir;
    // The most negative count once overflowed while the progress maximum was doubled.
    for (int32_t count : {0, -5, INT32_MIN}) {
        std::string bytes = TwoEntryArchive();
        PatchCount(bytes, count);
        HookGuard guard;
        TKVBFile cat(WriteArchive(dir, bytes), true);
        EXPECT_EQ(cat.Count(), count);
        EXPECT_EQ(cat.EntryCount(), 0);
        EXPECT_EQ(cat.Description(), "");
        EXPECT_EQ(cat.Creator(), "SQUARESOFT");
        EXPECT_TRUE(calls.empty());
        EXPECT_THROW(cat.GetEntry(0), EListError);
        EXPECT_THROW(cat.GetSortedEntry(0), EListError);
    }
}

TEST(Catalogue, ShortFilesAndHugeCountsFailWithTheReadError)
{
    TempDir dir;
    EXPECT_THROW(TKVBFile(WriteArchive(dir, std::string(15, 'x')), false), EReadError);

    std::string bytes = TwoEntryArchive();
    PatchCount(bytes, 3000); // more records than the file holds
    EXPECT_THROW(TKVBFile(WriteArchive(dir, bytes), false), EReadError);

    PatchCount(bytes, INT32_MAX);
    EXPECT_THROW(TKVBFile(WriteArchive(dir, bytes.substr(0, 100)), false), EReadError);
}

TEST(Catalogue, MissingFileFailsWithTheOpenErrorNamingIt)
{
    try {
        TKVBFile cat("/nonexistent/x.kvb", false);
        FAIL();
    } catch (const EFOpenError &e) {
        // The system's reason follows, in the system's words.
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file /nonexistent/x.kvb: ", 0), 0u)
            << e.what();
    }
}

TEST(Catalogue, FullReadOfAnOffsetOutsideTheFileFails)
{
    TempDir dir;
    for (int32_t offset : {3880, 100000, -1}) {
        std::string bytes = TwoEntryArchive();
        PatchTocOffset(bytes, 0, offset);
        std::string path = WriteArchive(dir, bytes);
        EXPECT_THROW(TKVBFile(path, true), EReadError) << offset;
        EXPECT_NO_THROW(TKVBFile(path, false)) << offset;
    }
}

TEST(Catalogue, NameMismatchIgnoresAsciiCaseOnly)
{
    TempDir dir;
    std::string bytes = ArchiveBuilder()
                            .AddMismatched("field.bin", "FIELD.BIN", "x")
                            .AddMismatched("FIELD.BIN", "FIELD.BIM", "y")
                            .AddMismatched("ABCDEFGHIJKLMNOPQRST", "abcdefghijklmnopqrst", "z")
                            .Build();
    TKVBFile cat(WriteArchive(dir, bytes), true);
    EXPECT_FALSE(cat.GetEntry(0).NameMismatch);
    EXPECT_TRUE(cat.GetEntry(1).NameMismatch);
    EXPECT_FALSE(cat.GetEntry(2).NameMismatch);
    EXPECT_EQ(cat.GetEntry(2).Name.size(), 20u);
}

TEST(Catalogue, DescriptionIsReadOnceWhenTwoRecordsShareTheLastEntry)
{
    TempDir dir;
    std::string bytes = ArchiveBuilder().Add("A", "aa").Add("B", "bbb").AddAlias("B2", 1).Build();
    TKVBFile cat(WriteArchive(dir, bytes), true);
    EXPECT_EQ(cat.Description(), "FINAL FANTASY7");
    EXPECT_EQ(cat.GetEntry(2).Offset, cat.GetEntry(1).Offset);
    EXPECT_EQ(cat.GetEntry(2).Length, 3);
    EXPECT_TRUE(cat.GetEntry(2).NameMismatch);
}

TEST(Catalogue, UnlinkedLastEntryIsTakenIntoTheDescription)
{
    TempDir dir;
    std::string bytes = ArchiveBuilder().Add("A", "aa").AddUnlinked("NEW.TEX", "xyz").Build();
    TKVBFile cat(WriteArchive(dir, bytes), true);
    std::string expected = std::string("NEW.TEX") + std::string(13, '\0') +
                           std::string("\x03\x00\x00\x00", 4) + "xyz" + "FINAL FANTASY7";
    EXPECT_EQ(cat.Description(), expected);
}

TEST(Catalogue, DescriptionAtTheEndOfTheFileIsEmpty)
{
    TempDir dir;
    TKVBFile cat(WriteArchive(dir, ArchiveBuilder().Description("").Add("A", "a").Build()), true);
    EXPECT_EQ(cat.Description(), "");
}

TEST(Catalogue, ManyEntriesInFallingOrderSortAscending)
{
    TempDir dir;
    ArchiveBuilder b;
    const int n = 5000;
    for (int i = 0; i < n; ++i)
        b.Add('E' + std::to_string(i), std::string(size_t(i % 7), 'x'));
    std::string bytes = b.Build();
    // Reverse the table so that offsets fall in table order.
    for (int i = 0; i < n; ++i)
        PatchTocOffset(bytes, i, b.OffsetOf(size_t(n - 1 - i)));
    TKVBFile cat(WriteArchive(dir, bytes), true);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(cat.GetSortedIndex(i), n - 1 - i);
        ASSERT_EQ(cat.GetEntry(i).Length, (n - 1 - i) % 7);
    }
    EXPECT_EQ(cat.Description(), "FINAL FANTASY7");
}
