#include "archive/catalogue.h"
#include "archive/checksum.h"
#include "platform/errors.h"
#include "support/archive_builder.h"
#include "tools/diff.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kvb;
using namespace kvb::test;

namespace {

// Four entries of distinct data, as the comparisons below vary them.
ArchiveBuilder Base()
{
    ArchiveBuilder b;
    b.Validation(StandardValidation()).Description("FINAL FANTASY7");
    b.Add("A.TEX", PatternBytes(100, 1))
        .Add("B.BIN", PatternBytes(50, 2))
        .Add("C.MID", PatternBytes(70, 3))
        .Add("D.BIN", PatternBytes(0, 4));
    return b;
}

TArchiveDiff Diff(const ArchiveBuilder &a, const ArchiveBuilder &b)
{
    TempDir dir;
    WriteFile(dir / "a.kvb", a.Build());
    WriteFile(dir / "b.kvb", b.Build());
    return DiffArchives(dir / "a.kvb", dir / "b.kvb");
}

std::string Refusal(const std::string &bytes)
{
    TempDir dir;
    WriteFile(dir / "good.kvb", Base().Build());
    WriteFile(dir / "bad.kvb", bytes);
    try {
        DiffArchives(dir / "good.kvb", dir / "bad.kvb");
    } catch (const EKVBError &e) {
        return e.what();
    }
    return "no error";
}

TEST(Diff, EqualArchivesAndReorderedOnesHoldTheSameEntries)
{
    EXPECT_TRUE(Diff(Base(), Base()).Same());

    ArchiveBuilder reordered;
    reordered.Validation(StandardValidation()).Description("FINAL FANTASY7");
    reordered.Add("D.BIN", PatternBytes(0, 4))
        .Add("C.MID", PatternBytes(70, 3))
        .Add("A.TEX", PatternBytes(100, 1))
        .Add("B.BIN", PatternBytes(50, 2));
    const TArchiveDiff diff = Diff(Base(), reordered);
    EXPECT_TRUE(diff.Same());
    EXPECT_EQ(diff.Matched, 4);
    EXPECT_FALSE(diff.SameFile);
}

TEST(Diff, GrownShrunkAndRenamedEntriesAreOnlyInOne)
{
    ArchiveBuilder grown = Base();
    grown.Add("E.TEX", PatternBytes(30, 5));
    TArchiveDiff diff = Diff(Base(), grown);
    ASSERT_EQ(diff.OnlyInB.size(), 1u);
    EXPECT_EQ(diff.OnlyInB[0].Index, 4);
    EXPECT_EQ(diff.OnlyInB[0].Name, "E.TEX");
    EXPECT_EQ(diff.OnlyInB[0].Length, 30);
    EXPECT_TRUE(diff.OnlyInA.empty());
    EXPECT_TRUE(diff.HeaderDiffers());
    EXPECT_FALSE(diff.Same());

    diff = Diff(grown, Base());
    ASSERT_EQ(diff.OnlyInA.size(), 1u);
    EXPECT_EQ(diff.OnlyInA[0].Name, "E.TEX");
    EXPECT_TRUE(diff.OnlyInB.empty());

    ArchiveBuilder renamed;
    renamed.Validation(StandardValidation()).Description("FINAL FANTASY7");
    renamed.Add("A.TEX", PatternBytes(100, 1))
        .Add("b.bin", PatternBytes(50, 2))
        .Add("C.MID", PatternBytes(70, 3))
        .Add("D.BIN", PatternBytes(0, 4));
    diff = Diff(Base(), renamed);
    ASSERT_EQ(diff.OnlyInA.size(), 1u);
    ASSERT_EQ(diff.OnlyInB.size(), 1u);
    EXPECT_EQ(diff.OnlyInA[0].Name, "B.BIN"); // names are told apart by their bytes
    EXPECT_EQ(diff.OnlyInB[0].Name, "b.bin");
    EXPECT_EQ(diff.Matched, 3);
    EXPECT_FALSE(diff.HeaderDiffers());
}

TEST(Diff, ChangedDataIsSummedOnlyWhereTheLengthsAgree)
{
    std::string changed = PatternBytes(100, 1);
    changed[99] ^= 1;
    ArchiveBuilder b;
    b.Validation(StandardValidation()).Description("FINAL FANTASY7");
    b.Add("A.TEX", changed)
        .Add("B.BIN", PatternBytes(51, 2))
        .Add("C.MID", PatternBytes(70, 3))
        .Add("D.BIN", PatternBytes(0, 4));
    const TArchiveDiff diff = Diff(Base(), b);
    ASSERT_EQ(diff.Changed.size(), 2u);
    EXPECT_EQ(diff.Changed[0].Name, "A.TEX");
    EXPECT_EQ(diff.Changed[0].ChecksumA, Checksum64(PatternBytes(100, 1)));
    EXPECT_EQ(diff.Changed[0].ChecksumB, Checksum64(changed));
    EXPECT_EQ(diff.Changed[1].Name, "B.BIN");
    EXPECT_EQ(diff.Changed[1].LengthA, 50);
    EXPECT_EQ(diff.Changed[1].LengthB, 51);
    EXPECT_FALSE(diff.Changed[1].ChecksumA);
    EXPECT_FALSE(diff.Changed[1].ChecksumB);
    EXPECT_FALSE(diff.HeaderDiffers());
    EXPECT_FALSE(diff.ValidationDiffers());
    EXPECT_FALSE(diff.DescriptionDiffers());
}

TEST(Diff, ANameOfSeveralRecordsIsMatchedByItsPlaceAmongThem)
{
    ArchiveBuilder a;
    a.Add("DUP", "one").Add("X", "x").Add("DUP", "two");
    ArchiveBuilder b;
    b.Add("X", "x").Add("DUP", "one").Add("Y", "y").Add("DUP", "TWO").Add("DUP", "three");
    const TArchiveDiff diff = Diff(a, b);
    ASSERT_EQ(diff.Changed.size(), 1u);
    EXPECT_EQ(diff.Changed[0].IndexA, 2);
    EXPECT_EQ(diff.Changed[0].IndexB, 3);
    EXPECT_TRUE(diff.Changed[0].ByNumber);
    ASSERT_EQ(diff.OnlyInB.size(), 2u);
    EXPECT_EQ(diff.OnlyInB[0].Name, "Y");
    EXPECT_EQ(diff.OnlyInB[1].Index, 4); // the third DUP has no partner
    EXPECT_EQ(diff.Matched, 3);
}

TEST(Diff, SharedDataComparesLikeCopiesOfIt)
{
    ArchiveBuilder shared;
    shared.Add("A", "same").Add("B", "other").AddAlias("C", 0);
    ArchiveBuilder copied;
    copied.Add("A", "same").Add("B", "other").Add("C", "same");
    EXPECT_TRUE(Diff(shared, copied).Same());
    copied = ArchiveBuilder();
    copied.Add("A", "same").Add("B", "other").Add("C", "sane");
    const TArchiveDiff diff = Diff(shared, copied);
    ASSERT_EQ(diff.Changed.size(), 1u);
    EXPECT_EQ(diff.Changed[0].Name, "C");
}

TEST(Diff, HeaderValidationBlockAndDescriptionAreCompared)
{
    ArchiveBuilder b = Base();
    TCreatorField creator{};
    creator[11] = 'X';
    b.CreatorField(creator).Validation(StandardValidation() + "!").Description("FINAL FANTASY8");
    const TArchiveDiff diff = Diff(Base(), b);
    EXPECT_TRUE(diff.OnlyInA.empty() && diff.OnlyInB.empty() && diff.Changed.empty());
    EXPECT_EQ(diff.CreatorA, "SQUARESOFT");
    EXPECT_EQ(diff.CreatorB, "X");
    EXPECT_TRUE(diff.HeaderDiffers());
    EXPECT_EQ(diff.ValidationA.Size, 3602);
    EXPECT_EQ(diff.ValidationB.Size, 3603);
    EXPECT_EQ(diff.ValidationA.Checksum, Checksum64(StandardValidation()));
    EXPECT_EQ(diff.DescriptionB, "FINAL FANTASY8");
    EXPECT_TRUE(diff.DescriptionDiffers());

    // Without entries, everything after the table counts as the validation block.
    ArchiveBuilder empty, emptier;
    empty.Validation("abc");
    emptier.Validation("abd");
    EXPECT_TRUE(Diff(empty, emptier).ValidationDiffers());
    EXPECT_TRUE(Diff(empty, empty).Same());
}

TEST(Diff, OneFileUnderTwoNamesIsTheSame)
{
    TempDir dir;
    WriteFile(dir / "a.kvb", Base().Build());
    const TArchiveDiff diff = DiffArchives(dir / "a.kvb", dir.Path().string() + "/./a.kvb");
    EXPECT_TRUE(diff.SameFile);
    EXPECT_TRUE(diff.Same());
    EXPECT_EQ(diff.Matched, 4);
}

TEST(Diff, DamagedArchivesAreRefusedNamingTheFile)
{
    const ArchiveBuilder base = Base();
    std::string cut = base.Build();
    PatchDataLength(cut, base.OffsetOf(2), 1000000);
    EXPECT_EQ(Refusal(cut), "Stream read error\nReading the data of bad.kvb: the file ends at byte " +
                                std::to_string(cut.size()) + ", but entry 3 (C.MID) needs bytes up to " +
                                std::to_string(base.OffsetOf(2) + 24 + 1000000));

    std::string negative = base.Build();
    PatchDataLength(negative, base.OffsetOf(1), -5);
    EXPECT_EQ(
        Refusal(negative),
        "Stream read error\nReading the data of bad.kvb: entry 2 (B.BIN) has the negative length -5");

    std::string huge = base.Build();
    PatchCount(huge, 80000000); // two gigabytes of table claimed
    EXPECT_NE(Refusal(huge).find("bad.kvb: the file ends at byte"), std::string::npos);
}

} // namespace

TEST(Diff, ProgressRisesToItsEndInStepOrNotAndARaisingReportStopsTheComparison)
{
    ArchiveBuilder changed = Base();
    changed.Add("E.BIN", PatternBytes(300000, 5));
    ArchiveBuilder reordered;
    reordered.Validation(StandardValidation()).Add("E.BIN", PatternBytes(300000, 6));
    reordered.Add("D.BIN", PatternBytes(0, 4)).Add("A.TEX", PatternBytes(100, 9));
    for (const ArchiveBuilder *b : {&changed, &reordered}) {
        TempDir dir;
        WriteFile(dir / "a.kvb", Base().Add("E.BIN", PatternBytes(300000, 7)).Build());
        WriteFile(dir / "b.kvb", b->Build());
        std::vector<int32_t> positions;
        int32_t maximum = 0;
        const TArchiveDiff diff =
            DiffArchives(dir / "a.kvb", dir / "b.kvb", [&](int32_t position, int32_t of) {
                positions.push_back(position);
                maximum = of;
            });
        EXPECT_FALSE(diff.Same());
        ASSERT_FALSE(positions.empty());
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
        EXPECT_EQ(positions.back(), maximum);
        // The catalogues as read, with every length.
        ASSERT_TRUE(diff.CatalogueB);
        EXPECT_EQ(diff.CatalogueB->GetEntry(0).Length, b == &changed ? 100 : 300000);

        // Cancelled in the middle, at the data: the report's error comes out as it is.
        int reports = 0;
        EXPECT_THROW(DiffArchives(dir / "a.kvb", dir / "b.kvb",
                                  [&](int32_t position, int32_t of) {
                                      if (++reports > 1 && position > of / 2)
                                          throw ECancelled();
                                  }),
                     ECancelled);
    }
}
