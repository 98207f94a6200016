#include "run_kvb.h"

#include <gtest/gtest.h>

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
    RunResult r =
        RunKvb(t.dir, {"create", t.src.string(), archive, "--templates", t.templates.string()});
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

TEST(KvbCreate, FindsTheTemplateNextToTheProgramFirst)
{
    Tools t;
    fs::path programFolder = t.dir.Path() / "bin";
    fs::create_directory(programFolder);
    fs::copy_file(KVB_BINARY, programFolder / "kvb");
    WriteFile(programFolder / "KVB.3", "OWN");
    std::string archive = t.dir / "new.kvb";
    RunResult r = RunProgram((programFolder / "kvb").string(), t.dir,
                             {"create", t.src.string(), archive, "--templates",
                              t.templates.string()});
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
                     "  " + home / ".wine/system.reg" + "\n");

    WriteFile(pfx + "/system.reg", "[Software\\\\Square Soft, Inc.\\\\Final Fantasy VII] 1\n"
                                   "\"AppPath\"=\"C:\\\\Games\\\\FF7\"\n");
    r = RunKvb(home, {"game-folder"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, pfx + "/dosdevices/c:/Games/FF7/data\n(from " + pfx + "/system.reg)\n");
    setenv("HOME", old.c_str(), 1);
}
#endif
