#include "archive/format.h"
#include "platform/listing.h"
#include "run_kvb.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace kvb;
using namespace kvb::test;

namespace {

struct Cli {
    TempDir dir;
    std::string archive = dir / "two.kvb";
    Cli() { WriteFile(archive, TwoEntryArchive()); }
};

} // namespace

TEST(KvbInfo, PrintsTheFourInfoLines)
{
    Cli c;
    RunResult r = RunKvb(c.dir, {"info", "--lengths", c.archive});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "File: two.kvb\n# of files in archive: 2\nCreator: SQUARESOFT\n"
                     "Description: FINAL FANTASY7\n");
    r = RunKvb(c.dir, {"info", c.archive});
    EXPECT_EQ(r.out, "File: two.kvb\n# of files in archive: 2\nCreator: SQUARESOFT\nDescription: \n");
}

TEST(KvbList, TableAndDataOrderWithAndWithoutLengths)
{
    Cli c;
    std::string bytes = TwoEntryArchive();
    PatchTocOffset(bytes, 0, 3796);
    PatchTocOffset(bytes, 1, 3672);
    WriteFile(c.archive, bytes);
    EXPECT_EQ(RunKvb(c.dir, {"list", c.archive}).out,
              "1\tFIRST.BIN\t3796\t-1\t0\n2\tSECOND.BIN\t3672\t-1\t0\n");
    EXPECT_EQ(RunKvb(c.dir, {"list", "--lengths", "--sorted", c.archive}).out,
              "2\tSECOND.BIN\t3672\t100\t1\n1\tFIRST.BIN\t3796\t50\t1\n");
}

TEST(KvbExtract, CopiesOneEntryAndRejectsNumbersOutOfRange)
{
    Cli c;
    RunResult r = RunKvb(c.dir, {"extract", c.archive, "2", c.dir / "out.bin"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(c.dir / "out.bin"), PatternBytes(50, 2));
    r = RunKvb(c.dir, {"extract", c.archive, "3", c.dir / "x"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("kvb: ", 0), 0u);
}

TEST(KvbExtractAll, WritesEveryUsableEntryThenFailsNamingEachNameThatCannotBeAFile)
{
    Cli c;
    RunResult r = RunKvb(c.dir, {"extract-all", c.archive, c.dir / "out/sub"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(c.dir / "out/sub/FIRST.BIN"), PatternBytes(100, 1));
    EXPECT_EQ(ReadFile(c.dir / "out/sub/SECOND.BIN"), PatternBytes(50, 2));

    WriteFile(c.archive, ArchiveBuilder()
                             .Add("GOOD.BIN", "g")
                             .Add("../EVIL", "e")
                             .Add("LATER", "l")
                             .Add("a:b", "c")
                             .Build());
    r = RunKvb(c.dir, {"extract-all", c.archive, c.dir / "x"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kvb: 2 of 4 files extracted; 2 names cannot be file names: entry 2 \"../EVIL\" "
                     "(it holds \"/\"), entry 4 \"a:b\" (it holds \":\")\n");
    EXPECT_EQ(ReadFile(c.dir / "x/GOOD.BIN"), "g");
    EXPECT_EQ(ReadFile(c.dir / "x/LATER"), "l");
    EXPECT_FALSE(std::filesystem::exists(c.dir / "EVIL"));

    // However many there are, the message names the first few.
    ArchiveBuilder many;
    many.Add("", "0").Add(".", "1").Add("OK", "ok");
    for (int i = 0; i < 6; ++i)
        many.Add("sub\\" + std::to_string(i), "s");
    WriteFile(c.archive, many.Build());
    r = RunKvb(c.dir, {"extract-all", c.archive, c.dir / "y"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err,
              "kvb: 1 of 9 files extracted; 8 names cannot be file names: entry 1 \"\" (it is "
              "empty), entry 2 \".\" (it names a folder), entry 4 \"sub\\0\" (it holds \"\\\"), "
              "entry 5 \"sub\\1\" (it holds \"\\\"), entry 6 \"sub\\2\" (it holds \"\\\") and 3 more\n");
    EXPECT_EQ(ReadFile(c.dir / "y/OK"), "ok");
}

// Windows gives some names to devices in every folder and changes others; what extract-all wrote
// under them would go nowhere (NUL), stop the run (CON) or land in another file ("x."). There
// they are passed over and named, and every other entry is written; elsewhere they are files.
TEST(KvbExtractAll, NamesWindowsCannotUseAreFilesElsewhereAndNamedOnWindows)
{
    Cli c;
    const std::vector<std::string> odd = {"NUL", "nul.tex", "CON",      "a b ",
                                          "x.",  "A?B",     "Com1.bin", "\x01"};
    ArchiveBuilder builder;
    builder.Add("GOOD.BIN", "first");
    for (const std::string &name : odd)
        builder.Add(name, "odd " + name);
    builder.Add("LATER.BIN", "last");
    WriteFile(c.archive, builder.Build());
    const std::string out = c.dir / "out";
    RunResult r = RunKvb(c.dir, {"extract-all", c.archive, out});
    EXPECT_EQ(ReadFile(c.dir / "out/GOOD.BIN"), "first");
    EXPECT_EQ(ReadFile(c.dir / "out/LATER.BIN"), "last");
#ifdef _WIN32
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kvb: 2 of 10 files extracted; 8 names cannot be file names: entry 2 \"NUL\" "
                     "(Windows keeps it for a device), entry 3 \"nul.tex\" (Windows keeps it for a "
                     "device), entry 4 \"CON\" (Windows keeps it for a device), entry 5 \"a b \" "
                     "(Windows drops a final space), entry 6 \"x.\" (Windows drops a final dot) "
                     "and 3 more\n");
    EXPECT_EQ(ListPlainFiles(out).value_or(std::vector<std::string>{}),
              (std::vector<std::string>{"GOOD.BIN", "LATER.BIN"}));
    // A name of the user's choice is not the entry's.
    r = RunKvb(c.dir, {"extract", c.archive, "2", c.dir / "two.bin"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(c.dir / "two.bin"), "odd NUL");
#else
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const std::string &name : odd)
        EXPECT_EQ(ReadFile(c.dir / ("out/" + name)), "odd " + name);
#endif
}

// Whatever is written to a device is lost, and the run would say it succeeded.
TEST(KvbExtract, RefusesADeviceAsItsOutput)
{
    Cli c;
#ifdef _WIN32
    const std::vector<std::string> devices = {"NUL", "nul.txt", "\\\\.\\NUL", c.dir / "CON", "NUL:"};
#else
    const std::vector<std::string> devices = {"/dev/null"};
#endif
    for (const std::string &device : devices) {
        RunResult r = RunKvb(c.dir, {"extract", c.archive, "1", device});
        EXPECT_EQ(r.exitCode, 1) << device;
        EXPECT_EQ(r.err, "kvb: Cannot create file " + device + ": it is a device\n");
    }
}

TEST(KvbEdit, RawLinkAppendAndTruncateGiveTheTwoEntryArchivesPositionsAndSizes)
{
    Cli c;
    RunResult r = RunKvb(c.dir, {"raw", c.archive});
    EXPECT_EQ(r.out, "File: two.kvb\nCreator: SQUARESOFT\nDescription: FINAL FANTASY7\n"
                     "File has 2 active files.\nFile has 2 data files in it.\n"
                     "toc\t1\tFIRST.BIN\t3672\t14\t0\t1) FIRST.BIN\n"
                     "toc\t2\tSECOND.BIN\t3796\t14\t0\t2) SECOND.BIN\n"
                     "data\t1\tFIRST.BIN\t3672\t100\n"
                     "data\t2\tSECOND.BIN\t3796\t50\n");

    WriteFile(c.dir / "NEW.TEX", "0123456789");
    r = RunKvb(c.dir, {"append", c.archive, c.dir / "NEW.TEX"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::filesystem::file_size(c.archive), 3918u);

    r = RunKvb(c.dir, {"link", c.archive, "2", "3"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(GetInt32LE(ReadFile(c.archive).data() + 63), 3870);

    r = RunKvb(c.dir, {"truncate", c.archive, "2", "--yes"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::filesystem::file_size(c.archive), 3810u);
}

TEST(KvbTemplate, WritesTheValidationBlock)
{
    Cli c;
    RunResult r = RunKvb(c.dir, {"template", c.archive, c.dir.Path().string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(c.dir / "KVB.2"), StandardValidation());
}

TEST(KvbErrors, UsageErrorsExitTwoAndFailuresOne)
{
    Cli c;
    EXPECT_EQ(RunKvb(c.dir, {"list"}).exitCode, 2);
    EXPECT_EQ(RunKvb(c.dir, {"frobnicate"}).exitCode, 2);
    RunResult r = RunKvb(c.dir, {"info", c.dir / "missing.kvb"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("kvb: Cannot open file " + (c.dir / "missing.kvb") + ": ", 0), 0u) << r.err;
}

// A table Offset just below 2 GiB, where Offset + 24 no longer fits 32 bits: the archive is a
// sparse file whose second entry lies there. Every reader takes its true position.
TEST(KvbReaders, TakeAnEntryAtTheTwoGigabyteEdgeWhereItLies)
{
    Cli c;
    for (const int32_t edge : {2147483624, 2147483640, 2147483647}) {
        SCOPED_TRACE(edge);
        ArchiveBuilder builder;
        builder.Add("FIRST.BIN", PatternBytes(100, 1)).Add("EDGE.BIN", "0123456789");
        std::string bytes = builder.Build();
        const std::string tail = bytes.substr(size_t(builder.OffsetOf(1)));
        bytes.resize(size_t(builder.OffsetOf(1)));
        PatchTocOffset(bytes, 1, edge);
        {
            std::ofstream out(PathFromUtf8(c.archive), std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), std::streamsize(bytes.size()));
            out.seekp(edge);
            out.write(tail.data(), std::streamsize(tail.size()));
            ASSERT_TRUE(out.good());
        }
        RunResult r = RunKvb(c.dir, {"list", "--lengths", c.archive});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("2\tEDGE.BIN\t" + std::to_string(edge) + "\t10\t0"), std::string::npos)
            << r.out;
        r = RunKvb(c.dir, {"info", "--lengths", c.archive});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("Description: FINAL FANTASY7"), std::string::npos) << r.out;
        for (std::initializer_list<std::string> args :
             {std::initializer_list<std::string>{"list", "--lengths", "--json", c.archive},
              {"analyse", c.archive}}) {
            r = RunKvb(c.dir, args);
            EXPECT_EQ(r.exitCode, 0) << r.err;
        }
        const std::string out = c.dir / ("out" + std::to_string(edge));
        r = RunKvb(c.dir, {"extract-all", c.archive, out});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(ReadFile(out + "/EDGE.BIN"), "0123456789");
    }
}
