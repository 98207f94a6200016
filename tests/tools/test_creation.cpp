#include "archive/catalogue.h"
#include "platform/errors.h"
#include "support/archive_builder.h"
#include "tools/creation.h"
#include "tools/validation_template.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <set>
#include <strings.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

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
    void Files(const Names &names)
    {
        for (const auto &name : names)
            WriteFile(src / name, name);
    }
    void Create(const TProgress &progress = {})
    {
        auto compare = [](const std::string &a, const std::string &b) {
            return ::strcasecmp(a.c_str(), b.c_str());
        };
        CreateArchive(src.string(), output, {templates.string()}, compare, progress);
    }
    // The message of the failure, its second line in detail.
    std::string detail;
    std::string CreateFails(const TProgress &progress = {})
    {
        try {
            Create(progress);
        } catch (const EKVBError &e) {
            detail = e.Detail();
            return e.Message();
        }
        return "(no error)";
    }
    // The output's folder apart from the fixture's folders: shows leftovers of a failed run.
    std::set<std::string> OutputFolder() const
    {
        std::set<std::string> names;
        for (const auto &e : fs::directory_iterator(dir.Path()))
            if (e.path() != src && e.path() != templates)
                names.insert(e.path().filename().string());
        return names;
    }
};

Names EntryNames(const std::string &archive)
{
    TKVBFile catalogue(archive, false);
    Names names;
    for (int32_t i = 0; i < catalogue.EntryCount(); ++i)
        names.push_back(catalogue.GetEntry(i).Name);
    return names;
}

} // namespace

TEST(CreateArchive, WritesHeaderTableValidationDataAndDescriptionInCaseInsensitiveOrder)
{
    Creation c;
    std::string validation = c.Template(3);
    WriteFile(c.src / "c.p", "12345");
    WriteFile(c.src / "b.tex", "");
    WriteFile(c.src / "A.TEX", "0123456789");
    c.Create();

    std::string bytes = ReadFile(c.output);
    ASSERT_EQ(bytes.size(), 3800u);
    EXPECT_EQ(GetInt32LE(bytes.data() + 16 + 20), 3699);
    EXPECT_EQ(GetInt32LE(bytes.data() + 43 + 20), 3733);
    EXPECT_EQ(GetInt32LE(bytes.data() + 70 + 20), 3757);
    EXPECT_EQ(bytes[16 + 24], 14);
    EXPECT_EQ(bytes, ArchiveBuilder()
                         .Validation(validation)
                         .Add("A.TEX", "0123456789")
                         .Add("b.tex", "")
                         .Add("c.p", "12345")
                         .Build());
    TKVBFile catalogue(c.output, true);
    EXPECT_EQ(catalogue.GetEntry(2).Length, 5);
    EXPECT_FALSE(catalogue.GetEntry(0).NameMismatch);
    EXPECT_EQ(catalogue.Creator(), "SQUARESOFT");
    EXPECT_EQ(catalogue.Description(), "FINAL FANTASY7");
}

TEST(CreateArchive, StoresPlainFilesOnlyWithTheirNamesInWindows1252CutToTwentyBytes)
{
    Creation c;
    c.Template(4);
    c.Files({"ABCDEFGHIJKLMNOPQRST", "bcdefghijklmnopqrstuvwxyz", "caf\xC3\xA9\xE2\x82\xAC", ".hidden"});
    fs::permissions(c.src / "ABCDEFGHIJKLMNOPQRST", fs::perms::owner_read);
    WriteFile(c.dir / "outside", "o");
    fs::create_symlink(c.dir / "outside", c.src / "linked");
    fs::create_symlink(c.dir / "missing", c.src / "dangling");
    fs::create_directory(c.src / "sub");
    WriteFile(c.src / "sub" / "inner", "i");
    fs::create_directory_symlink(c.templates, c.src / "folderlink");
    c.Create();

    EXPECT_EQ(EntryNames(c.output),
              (Names{"ABCDEFGHIJKLMNOPQRST", "bcdefghijklmnopqrstu", "caf\xE9\x80", "linked"}));
}

TEST(CreateArchive, LargeFilesAndManySmallOnesAreCopiedExactly)
{
    Creation c;
    ArchiveBuilder expected;
    expected.Validation(c.Template(301, PatternBytes(5000, 9)));
    std::string big = PatternBytes(3 * 1024 * 1024 + 7, 1);
    WriteFile(c.src / "big", big);
    expected.Add("big", big);
    for (int i = 0; i < 300; ++i) {
        std::string name = "f" + std::to_string(1000 + i);
        std::string data = PatternBytes(4099, unsigned(i));
        WriteFile(c.src / name, data);
        expected.Add(name, data);
    }
    c.Create();
    EXPECT_TRUE(ReadFile(c.output) == expected.Build());
}

TEST(CreateArchive, TemplateIsChosenByCountAndLookedUpInTheGivenFoldersInOrder)
{
    Creation c;
    EXPECT_EQ(c.CreateFails(), kNoTemplateMessage);
    // The second line names the file looked for, and where.
    EXPECT_EQ(c.detail.rfind("Creating an archive of 0 files needs the template KVB.0, which is in none "
                             "of these folders: ",
                             0),
              0u)
        << c.detail;
    EXPECT_NE(c.detail.find(c.dir.Path().string()), std::string::npos) << c.detail;
    EXPECT_FALSE(fs::exists(c.output));
    c.Template(0, "VALIDATION");
    c.Create();
    EXPECT_EQ(ReadFile(c.output), std::string("\0\0SQUARESOFT\0\0\0\0VALIDATIONFINAL FANTASY7", 40));

    for (int i = 0; i < 213; ++i)
        WriteFile(c.src / ("F" + std::to_string(i)), "x");
    c.Template(212);
    EXPECT_EQ(c.CreateFails(), kNoTemplateMessage);
    EXPECT_EQ(EntryNames(c.output), Names{}); // the earlier archive stays

    fs::path first = c.dir.Path() / "first";
    fs::create_directory(first);
    c.Template(213, "SECOND");
    auto create = [&] {
        CreateArchive(c.src.string(), c.output, {first.string(), c.templates.string()},
                      [](const std::string &a, const std::string &b) { return a.compare(b); });
        return ReadFile(c.output).substr(16 + 27 * 213, 6);
    };
    EXPECT_EQ(create(), "SECOND");
    WriteFile(first / "KVB.213", "FIRST!");
    EXPECT_EQ(create(), "FIRST!");
}

TEST(CreateArchive, ReportsProgressForEachFileAndNeverTakesItsOutputAsAnInput)
{
    Creation c;
    c.Template(2);
    c.Template(3);
    c.Files({"a", "b", "out.kvb"});
    c.output = (c.src / ".." / "src" / "out.kvb").string();
    std::vector<std::pair<int32_t, int32_t>> calls;
    c.Create([&](int32_t position, int32_t maximum) { calls.emplace_back(position, maximum); });

    EXPECT_EQ(calls, (std::vector<std::pair<int32_t, int32_t>>{{1, 2}, {2, 2}}));
    EXPECT_EQ(EntryNames(c.output), (Names{"a", "b"}));
}

TEST(CreateArchive, ReplacesALinkAtTheOutputNotTheFileItLeadsTo)
{
    Creation c;
    c.Template(1);
    c.Files({"a"});
    WriteFile(c.dir / "real.kvb", "old");
    fs::create_symlink(c.dir / "real.kvb", c.output);
    c.Create();

    EXPECT_FALSE(fs::is_symlink(c.output));
    EXPECT_EQ(EntryNames(c.output), Names{"a"});
    EXPECT_EQ(ReadFile(c.dir / "real.kvb"), "old");
    EXPECT_EQ(c.OutputFolder(), (std::set<std::string>{"out.kvb", "real.kvb"}));
}

TEST(CreateArchive, ReplacingAFileKeepsItsPermissions)
{
    Creation c;
    c.Template(1);
    c.Files({"a"});
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    WriteFile(c.output, "old");
    fs::permissions(c.output, mode);
    c.Create();

    EXPECT_EQ(EntryNames(c.output), Names{"a"});
    EXPECT_EQ(fs::status(c.output).permissions(), mode);
}

// Each failure leaves the earlier output as it was and no temporary file behind.
TEST(CreateArchiveFailure, FilesChangingDuringTheRun)
{
    struct Case {
        int32_t when;                        // the progress position after which ...
        std::function<void(Creation &)> act; // ... this happens
        std::function<std::string(Creation &)> message;
    };
    const Case cases[] = {
        {1, [](Creation &c) { fs::remove(c.src / "b"); },
         [](Creation &) { return kFileVanishedMessage; }},
        {2, [](Creation &c) { fs::remove(c.src / "c"); },
         [](Creation &) { return kFileVanishedMessage; }},
        // A file that is no longer a plain one is named, with what it is now.
        {1,
         [](Creation &c) {
             fs::remove(c.src / "b");
             fs::create_directory(c.src / "b");
         },
         [](Creation &c) { return "Cannot open file " + (c.src / "b").string() + ": it is a folder"; }},
    };
    for (const Case &k : cases) {
        Creation c;
        c.Template(3);
        c.Files({"a", "b", "c"});
        WriteFile(c.output, "kept");
        EXPECT_EQ(c.CreateFails([&](int32_t position, int32_t) {
            if (position == k.when)
                k.act(c);
        }),
                  k.message(c));
        EXPECT_EQ(ReadFile(c.output), "kept");
        EXPECT_EQ(c.OutputFolder(), std::set<std::string>{"out.kvb"});
    }
}

TEST(CreateArchiveFailure, FullDisk)
{
    Creation c;
    c.Template(2);
    WriteFile(c.src / "big", PatternBytes(2 * 1024 * 1024, 1));
    WriteFile(c.src / "small", PatternBytes(100, 2));
    WriteFile(c.output, "kept");

    // A limit on file size stands in for a full disk: writes past it fail the same way. The
    // lower limit stops the buffered writes, the higher one the kernel's copy of "big".
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
        EXPECT_EQ(c.detail, "Writing " + c.output + ": file too large") << limit;
        EXPECT_EQ(ReadFile(c.output), "kept");
        EXPECT_EQ(c.OutputFolder(), std::set<std::string>{"out.kvb"});
    }
    std::signal(SIGXFSZ, oldHandler);
}

TEST(CreateArchiveFailure, WhatTheArchiveCannotHoldIsRefusedBeforeWriting)
{
    Creation c;
    c.Template(1);
    c.Template(3);
    WriteFile(c.output, "kept");
    c.Files({"\xCE\xA9"}); // "Ω" has no Windows-1252 code
    EXPECT_EQ(c.CreateFails(), "The file name \xCE\xA9 cannot be stored in an archive");
    fs::remove(c.src / "\xCE\xA9");

    // Sparse files: only their sizes count, and nothing of them is read.
    auto sparse = [&](const std::string &name, uintmax_t size) {
        WriteFile(c.src / name, "");
        fs::resize_file(c.src / name, size);
    };
    sparse("huge", uintmax_t(INT32_MAX) + 1);
    EXPECT_EQ(c.CreateFails(),
              "File " + (c.src / "huge").string() + " is too large to store in an archive");
    fs::remove(c.src / "huge");
    // The first file and the header's bytes leave less room than the second needs: refused when
    // the second is opened, before any of it is copied.
    c.Template(2);
    WriteFile(c.src / "a", "small");
    sparse("g", uintmax_t(INT32_MAX) - 100);
    EXPECT_EQ(c.CreateFails(),
              "The files of " + c.src.string() + " are too large together to store in one archive");
    EXPECT_EQ(ReadFile(c.output), "kept");
    EXPECT_EQ(c.OutputFolder(), std::set<std::string>{"out.kvb"});
}

TEST(CreateArchiveFailure, NamesThatWouldNotComeOutAgainAreRefusedBeforeWriting)
{
    Creation c;
    c.Template(3);
    WriteFile(c.output, "kept");
    // Cut to 20 bytes, two names are one but for case; among others that are not.
    c.Files({"soundtrack_level_01.mid", "other", "SOUNDTRACK_LEVEL_01.wav"});
    EXPECT_EQ(c.CreateFails(),
              "Files " + (c.src / "soundtrack_level_01.mid").string() + " and " +
                  (c.src / "SOUNDTRACK_LEVEL_01.wav").string() +
                  " would both be stored as \"SOUNDTRACK_LEVEL_01.\"; nothing was written");
    fs::remove(c.src / "SOUNDTRACK_LEVEL_01.wav");
    // A name Windows cannot take.
    c.Files({"a:b"});
    EXPECT_EQ(c.CreateFails(), "File " + (c.src / "a:b").string() +
                                   " would be stored as \"a:b\", a name that cannot be extracted "
                                   "again; nothing was written");
    EXPECT_EQ(ReadFile(c.output), "kept");
    EXPECT_EQ(c.OutputFolder(), std::set<std::string>{"out.kvb"});
}

TEST(CreateArchiveFailure, UncreatableOutputAndMissingFolder)
{
    Creation c;
    c.Template(1);
    c.Files({"a"});
    std::string output = c.output;
    c.output = c.dir / "no/such/folder.kvb";
    EXPECT_EQ(c.CreateFails(), "Cannot create file " + c.output + ": its folder does not exist");
    c.output = c.templates.string();
    EXPECT_EQ(c.CreateFails(), "Cannot create file " + c.output + ": it is a folder");
    c.output = c.dir / "fifo";
    ASSERT_EQ(::mkfifo(c.output.c_str(), 0600), 0);
    EXPECT_EQ(c.CreateFails(), "Cannot create file " + c.output + ": it is a pipe (FIFO)");
    EXPECT_TRUE(fs::is_fifo(c.output));

    c.output = output;
    c.src = c.dir.Path() / "missing";
    EXPECT_EQ(c.CreateFails(), "Cannot open folder " + c.src.string());
    EXPECT_FALSE(fs::exists(c.output));
}
