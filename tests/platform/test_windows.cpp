// What only Windows does: share modes keep a second editor out, the read-only attribute, files
// hidden by their attributes, the registry, the system's name order, and names outside the
// ANSI code page.
#include "cli/run_kvb.h"
#include "game/game_folder.h"
#include "platform/collation.h"
#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/listing.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "platform/stream.h"
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

using namespace kvb;
using namespace kvb::test;

namespace {

void SetAttributes(const std::string &path, DWORD attributes)
{
    std::wstring wide(path.size(), L'\0');
    wide.resize(size_t(
        ::MultiByteToWideChar(CP_UTF8, 0, path.data(), int(path.size()), wide.data(), int(wide.size()))));
    ASSERT_TRUE(::SetFileAttributesW(wide.c_str(), attributes)) << path;
}

template <typename Call>
std::string Outcome(Call call)
{
    try {
        call();
        return "ok";
    } catch (const std::exception &e) {
        return e.what();
    }
}

} // namespace

TEST(ShareModes, AnEditorKeepsOtherEditorsAndReplacementsOutButNotReaders)
{
    TempDir dir;
    const std::string archive = dir / "a.kvb";
    WriteFile(archive, TwoEntryArchive());
    TFileStream editor(archive, TFileStream::Mode::OpenReadWrite);

    const std::string held = "Cannot open file " + archive + ": another program is editing it";
    EXPECT_EQ(Outcome([&] { TFileStream(archive, TFileStream::Mode::OpenReadWrite); }), held);
    EXPECT_EQ(Outcome([&] { TFileStream(archive, TFileStream::Mode::OpenReadLocked); }), held);
    EXPECT_EQ(Outcome([&] { TOutputFile(archive, TOutputKind::Archive); }), held);
    TFileStream reader(archive, TFileStream::Mode::OpenRead);
    EXPECT_EQ(reader.Size(), int64_t(TwoEntryArchive().size()));

    // Another process is refused by the system as well, and says so the same way.
    WriteFile(dir / "extra.bin", "x");
    RunResult r = RunKvb(dir, {"append", archive, dir / "extra.bin"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kvb: " + held + "\n");
    r = RunKvb(dir, {"info", archive});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST(ReadOnlyAttribute, IsReportedRefusesWritingAndCanBeCleared)
{
    TempDir dir;
    const std::string file = dir / "a.kvb";
    WriteFile(file, TwoEntryArchive());
    SetAttributes(file, FILE_ATTRIBUTE_READONLY);

    ASSERT_TRUE(FileAttributes(file));
    EXPECT_TRUE(FileAttributes(file)->ReadOnly);
    EXPECT_EQ(Outcome([&] { TFileStream(file, TFileStream::Mode::OpenReadWrite); }),
              "Cannot open file " + file + ": access is denied");
    EXPECT_EQ(Outcome([&] { TOutputFile(file, TOutputKind::Whole); }),
              "Cannot create file " + file + ": it is read-only");

    ClearReadOnly(file);
    EXPECT_FALSE(FileAttributes(file)->ReadOnly);
    EXPECT_EQ(Outcome([&] { TFileStream(file, TFileStream::Mode::OpenReadWrite); }), "ok");
    EXPECT_FALSE(FileAttributes(dir / "missing"));
}

TEST(Listing, LeavesOutHiddenAndSystemFilesAndFolders)
{
    TempDir dir;
    for (const char *name : {"plain.bin", "hidden.bin", "system.bin", ".dot.bin"})
        WriteFile(dir / name, "x");
    std::filesystem::create_directory(dir.Path() / "folder");
    SetAttributes(dir / "hidden.bin", FILE_ATTRIBUTE_HIDDEN);
    SetAttributes(dir / "system.bin", FILE_ATTRIBUTE_SYSTEM);

    auto names = ListPlainFiles(Utf8FromPath(dir.Path()));
    ASSERT_TRUE(names);
    EXPECT_EQ(*names, std::vector<std::string>{"plain.bin"});
    EXPECT_EQ(LookUpPlainFile(dir / "plain.bin"), 1);
    EXPECT_FALSE(LookUpPlainFile(dir / "hidden.bin"));
    EXPECT_FALSE(LookUpPlainFile(dir / "system.bin"));
    EXPECT_FALSE(ListPlainFiles(dir / "missing"));
}

TEST(Registry, GivesTheGamesAppPathFromThe32BitView)
{
    // scripts/wine-run writes the value into the prefix before the tests (see
    // windows_registry_setup).
    ASSERT_EQ(FindGameAppPath(), std::optional<std::string>("C:\\Games\\FF7\\"));
    EXPECT_EQ(GameDataFolder(*FindGameAppPath()), "C:\\Games\\FF7\\data");
    EXPECT_NE(Outcome([] { EnterGameDataFolder("C:\\no such folder"); }), "ok");
}

TEST(SystemNameCompare, IgnoresCaseAndPutsAccentsNextToTheirLetters)
{
    const TNameCompare compare = SystemNameCompare();
    EXPECT_EQ(compare("readme.txt", "README.TXT"), 0);
    EXPECT_LT(compare("apple", "Banana"), 0);
    EXPECT_GT(compare("Zebra", "apple"), 0);
    std::vector<std::string> names = {"f.bin", "\xC3\xA9.bin", "E.bin", "d.bin"};
    std::sort(names.begin(), names.end(),
              [&](const std::string &a, const std::string &b) { return compare(a, b) < 0; });
    EXPECT_EQ(names, (std::vector<std::string>{"d.bin", "E.bin", "\xC3\xA9.bin", "f.bin"}));
}

TEST(Utf8Paths, NamesOutsideTheAnsiCodePageAreWrittenListedAndRead)
{
    TempDir dir;
    const std::string greek = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1"; // Ωμέγα
    const std::string folder = JoinPath(Utf8FromPath(dir.Path()), "caf\xC3\xA9");
    std::filesystem::create_directory(PathFromUtf8(folder));
    const std::string file = JoinPath(folder, greek + ".bin");
    {
        TOutputFile out(file, TOutputKind::Whole);
        out.Stream().WriteBuffer("abc", 3);
        out.Commit();
    }
    EXPECT_EQ(ListPlainFiles(folder), std::vector<std::string>{greek + ".bin"});
    EXPECT_EQ(FileNameOf(file), greek + ".bin");
    EXPECT_EQ(ParentFolderOf(file), folder);
    TFileStream in(file, TFileStream::Mode::OpenRead);
    EXPECT_EQ(in.Size(), 3);

    // kvb takes such names from its UTF-16 command line and prints them as UTF-8.
    const std::string archive = JoinPath(folder, greek + ".kvb");
    WriteFile(PathFromUtf8(archive), TwoEntryArchive());
    RunResult r = RunKvb(dir, {"extract", archive, "1", JoinPath(folder, greek + "-1.bin")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(PathFromUtf8(JoinPath(folder, greek + "-1.bin"))), PatternBytes(100, 1));
    r = RunKvb(dir, {"info", JoinPath(folder, "missing-" + greek + ".kvb")});
    EXPECT_EQ(r.err.rfind("kvb: Cannot open file " + JoinPath(folder, "missing-" + greek + ".kvb") + ": ",
                          0),
              0u)
        << r.err;
}
