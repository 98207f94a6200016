// Files dropped on the windows through their logic, with a scripted face: the main window puts
// them in the place of the entries of their names in one rebuild, the advanced window appends
// them; neither follows a link, reads a folder, or writes when the user says no.
#include "archive/catalogue.h"
#include "archive/raw_archive.h"
#include "logic/dropped_files.h"
#include "main_window_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

struct Drop : Main {
    std::string archive;

    Drop()
    {
        archive =
            Write("a.kvb",
                  ArchiveBuilder().Add("ONE.BIN", "1").Add("Two.Bin", "2").Add("THREE.BIN", "3").Build());
        fs::create_directory(dir.Path() / "drop");
        Open(archive);
    }
    std::string File(const std::string &name, const std::string &bytes)
    {
        return Write("drop/" + name, bytes);
    }
    void Dropped(const std::vector<std::string> &paths)
    {
        Do([&] { main.FilesDropped(paths); });
    }
};

} // namespace

TEST(DroppedFiles, OnlyPlainFilesAreTakenAndTheRestIsNamed)
{
    TempDir dir;
    WriteFile(dir / "A.BIN", "abc");
    fs::create_directory(dir.Path() / "sub");
    const logic::TDroppedFiles sorted =
        logic::SortDroppedFiles({dir / "A.BIN", dir / "sub", dir / "gone.bin"});
    ASSERT_EQ(sorted.Files.size(), 1u);
    EXPECT_EQ(sorted.Files[0].Name, "A.BIN");
    EXPECT_EQ(sorted.Files[0].Size, 3);
    EXPECT_EQ(sorted.Refused,
              (Lines{"sub is a folder; drop the files in it instead", "gone.bin is not there any more"}));
    EXPECT_EQ(logic::ReadDroppedFile(dir / "A.BIN"), "abc");
    EXPECT_THROW(logic::ReadDroppedFile(dir / "sub"), EKVBError);
}

TEST(MainWindowDrop, TheEntriesOfTheDroppedNamesAreReplacedInOneRebuildAfterTheList)
{
    Drop d;
    const std::string before = ReadFile(PathFromUtf8(d.archive));
    const std::vector<std::string> files{d.File("one.bin", "uno!"), d.File("TWO.BIN", "dos"),
                                         d.File("other.txt", "x")};
    fs::create_directory(d.dir.Path() / "drop/sub");
    std::vector<std::string> dropped = files;
    dropped.push_back(d.dir / "drop/sub");
#ifndef _WIN32
    // A link planted under an entry's name is never read through.
    d.Write("secret", "secret");
    fs::create_symlink("../secret", d.dir.Path() / "drop/THREE.BIN");
    dropped.push_back(d.dir / "drop/THREE.BIN");
#endif
    EXPECT_TRUE(d.main.AcceptsDrop(dropped));

    // No: nothing is written.
    d.dialogs.answers.push_back(false);
    d.Dropped(dropped);
    EXPECT_EQ(d.dialogs.lastList.Caption, "Replace entries");
    EXPECT_EQ(d.dialogs.lastList.Columns, (Lines{"Record", "Entry", "File", "Old size", "New size"}));
    EXPECT_EQ(d.dialogs.lastList.Rows, (std::vector<Lines>{{"1", "ONE.BIN", "one.bin", "1", "4"},
                                                           {"2", "Two.Bin", "TWO.BIN", "1", "3"}}));
    Lines said{"The archive file a.kvb will be rewritten, with the data of 2 entries replaced by the "
               "files dropped on the window. Everything else stays as it is.",
               "Left out:", "sub is a folder; drop the files in it instead"};
#ifndef _WIN32
    said.push_back("THREE.BIN is a link, which is never followed");
#endif
    said.push_back("No entry of a.kvb is named as other.txt.");
    said.push_back("Continue?");
    EXPECT_EQ(d.dialogs.lastList.Text, logic::JoinLines(said));
    EXPECT_EQ(ReadFile(PathFromUtf8(d.archive)), before);

    // Yes: both, in one rebuild; the third entry keeps its data.
    d.dialogs.answers.push_back(true);
    d.Dropped(dropped);
    EXPECT_EQ(Main::Entry(d.archive, 0), "uno!");
    EXPECT_EQ(Main::Entry(d.archive, 1), "dos");
    EXPECT_EQ(Main::Entry(d.archive, 2), "3");
    EXPECT_EQ(d.v.status, "2 entries replaced by the files dropped; a.kvb was rewritten.");
    EXPECT_EQ(d.v.info.at(0), "File: a.kvb");
    EXPECT_EQ(d.dialogs.shown.size(), 2u) << d.dialogs.Last();
}

TEST(MainWindowDrop, ADropThatReplacesNothingWritesNothingAndSaysWhy)
{
    Drop d;
    const std::string before = ReadFile(PathFromUtf8(d.archive));
    d.Dropped({d.File("notes.txt", "x"), d.File("ONE.BIN.bak", "y")});
    EXPECT_EQ(d.dialogs.shown, Lines{"notice: Nothing was replaced:\nNo entry of a.kvb is named as "
                                     "notes.txt, ONE.BIN.bak."});
    // Two files for one entry: which one was meant is not guessed.
    fs::create_directory(d.dir.Path() / "drop/b");
    d.Dropped({d.File("ONE.BIN", "a"), d.File("b/one.bin", "b")});
    EXPECT_EQ(d.dialogs.Last().rfind("error: Both ", 0), 0u) << d.dialogs.Last();
    EXPECT_EQ(ReadFile(PathFromUtf8(d.archive)), before);

    // Without an archive open the window takes no such drop; an archive it always takes.
    Main m;
    EXPECT_FALSE(m.main.AcceptsDrop({m.Write("ONE.BIN", "1")}));
    EXPECT_TRUE(m.main.AcceptsDrop({d.archive}));
    m.Do([&] { m.main.FilesDropped({m.dir / "ONE.BIN"}); });
    EXPECT_TRUE(m.dialogs.shown.empty());
}

TEST(MainWindowDrop, AFileChangedWhileTheListIsUpStopsTheRebuild)
{
    Drop d;
    const std::string before = ReadFile(PathFromUtf8(d.archive));
    const std::string file = d.File("ONE.BIN", "new");
    // Grown after it was looked at: the archive is not replaced.
    d.dialogs.answers.push_back(true);
    d.dialogs.duringNextQuestion = [&] { WriteFile(PathFromUtf8(file), "newer and longer"); };
    d.Dropped({file});
    EXPECT_EQ(d.dialogs.Last().rfind("error: ", 0), 0u) << d.dialogs.Last();
    EXPECT_EQ(ReadFile(PathFromUtf8(d.archive)), before);
#ifndef _WIN32
    // A link put in its place meanwhile is refused, not read through.
    d.Write("secret", "sec");
    d.dialogs.answers.push_back(true);
    d.dialogs.duringNextQuestion = [&] {
        fs::remove(PathFromUtf8(file));
        fs::create_symlink("../secret", PathFromUtf8(file));
    };
    WriteFile(PathFromUtf8(file), "abc");
    d.Dropped({file});
    EXPECT_NE(d.dialogs.Last().find("link"), std::string::npos) << d.dialogs.Last();
    EXPECT_EQ(ReadFile(PathFromUtf8(d.archive)), before);
#endif
}

TEST(AdvancedWindowDrop, DroppedFilesAreAppendedInTurnAfterTheList)
{
    Drop d;
    d.Do([&] { ASSERT_TRUE(d.advanced.OpenForEdit(d.archive)); });
    const std::string before = ReadFile(PathFromUtf8(d.archive));
    std::vector<std::string> dropped{d.File("NEW.BIN", "new"), d.File("MORE.BIN", "more")};
    fs::create_directory(d.dir.Path() / "drop/sub");
    dropped.push_back(d.dir / "drop/sub");
#ifndef _WIN32
    d.Write("secret", "secret");
    fs::create_symlink("../secret", d.dir.Path() / "drop/LINK.BIN");
    dropped.push_back(d.dir / "drop/LINK.BIN");
#endif
    EXPECT_TRUE(d.advanced.AcceptsDrop(dropped));

    d.dialogs.answers.push_back(false);
    d.Do([&] { d.advanced.FilesDropped(dropped); });
    EXPECT_EQ(d.dialogs.lastList.Caption, "Append data");
    EXPECT_EQ(d.dialogs.lastList.Rows, (std::vector<Lines>{{"NEW.BIN", "3"}, {"MORE.BIN", "4"}}));
    EXPECT_NE(d.dialogs.lastList.Text.find("sub is a folder"), std::string::npos);
    EXPECT_EQ(ReadFile(PathFromUtf8(d.archive)), before);

    d.dialogs.answers.push_back(true);
    d.Do([&] { d.advanced.FilesDropped(dropped); });
    EXPECT_EQ(d.advancedView.status, "2 files appended.");
    ASSERT_EQ(d.advanced.RawFile()->DataCount(), 5);
    EXPECT_EQ(NameFromField(d.advanced.RawFile()->GetDataRecord(3).Name), "NEW.BIN");
    EXPECT_EQ(NameFromField(d.advanced.RawFile()->GetDataRecord(4).Name), "MORE.BIN");
    EXPECT_EQ(d.advancedView.dataRows.back()[1], "MORE.BIN");
    EXPECT_EQ(d.dialogs.shown.size(), 2u) << d.dialogs.Last();

    // Closed, the window takes no drop.
    d.advanced.FormClose();
    EXPECT_FALSE(d.advanced.AcceptsDrop(dropped));
}
