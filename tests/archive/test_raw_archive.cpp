#include "archive/catalogue.h"
#include "archive/raw_archive.h"
#include "platform/errors.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

using namespace kvb;
using namespace kvb::test;

namespace {

struct TwoEntries {
    TempDir dir;
    std::string path = dir / "a.kvb";
    std::string original = TwoEntryArchive();
    TwoEntries() { WriteFile(path, original); }
    std::string Bytes() const { return ReadFile(path); }
};

} // namespace

TEST(RawArchive, ReadsTheTwoEntryLayout)
{
    TwoEntries a;
    TRawKVBFile f(a.path);
    EXPECT_EQ(f.TocCount(), 2);
    EXPECT_EQ(f.DataCount(), 2);
    EXPECT_EQ(f.GetDataRecord(0).Position, 3672);
    EXPECT_EQ(f.GetDataRecord(0).Length, 100);
    EXPECT_EQ(f.GetDataRecord(1).Position, 3796);
    EXPECT_EQ(f.GetDataRecord(1).Length, 50);
    EXPECT_EQ(NameFromField(f.GetDataRecord(1).Name), "SECOND.BIN");
    EXPECT_EQ(f.GetTocRecord(1).Offset, 3796);
    EXPECT_EQ(f.GetTocRecord(1).Reserved1, 14);
    EXPECT_EQ(f.Creator(), "SQUARESOFT");
    EXPECT_EQ(f.Description(), "FINAL FANTASY7");
}

TEST(RawArchive, AppendWritesEntryThenDescriptionAndLeavesTheHeader)
{
    TwoEntries a;
    TRawKVBFile f(a.path);
    f.AppendData(DataRecordOf("NEW.TEX", "0123456789"));
    std::string bytes = a.Bytes();
    ASSERT_EQ(bytes.size(), 3918u);
    EXPECT_EQ(bytes.substr(0, 3870), a.original.substr(0, 3870));
    EXPECT_EQ(bytes.substr(3870, 7), "NEW.TEX");
    EXPECT_EQ(GetInt32LE(bytes.data() + 3890), 10);
    EXPECT_EQ(bytes.substr(3894, 10), "0123456789");
    EXPECT_EQ(bytes.substr(3904), "FINAL FANTASY7");
    EXPECT_EQ(GetInt32LE(bytes.data() + 12), 2);
    EXPECT_EQ(f.DataCount(), 3);
    EXPECT_EQ(f.GetDataRecord(2).Position, 3870);
    EXPECT_TRUE(f.GetDataRecord(2).Data.empty());
}

TEST(RawArchive, TruncateCutsAtTheEntryAndRewritesTheDescription)
{
    TwoEntries a;
    TRawKVBFile f(a.path);
    f.TruncateFrom(1);
    std::string bytes = a.Bytes();
    ASSERT_EQ(bytes.size(), 3810u);
    EXPECT_EQ(bytes.substr(3796), "FINAL FANTASY7");
    EXPECT_EQ(f.DataCount(), 1);
    EXPECT_EQ(f.GetTocRecord(1).Offset, 3796);
}

TEST(RawArchive, TruncateAtZeroThenAppendFailsAndLeavesTheFile)
{
    TwoEntries a;
    TRawKVBFile f(a.path);
    f.TruncateFrom(0);
    std::string bytes = a.Bytes();
    ASSERT_EQ(bytes.size(), 3686u);
    EXPECT_EQ(f.DataCount(), 0);
    try {
        f.AppendData(DataRecordOf("X", "abc"));
        FAIL();
    } catch (const EListError &e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
    }
    EXPECT_EQ(a.Bytes(), bytes);
}

TEST(RawArchive, LinkRewritesOnlyTheOffsetBytes)
{
    TwoEntries a;
    TRawKVBFile f(a.path);
    TKVB_TocRecord r = f.GetTocRecord(1);
    r.Offset = 3672;
    f.SetTocRecord(1, r);
    std::string bytes = a.Bytes();
    EXPECT_EQ(GetInt32LE(bytes.data() + 63), 3672);
    std::string expected = a.original;
    PutInt32LE(expected.data() + 63, 3672);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(f.GetTocRecord(1).Offset, 3672);
}

TEST(RawArchive, IndexErrorsChangeNothing)
{
    TwoEntries a;
    TRawKVBFile f(a.path);
    EXPECT_THROW(f.GetTocRecord(2), EListError);
    EXPECT_THROW(f.SetTocRecord(-1, TKVB_TocRecord{}), EListError);
    EXPECT_THROW(f.GetDataRecord(2), EListError);
    EXPECT_THROW(f.TruncateFrom(2), EListError);
    EXPECT_EQ(f.DataCount(), 2);
    EXPECT_EQ(a.Bytes(), a.original);
}

TEST(RawArchive, TailsOf24BytesAreDescriptionAnd25AreAHeader)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    WriteFile(path, ArchiveBuilder().Description(std::string(24, 'D')).Add("A", "x").Build());
    {
        TRawKVBFile f(path);
        EXPECT_EQ(f.DataCount(), 1);
        EXPECT_EQ(f.Description(), std::string(24, 'D'));
    }
    std::string tail(25, 'D');
    PutInt32LE(tail.data() + 20, 0);
    WriteFile(path, ArchiveBuilder().Description(tail).Add("A", "x").Build());
    TRawKVBFile f(path);
    EXPECT_EQ(f.DataCount(), 2);
    EXPECT_EQ(f.GetDataRecord(1).Length, 0);
    EXPECT_EQ(f.Description(), "D");
}

TEST(RawArchive, ValidationBlockBoundsOfOddArchives)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    // Empty validation block: the walk starts right after the table of contents.
    WriteFile(path, ArchiveBuilder().Validation("").Add("A", "abc").Build());
    {
        TRawKVBFile f(path);
        EXPECT_EQ(f.DataCount(), 1);
        EXPECT_EQ(f.GetDataRecord(0).Position, 16 + 27);
    }
    // Count 0: everything after the header is validation block.
    std::string bytes = TwoEntryArchive();
    PatchCount(bytes, 0);
    WriteFile(path, bytes);
    {
        TRawKVBFile f(path);
        EXPECT_EQ(f.TocCount(), 0);
        EXPECT_EQ(f.DataCount(), 0);
        EXPECT_EQ(f.Description(), "");
    }
    // Smallest offset beyond the end.
    bytes = TwoEntryArchive();
    PatchTocOffset(bytes, 0, 99999);
    PatchTocOffset(bytes, 1, 99999);
    WriteFile(path, bytes);
    {
        TRawKVBFile f(path);
        EXPECT_EQ(f.DataCount(), 0);
        EXPECT_EQ(f.Description(), "");
    }
}

TEST(RawArchive, EntryRunningPastTheEndIsLastAndAppendGoesAfterIt)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    ArchiveBuilder b;
    b.Add("A", "abc");
    std::string bytes = b.Build();
    PatchDataLength(bytes, b.OffsetOf(0), 100);
    WriteFile(path, bytes);
    TRawKVBFile f(path);
    EXPECT_EQ(f.DataCount(), 1);
    EXPECT_EQ(f.Description(), "");
    f.AppendData(DataRecordOf("B", "zz"));
    EXPECT_EQ(f.GetDataRecord(1).Position, b.OffsetOf(0) + 124);
    EXPECT_EQ(ReadFile(path).size(), size_t(b.OffsetOf(0) + 124 + 24 + 2));
}

TEST(RawArchive, WalkRefusesAHeaderThatWouldNotMoveForward)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    ArchiveBuilder b;
    b.Add("A", "abc").Add("B", "def");
    std::string bytes = b.Build();
    PatchDataLength(bytes, b.OffsetOf(1), -24);
    WriteFile(path, bytes);
    try {
        TRawKVBFile f(path);
        FAIL();
    } catch (const EKVBError &e) {
        EXPECT_NE(std::string(e.what()).find(std::to_string(b.OffsetOf(1))), std::string::npos);
    }
}

// A tail of zeros (a sparse file, say) reads as an empty entry every 24 bytes; holding millions
// of them would take gigabytes, so the walk stops at a bound and says where the zeros begin.
TEST(RawArchive, WalkRefusesMillionsOfEntriesAndNamesWhereTheRepeatsBegin)
{
    TempDir dir;
    const std::string path = dir / "a.kvb";
    const std::string bytes = TwoEntryArchive();
    WriteFile(path, bytes);
    fs::resize_file(path, bytes.size() + uint64_t(TRawKVBFile::kMaxDataRecords) * 24 + 100);
    try {
        TRawKVBFile f(path);
        FAIL() << "the walk held every empty entry";
    } catch (const EKVBError &e) {
        const std::string message = e.what();
        EXPECT_NE(message.find(path), std::string::npos) << message;
        EXPECT_NE(message.find("more than " + std::to_string(TRawKVBFile::kMaxDataRecords)),
                  std::string::npos)
            << message;
        // The description reads as one header (its length bytes are zeros); the zeros after it
        // repeat from the next one on.
        EXPECT_NE(message.find("from position " + std::to_string(bytes.size() - 14 + 24)),
                  std::string::npos)
            << message;
    }
    // A reader is not affected: it never walks the data.
    EXPECT_EQ(TKVBFile(path, false).EntryCount(), 2);
}

TEST(RawArchive, EditsThatWouldOverwriteAHeaderWithANegativeLengthAreRefused)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    // B's length of -1 puts the walk's next header on B's last header byte.
    ArchiveBuilder b;
    b.Add("A", "abc").Add("B", "").Add("C", "xyz");
    std::string bytes = b.Build();
    PatchDataLength(bytes, b.OffsetOf(1), -1);
    WriteFile(path, bytes);
    {
        TRawKVBFile f(path);
        ASSERT_EQ(f.DataCount(), 3);
        ASSERT_EQ(f.GetDataRecord(2).Position, b.OffsetOf(1) + 23);
        EXPECT_THROW(f.TruncateFrom(2), EKVBError);
        EXPECT_EQ(f.DataCount(), 3);
        EXPECT_EQ(ReadFile(path), bytes);
        f.TruncateFrom(1);
        EXPECT_EQ(f.DataCount(), 1);
    }

    ArchiveBuilder last;
    last.Add("A", "abc").Add("B", "");
    bytes = last.Build();
    PatchDataLength(bytes, last.OffsetOf(1), -1);
    WriteFile(path, bytes);
    TRawKVBFile f(path);
    ASSERT_EQ(f.DataCount(), 2);
    EXPECT_THROW(f.AppendData(DataRecordOf("NEW", "data")), EKVBError);
    EXPECT_EQ(f.DataCount(), 2);
    EXPECT_EQ(ReadFile(path), bytes);
}

TEST(RawArchive, ShortFilesHugeCountsAndReadOnlyFilesFail)
{
    TempDir dir;
    std::string path = dir / "a.kvb";
    WriteFile(path, "short");
    EXPECT_THROW(TRawKVBFile{path}, EReadError);
    std::string bytes = TwoEntryArchive();
    PatchCount(bytes, INT32_MAX);
    WriteFile(path, bytes);
    EXPECT_THROW(TRawKVBFile{path}, EReadError);
    EXPECT_THROW(TRawKVBFile{dir / "missing.kvb"}, EFOpenError);
}

TEST(RawArchive, ASecondEditorOnTheSameFileIsRefused)
{
    TwoEntries a;
    TRawKVBFile first(a.path);
    try {
        TRawKVBFile second(a.path);
        FAIL();
    } catch (const EFOpenError &e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file " + a.path + ": another program is editing it");
    }
}

TEST(RawArchive, ReservedFieldsSurviveALink)
{
    TwoEntries a;
    std::string bytes = a.original;
    bytes[16 + 24] = char(0x7E);
    PutUInt16LE(bytes.data() + 16 + 25, 0x1234);
    WriteFile(a.path, bytes);
    TRawKVBFile f(a.path);
    TKVB_TocRecord r = f.GetTocRecord(0);
    r.Offset = 3796;
    f.SetTocRecord(0, r);
    std::string after = a.Bytes();
    EXPECT_EQ(after[16 + 24], char(0x7E));
    EXPECT_EQ(GetUInt16LE(after.data() + 16 + 25), 0x1234);
}

TEST(RawArchiveHelpers, DataColumnAndTruncateQuestion)
{
    TwoEntries a;
    TRawKVBFile f(a.path);
    EXPECT_EQ(f.FindDataRecordAt(3672), 0);
    EXPECT_EQ(f.FindDataRecordAt(3796), 1);
    EXPECT_EQ(f.FindDataRecordAt(3797), -1);
    EXPECT_EQ(f.FindDataRecordAt(0), -1);
    EXPECT_EQ(LinkedDataText(2, "SECOND.BIN"), "2) SECOND.BIN");
    EXPECT_EQ(TruncateQuestion(4, "FIELD.BIN", 10),
              "This will delete item 5 (FIELD.BIN) and all 5 of the items following it from the "
              "file. YOU WILL NOT BE ABLE TO RESTORE THE DATA AT ALL, IT WILL BE LOST. Continue?");
}
