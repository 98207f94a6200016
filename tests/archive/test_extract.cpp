#include "archive/catalogue.h"
#include "archive/extract.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;

namespace {

struct Fixture {
    TempDir dir;
    std::string archive = dir / "a.kvb";
    std::string data1000 = PatternBytes(1000, 3);
    Fixture()
    {
        WriteFile(archive,
                  ArchiveBuilder().Add("BIG.BIN", data1000).Add("EMPTY", "").Add("S", "xyz").Build());
    }
};

} // namespace

TEST(ExtractEntry, UnknownLengthIsReadFromTheDataHeader)
{
    Fixture f;
    TKVBFile cat(f.archive, false);
    TKVB_Entry entry = cat.GetEntry(0);
    ASSERT_EQ(entry.Length, -1);
    TFileStream source(f.archive, TFileStream::Mode::OpenRead);
    ExtractEntry(source, entry, f.dir / "out");
    EXPECT_EQ(ReadFile(f.dir / "out"), f.data1000);
    EXPECT_EQ(source.Position(), entry.Offset + 24 + 1000);
    EXPECT_EQ(entry.Length, -1); // the caller's copy is untouched
}

TEST(ExtractEntry, KnownLengthSkipsTheDataHeaderUnread)
{
    Fixture f;
    TKVBFile cat(f.archive, true);
    TKVB_Entry entry = cat.GetEntry(0);
    // Corrupt the header: with a known length it must not matter.
    std::string bytes = ReadFile(f.archive);
    PatchDataLength(bytes, entry.Offset, 5);
    bytes[size_t(entry.Offset)] = 'Z';
    WriteFile(f.archive, bytes);
    TFileStream source(f.archive, TFileStream::Mode::OpenRead);
    ExtractEntry(source, entry, f.dir / "out");
    EXPECT_EQ(ReadFile(f.dir / "out"), f.data1000);
}

TEST(ExtractEntry, EmptyEntryEmptiesAnExistingFile)
{
    Fixture f;
    WriteFile(f.dir / "out", "old content");
    TKVBFile cat(f.archive, false);
    TFileStream source(f.archive, TFileStream::Mode::OpenRead);
    ExtractEntry(source, cat.GetEntry(1), f.dir / "out");
    EXPECT_EQ(ReadFile(f.dir / "out"), "");
}

TEST(ExtractEntry, OneStreamServesCallsInAnyOrder)
{
    Fixture f;
    TKVBFile cat(f.archive, false);
    TFileStream source(f.archive, TFileStream::Mode::OpenRead);
    ExtractEntry(source, cat.GetEntry(2), f.dir / "s1");
    ExtractEntry(source, cat.GetEntry(0), f.dir / "big");
    ExtractEntry(source, cat.GetEntry(2), f.dir / "s2");
    EXPECT_EQ(ReadFile(f.dir / "s1"), "xyz");
    EXPECT_EQ(ReadFile(f.dir / "s2"), "xyz");
    EXPECT_EQ(ReadFile(f.dir / "big"), f.data1000);
}

TEST(ExtractEntry, DataPastTheEndFailsAndKeepsWhatWasCopied)
{
    Fixture f;
    std::string bytes = ReadFile(f.archive);
    TKVBFile cat(f.archive, false);
    TKVB_Entry last = cat.GetEntry(2);
    PatchDataLength(bytes, last.Offset, 5000);
    WriteFile(f.archive, bytes);
    for (bool fullRead : {false, true}) {
        TKVBFile reread(f.archive, fullRead);
        TFileStream source(f.archive, TFileStream::Mode::OpenRead);
        EXPECT_THROW(ExtractEntry(source, reread.GetEntry(2), f.dir / "out"), EReadError);
        EXPECT_EQ(ReadFile(f.dir / "out"), "xyzFINAL FANTASY7");
    }
}

TEST(ExtractEntry, UnreadableHeaderOrCorruptLengthCreatesNoFile)
{
    Fixture f;
    TFileStream source(f.archive, TFileStream::Mode::OpenRead);
    TKVB_Entry beyond{"X", int32_t(source.Size() - 10), -1, false};
    EXPECT_THROW(ExtractEntry(source, beyond, f.dir / "out"), EReadError);
    TKVB_Entry negative{"X", 16, -7, false};
    EXPECT_THROW(ExtractEntry(source, negative, f.dir / "out"), EKVBError);
    EXPECT_FALSE(std::filesystem::exists(f.dir / "out"));
}

TEST(ExtractEntry, MissingFolderFailsWithTheCreateError)
{
    Fixture f;
    TKVBFile cat(f.archive, false);
    TFileStream source(f.archive, TFileStream::Mode::OpenRead);
    std::string target = f.dir / "missing/out";
    try {
        ExtractEntry(source, cat.GetEntry(0), target);
        FAIL();
    } catch (const EFCreateError &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + target + ": its folder does not exist");
    }
}

TEST(ExtractEntry, WorksFromAMemoryStreamToo)
{
    Fixture f;
    TKVBFile cat(f.archive, false);
    TMemoryStream source(ReadFile(f.archive));
    ExtractEntry(source, cat.GetEntry(0), f.dir / "out");
    EXPECT_EQ(ReadFile(f.dir / "out"), f.data1000);
}

TEST(EntryNames, OnlyPlainNamesAreSafeInAFolder)
{
    for (const char *bad : {"", ".", "..", "a/b", "..\\x", "C:X", "/etc"})
        EXPECT_FALSE(IsSafeEntryName(bad)) << bad;
    for (const char *good : {"A.TEX", ".hidden", "name with space", "CONSOLE.TXT", "NULL"})
        EXPECT_TRUE(IsSafeEntryName(good)) << good;
        // Windows drops a final dot, and keeps NUL (in any case, with any extension) for a device.
#ifdef _WIN32
    for (const char *device : {"...", "NUL", "nul.tex", "Com1.bin", "A. "})
        EXPECT_FALSE(IsSafeEntryName(device)) << device;
#else
    for (const char *plain : {"...", "NUL", "nul.tex", "Com1.bin", "A. "})
        EXPECT_TRUE(IsSafeEntryName(plain)) << plain;
#endif
    try {
        CheckSafeEntryName("../EVIL", "extracted");
        FAIL();
    } catch (const EKVBError &e) {
        EXPECT_NE(std::string(e.what()).find("\"../EVIL\""), std::string::npos);
    }
}
