#include "archive/catalogue.h"
#include "archive/errors.h"
#include "archive/format.h"
#include "support/archive_builder.h"
#include "tools/creation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <set>
#include <sys/resource.h>
#include <utility>
#include <vector>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

// Case-insensitive for ASCII, which is all these tests' names need.
int IgnoringAsciiCase(const std::string &a, const std::string &b)
{
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; });
        return s;
    };
    return lower(a).compare(lower(b));
}

struct Creation {
    TempDir dir;
    fs::path src = dir.Path() / "src";
    fs::path templates = dir.Path() / "templates";
    std::string output = dir / "out.kvb";

    Creation()
    {
        fs::create_directory(src);
        fs::create_directory(templates);
    }
    std::string Template(int32_t count, std::string bytes = StandardValidation())
    {
        WriteFile(templates / TemplateFileName(count), bytes);
        return bytes;
    }
    void Create(const TCreationProgress &progress = {})
    {
        CreateArchive(src.string(), output, {templates.string()}, IgnoringAsciiCase, progress);
    }
    // The message of the failed run.
    std::string CreateFails(const TCreationProgress &progress = {})
    {
        try {
            Create(progress);
        } catch (const EKVBError &e) {
            return e.what();
        }
        ADD_FAILURE() << "the run succeeded";
        return {};
    }
    // What the output's folder holds besides the folders of the fixture.
    std::set<std::string> OutputFolder() const
    {
        std::set<std::string> names;
        for (const auto &e : fs::directory_iterator(dir.Path()))
            if (e.path() != src && e.path() != templates)
                names.insert(e.path().filename().string());
        return names;
    }
};

std::vector<std::string> Names(const TKVBFile &catalogue)
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < catalogue.EntryCount(); ++i)
        names.push_back(catalogue.GetEntry(i).Name);
    return names;
}

} // namespace

TEST(CreateArchive, WritesTheDocumentedLayoutInCaseInsensitiveOrder)
{
    Creation c;
    std::string validation = c.Template(3);
    WriteFile(c.src / "c.p", "12345");
    WriteFile(c.src / "b.tex", "");
    WriteFile(c.src / "A.TEX", "0123456789");
    c.Create();

    std::string bytes = ReadFile(c.output);
    ASSERT_EQ(bytes.size(), 3800u);
    EXPECT_EQ(GetInt32LE(bytes.data() + 12), 3);
    EXPECT_EQ(GetInt32LE(bytes.data() + 16 + 20), 3699);
    EXPECT_EQ(GetInt32LE(bytes.data() + 43 + 20), 3733);
    EXPECT_EQ(GetInt32LE(bytes.data() + 70 + 20), 3757);
    EXPECT_EQ(bytes.substr(3786), "FINAL FANTASY7");
    EXPECT_EQ(bytes, ArchiveBuilder()
                         .Validation(validation)
                         .Add("A.TEX", "0123456789")
                         .Add("b.tex", "")
                         .Add("c.p", "12345")
                         .Build());
    for (int record = 0; record < 3; ++record) {
        EXPECT_EQ(bytes[size_t(16 + 27 * record + 24)], 14);
        EXPECT_EQ(GetUInt16LE(bytes.data() + 16 + 27 * record + 25), 0);
    }

    TKVBFile catalogue(c.output, true);
    EXPECT_EQ(Names(catalogue), (std::vector<std::string>{"A.TEX", "b.tex", "c.p"}));
    EXPECT_EQ(catalogue.GetEntry(1).Offset, 3733);
    EXPECT_EQ(catalogue.GetEntry(2).Length, 5);
    EXPECT_FALSE(catalogue.GetEntry(0).NameMismatch);
    EXPECT_EQ(catalogue.Creator(), "SQUARESOFT");
    EXPECT_EQ(catalogue.Description(), "FINAL FANTASY7");
}

TEST(CreateArchive, StoresPlainAndReadOnlyFilesAndLinkedFilesOnly)
{
    Creation c;
    c.Template(3);
    WriteFile(c.src / "plain.bin", "p");
    WriteFile(c.src / "readonly.bin", "r");
    fs::permissions(c.src / "readonly.bin", fs::perms::owner_read);
    WriteFile(c.dir / "outside.bin", "o");
    fs::create_symlink(c.dir / "outside.bin", c.src / "linked.bin");
    WriteFile(c.src / ".hidden", "h");
    fs::create_directory(c.src / "sub");
    WriteFile(c.src / "sub" / "inner.bin", "i");
    fs::create_symlink(c.dir / "missing", c.src / "dangling.bin");
    fs::create_directory_symlink(c.templates, c.src / "folderlink");
    c.Create();

    TKVBFile catalogue(c.output, true);
    EXPECT_EQ(Names(catalogue), (std::vector<std::string>{"linked.bin", "plain.bin", "readonly.bin"}));
    EXPECT_EQ(catalogue.GetEntry(0).Length, 1);
}

TEST(CreateArchive, NamesAreCutToTwentyBytesAndStoredAsWindows1252)
{
    Creation c;
    c.Template(3);
    WriteFile(c.src / "ABCDEFGHIJKLMNOPQRST", "20");
    WriteFile(c.src / "bcdefghijklmnopqrstuvwxyz", "25");
    WriteFile(c.src / "caf\xC3\xA9\xE2\x82\xAC.txt", "cp"); // "café€.txt"
    c.Create();

    std::string bytes = ReadFile(c.output);
    EXPECT_EQ(bytes.substr(16, 20), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(bytes.substr(43, 20), "bcdefghijklmnopqrstu");
    EXPECT_EQ(bytes.substr(70, 20), std::string("caf\xE9\x80.txt", 10) + std::string(10, '\0'));
    TKVBFile catalogue(c.output, true);
    EXPECT_EQ(Names(catalogue),
              (std::vector<std::string>{"ABCDEFGHIJKLMNOPQRST", "bcdefghijklmnopqrstu", "caf\xE9\x80.txt"}));
    for (int32_t i = 0; i < 3; ++i)
        EXPECT_FALSE(catalogue.GetEntry(i).NameMismatch) << i;
}

TEST(CreateArchive, LargeFilesAndManySmallOnesAreCopiedExactly)
{
    Creation c;
    std::string validation = c.Template(301, PatternBytes(5000, 9));
    ArchiveBuilder expected;
    expected.Validation(validation);
    std::string big = PatternBytes(3 * 1024 * 1024 + 7, 1);
    WriteFile(c.src / "big.bin", big);
    expected.Add("big.bin", big);
    for (int i = 0; i < 300; ++i) {
        std::string name = "f" + std::to_string(1000 + i);
        std::string data = PatternBytes(4099, unsigned(i));
        WriteFile(c.src / name, data);
        expected.Add(name, data);
    }
    c.Create();
    EXPECT_TRUE(ReadFile(c.output) == expected.Build());
}

TEST(CreateArchive, EmptyFolderNeedsTheTemplateForNoFiles)
{
    Creation c;
    EXPECT_EQ(c.CreateFails(), kNoTemplateMessage);
    EXPECT_FALSE(fs::exists(c.output));

    std::string validation = c.Template(0, "VALIDATION");
    int calls = 0;
    c.Create([&](int32_t, int32_t) { ++calls; });
    EXPECT_EQ(ReadFile(c.output), std::string("\0\0SQUARESOFT\0\0\0\0VALIDATIONFINAL FANTASY7", 40));
    EXPECT_EQ(calls, 0);
}

TEST(CreateArchive, TemplateIsChosenByCountAndLookedUpInTheGivenFoldersInOrder)
{
    Creation c;
    for (int i = 0; i < 213; ++i)
        WriteFile(c.src / ("F" + std::to_string(i)), "x");
    c.Template(212);
    c.Template(3);
    WriteFile(c.output, "kept");
    EXPECT_EQ(c.CreateFails(), kNoTemplateMessage);
    EXPECT_EQ(ReadFile(c.output), "kept");

    fs::path first = c.dir.Path() / "first";
    fs::create_directory(first);
    c.Template(213, "SECOND");
    CreateArchive(c.src.string(), c.output, {first.string(), c.templates.string()}, IgnoringAsciiCase);
    EXPECT_EQ(ReadFile(c.output).substr(16 + 27 * 213, 6), "SECOND");
    WriteFile(first / "KVB.213", "FIRST!");
    CreateArchive(c.src.string(), c.output, {first.string(), c.templates.string()}, IgnoringAsciiCase);
    EXPECT_EQ(ReadFile(c.output).substr(16 + 27 * 213, 6), "FIRST!");
}

TEST(CreateArchive, ReportsProgressForBothPassesAndNeverTakesItsOutputAsAnInput)
{
    Creation c;
    c.Template(2);
    c.Template(3);
    WriteFile(c.src / "a.bin", "a");
    WriteFile(c.src / "b.bin", "b");
    WriteFile(c.src / "out.kvb", "an old archive");
    c.output = (c.src / ".." / "src" / "out.kvb").string();
    std::vector<std::pair<int32_t, int32_t>> calls;
    c.Create([&](int32_t position, int32_t maximum) { calls.emplace_back(position, maximum); });

    EXPECT_EQ(calls, (std::vector<std::pair<int32_t, int32_t>>{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));
    EXPECT_EQ(Names(TKVBFile(c.output, false)), (std::vector<std::string>{"a.bin", "b.bin"}));
}

TEST(CreateArchive, ReplacesTheOutputKeepingItsPermissionsAndFollowingALink)
{
    Creation c;
    c.Template(1);
    WriteFile(c.src / "a.bin", "a");
    WriteFile(c.dir / "real.kvb", "old");
    fs::permissions(c.dir / "real.kvb", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(c.dir / "real.kvb", c.output);
    c.Create();

    EXPECT_TRUE(fs::is_symlink(c.output));
    EXPECT_EQ(Names(TKVBFile(c.dir / "real.kvb", false)), std::vector<std::string>{"a.bin"});
    EXPECT_EQ(fs::status(c.dir / "real.kvb").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(c.OutputFolder(), (std::set<std::string>{"out.kvb", "real.kvb"}));
}

// Every failure below leaves the earlier output as it was and no temporary file behind.
TEST(CreateArchiveFailure, FileGoneBeforeItsSizeIsTaken)
{
    Creation c;
    c.Template(3);
    for (const char *name : {"a", "b", "c"})
        WriteFile(c.src / name, name);
    WriteFile(c.output, "kept");
    std::string message = c.CreateFails([&](int32_t position, int32_t) {
        if (position == 1)
            fs::remove(c.src / "b");
    });
    EXPECT_EQ(message, kFileVanishedMessage);
    EXPECT_EQ(ReadFile(c.output), "kept");
    EXPECT_EQ(c.OutputFolder(), std::set<std::string>{"out.kvb"});
}

TEST(CreateArchiveFailure, InputThatCannotBeOpenedForCopying)
{
    Creation c;
    c.Template(3);
    for (const char *name : {"a", "b", "c"})
        WriteFile(c.src / name, name);
    WriteFile(c.output, "kept");
    std::string message = c.CreateFails([&](int32_t position, int32_t) {
        if (position == 4)
            fs::remove(c.src / "c");
    });
    EXPECT_EQ(message, "Cannot open file " + (c.src / "c").string());
    EXPECT_EQ(ReadFile(c.output), "kept");
    EXPECT_EQ(c.OutputFolder(), std::set<std::string>{"out.kvb"});
}

TEST(CreateArchiveFailure, FileChangingInSizeIsNamed)
{
    Creation c;
    c.Template(2);
    WriteFile(c.src / "a", "a");
    WriteFile(c.src / "b", "b");
    std::string message = c.CreateFails([&](int32_t position, int32_t) {
        if (position == 2) // b's size has just been taken
            WriteFile(c.src / "b", "bigger");
    });
    EXPECT_EQ(message,
              "File " + (c.src / "b").string() + " changed in size while the archive was being created");
    EXPECT_EQ(c.OutputFolder(), std::set<std::string>{});
}

TEST(CreateArchiveFailure, FullDisk)
{
    Creation c;
    c.Template(2);
    WriteFile(c.src / "big", PatternBytes(2 * 1024 * 1024, 1));
    WriteFile(c.src / "small", PatternBytes(100, 2));
    WriteFile(c.output, "kept");

    // A limit on file size stands in for a full disk: writes past it fail as they would.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    for (rlim_t limit : {rlim_t(1000), rlim_t(1024 * 1024)}) {
        struct rlimit low = old;
        low.rlim_cur = limit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &low), 0);
        std::string message = c.CreateFails();
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(message, "Stream write error") << limit;
        EXPECT_EQ(ReadFile(c.output), "kept");
        EXPECT_EQ(c.OutputFolder(), std::set<std::string>{"out.kvb"});
    }
    std::signal(SIGXFSZ, oldHandler);
}

TEST(CreateArchiveFailure, NameWindows1252CannotHoldIsRefused)
{
    Creation c;
    c.Template(2);
    WriteFile(c.src / "a", "a");
    WriteFile(c.src / "\xCE\xA9.bin", "omega"); // "Ω.bin"
    EXPECT_EQ(c.CreateFails(), "The file name \xCE\xA9.bin cannot be stored in an archive");
    EXPECT_EQ(c.OutputFolder(), std::set<std::string>{});
}

TEST(CreateArchiveFailure, SizesAndOffsetsBeyondTheFieldsAreRefusedBeforeWriting)
{
    Creation c;
    c.Template(1);
    c.Template(3);
    WriteFile(c.output, "kept");
    // Sparse files: their size is what counts, and nothing of them is ever read.
    auto sparse = [&](const std::string &name, uintmax_t size) {
        WriteFile(c.src / name, "");
        fs::resize_file(c.src / name, size);
    };
    sparse("huge", uintmax_t(INT32_MAX) + 1);
    EXPECT_EQ(c.CreateFails(),
              "File " + (c.src / "huge").string() + " is too large to store in an archive");

    fs::remove(c.src / "huge");
    for (const char *name : {"g1", "g2", "g3"})
        sparse(name, uintmax_t(1) << 30);
    EXPECT_EQ(c.CreateFails(),
              "The files of " + c.src.string() + " are too large together to store in one archive");
    EXPECT_EQ(ReadFile(c.output), "kept");
    EXPECT_EQ(c.OutputFolder(), std::set<std::string>{"out.kvb"});
}

TEST(CreateArchiveFailure, UncreatableOutputAndMissingFolder)
{
    Creation c;
    c.Template(1);
    WriteFile(c.src / "a", "a");
    std::string output = c.output;
    c.output = c.dir / "no/such/folder.kvb";
    EXPECT_EQ(c.CreateFails(), "Cannot create file " + c.output);
    c.output = c.templates.string();
    EXPECT_EQ(c.CreateFails(), "Cannot create file " + c.output);

    c.output = output;
    c.src = c.dir.Path() / "missing";
    EXPECT_EQ(c.CreateFails(), "Cannot open folder " + c.src.string());
    EXPECT_FALSE(fs::exists(c.output));
}
