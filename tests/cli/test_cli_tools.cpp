#include "archive/catalogue.h"
#include "run_kvb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

struct Tools {
    TempDir dir;
    fs::path src = dir.Path() / "src";
    fs::path templates = dir.Path() / "templates";
    std::string validation = StandardValidation();
    Tools()
    {
        fs::create_directory(src);
        fs::create_directory(templates);
        WriteFile(templates / "KVB.3", validation);
        WriteFile(src / "c.p", "12345");
        WriteFile(src / "b.tex", "");
        WriteFile(src / "A.TEX", "0123456789");
    }
};

} // namespace

TEST(KvbCreate, BuildsTheArchiveThatAnalyseFindsWithoutFault)
{
    Tools t;
    std::string archive = t.dir / "new.kvb";
    RunResult r = RunKvb(t.dir, {"create", t.src.string(), archive, "--templates", t.templates.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(ReadFile(archive) == ArchiveBuilder()
                                         .Validation(t.validation)
                                         .Add("A.TEX", "0123456789")
                                         .Add("b.tex", "")
                                         .Add("c.p", "12345")
                                         .Build());

    r = RunKvb(t.dir, {"analyse", archive});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "File: new.kvb\n# of files in archive: 3\nCreator: SQUARESOFT\n"
                     "Description: FINAL FANTASY7\n\nSection 1: Header: 97 bytes.\n"
                     "Section 2: Error check: 3602 bytes.\n0 files have mismatched filenames.\n"
                     "There are no data gaps in the file (OK).\n");
}

// The archive keeps them apart and stores them, as its own name rule allows; where they come
// out otherwise than they went in, create says so and extract-all names them.
TEST(KvbCreate, WarnsOfNamesThatOnlyAccentedCaseTellsApartOrWindowsCannotUse)
{
    Tools t;
    for (const char *name : {"c.p", "b.tex", "A.TEX"})
        fs::remove(t.src / name);
    // Cut to 20 bytes: the first two differ only in the case of an accented letter, the third
    // ends in a dot.
    const std::string first = "aaaaaaaaaaaaaaaaaaa\xC3\x89"
                              "1.tex",
                      second = "aaaaaaaaaaaaaaaaaaa\xC3\xA9"
                               "2.tex";
    const std::string firstStored = "aaaaaaaaaaaaaaaaaaa\xC3\x89",
                      secondStored = "aaaaaaaaaaaaaaaaaaa\xC3\xA9";
    for (const std::string &name : {first, second, std::string("abcdefghijklmnopqrs.tex")})
        WriteFile(kvb::PathFromUtf8(t.src.string() + "/" + name), name);
    const std::string archive = t.dir / "new.kvb";
    RunResult r = RunKvb(t.dir, {"create", t.src.string(), archive, "--templates", t.templates.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "kvb: warning: file " + first + " is stored under the name \"" + firstStored +
                         "\", as an archive keeps at most 20 bytes of a name\n"
                         "kvb: warning: file " +
                         second + " is stored under the name \"" + secondStored +
                         "\", as an archive keeps at most 20 bytes of a name\n"
                         "kvb: warning: files " +
                         first + " and " + second + " are stored under the names \"" + firstStored +
                         "\" and \"" + secondStored +
                         "\", which differ only in the case of letters outside A to Z: where file names "
                         "ignore case (as on Windows), they are extracted into one file\n"
                         "kvb: warning: file abcdefghijklmnopqrs.tex is stored under the name "
                         "\"abcdefghijklmnopqrs.\", as an archive keeps at most 20 bytes of a name; that "
                         "name cannot be a file name on Windows (Windows drops a final dot)\n");

    r = RunKvb(t.dir, {"extract-all", archive, t.dir / "out"});
#ifdef _WIN32
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kvb: 2 of 3 files extracted; 1 name cannot be a file name: entry 3 "
                     "\"abcdefghijklmnopqrs.\" (Windows drops a final dot)\n");
#else
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(kvb::PathFromUtf8(t.dir / ("out/" + firstStored))), first);
    EXPECT_EQ(ReadFile(kvb::PathFromUtf8(t.dir / ("out/" + secondStored))), second);
    EXPECT_EQ(ReadFile(t.dir / "out/abcdefghijklmnopqrs."), "abcdefghijklmnopqrs.tex");

    // Whole names as a folder here holds them, where Windows has none of them.
    fs::remove_all(t.src);
    fs::create_directory(t.src);
    for (const char *name : {"\xC3\x89.TEX", "\xC3\xA9.tex", "x.", "a b ", "NUL", "CON.TXT"})
        WriteFile(t.src / name, name);
    WriteFile(t.templates / "KVB.6", t.validation);
    r = RunKvb(t.dir, {"create", t.src.string(), archive, "--templates", t.templates.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const std::string line :
         {"kvb: warning: files \xC3\x89.TEX and \xC3\xA9.tex are stored under the names \"\xC3\x89.TEX\" "
          "and "
          "\"\xC3\xA9.tex\", which differ only in the case of letters outside A to Z: where file names "
          "ignore case (as on Windows), they are extracted into one file\n",
          "kvb: warning: file x. is stored under the name \"x.\", which cannot be a file name on "
          "Windows (Windows drops a final dot)\n",
          "kvb: warning: file a b  is stored under the name \"a b \", which cannot be a file name on "
          "Windows (Windows drops a final space)\n",
          "kvb: warning: file NUL is stored under the name \"NUL\", which cannot be a file name on "
          "Windows (Windows keeps it for a device)\n",
          "kvb: warning: file CON.TXT is stored under the name \"CON.TXT\", which cannot be a file "
          "name on Windows (Windows keeps it for a device)\n"})
        EXPECT_NE(r.err.find(line), std::string::npos) << line << " in\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 5) << r.err;
    const kvb::TKVBFile catalogue(archive, false);
    EXPECT_EQ(catalogue.EntryCount(), 6);
#endif
}

TEST(KvbCreate, FindsTheTemplateNextToTheProgramFirst)
{
    Tools t;
    fs::path programFolder = t.dir.Path() / "bin";
    fs::create_directory(programFolder);
    fs::copy_file(KVB_BINARY, programFolder / "kvb");
    WriteFile(programFolder / "KVB.3", "OWN");
    std::string archive = t.dir / "new.kvb";
    RunResult r = RunProgram((programFolder / "kvb").string(), t.dir,
                             {"create", t.src.string(), archive, "--templates", t.templates.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(archive).substr(97, 3), "OWN");
}

TEST(KvbAnalyse, ArchiveWithoutEntriesGetsAWholeReport)
{
    Tools t;
    std::string archive = t.dir / "empty.kvb";
    WriteFile(archive, ArchiveBuilder().Build());
    RunResult r = RunKvb(t.dir, {"analyse", archive});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "File: empty.kvb\n# of files in archive: 0\nCreator: SQUARESOFT\n"
                     "Description: \n\nSection 1: Header: 16 bytes.\n"
                     "Section 2: Error check: unknown, as the archive has no entries to end it.\n"
                     "0 files have mismatched filenames.\n"
                     "There are no data gaps in the file (OK).\n");
}

#ifndef _WIN32
// Linux searches Wine's and Steam's prefixes; Windows asks its own registry, which the Windows
// tests fill in (tests/platform/test_windows.cpp).
TEST(KvbGameFolder, SaysWhatItFoundAndWhereOrWhereItLooked)
{
    TempDir home;
    const std::string pfx = home / ".local/share/Steam/steamapps/compatdata/39140/pfx";
    fs::create_directories(pfx);
    const std::string old = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", home.Path().c_str(), 1);
    unsetenv("WINEPREFIX");

    RunResult r = RunKvb(home, {"game-folder"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kvb: The game's install folder is recorded in none of these registry files:\n"
                     "  " +
                         home / ".wine/system.reg" + "\n");

    WriteFile(pfx + "/system.reg", "[Software\\\\Square Soft, Inc.\\\\Final Fantasy VII] 1\n"
                                   "\"AppPath\"=\"C:\\\\Games\\\\FF7\"\n");
    r = RunKvb(home, {"game-folder"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, pfx + "/dosdevices/c:/Games/FF7/data\n(from " + pfx + "/system.reg)\n");
    setenv("HOME", old.c_str(), 1);
}
#endif
