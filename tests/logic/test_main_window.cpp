// The main window's behaviour through its logic, with a scripted face: opening and the blocks,
// extract and extract all, the error box, the advanced window, find, drag and drop, and start-up.
#include "logic/main_window_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

std::string EntryData(int i)
{
    return PatternBytes(size_t(8 + i % 5), unsigned(i));
}

} // namespace

TEST(MainWindowLogic, OpeningShowsBlocksOfAThousandAndTheInfoLines)
{
    Main m;
    m.Open(m.Write("big.kvb", NumberedArchive(2500)));
    EXPECT_TRUE(m.dialogs.shown.empty()) << m.dialogs.Last();
    EXPECT_EQ(m.v.labels, (Lines{"1-1000", "1001-2000", "2001-2500"}));
    EXPECT_EQ(m.v.chosenLabel, 0);
    ASSERT_EQ(m.v.rows.size(), 1000u);
    EXPECT_EQ(m.v.rows[999][0], "E999.BIN");
    EXPECT_EQ(m.v.rows[0][2], "8");
    EXPECT_EQ(m.v.info, (Lines{"File: big.kvb", "# of files in archive: 2500", "Creator: SQUARESOFT",
                               "Description: FINAL FANTASY7"}));
    // One progress call per record and pass; the maximum is taken at position 1.
    EXPECT_EQ(m.v.progressMaximum, 5000);
    EXPECT_EQ(m.v.progressPosition, 5000);
    EXPECT_FALSE(m.v.busy);
    EXPECT_EQ(m.v.busySpells, 1);

    m.ChooseBlock(2);
    ASSERT_EQ(m.v.rows.size(), 500u);
    EXPECT_EQ(m.v.rows[0][0], "E2000.BIN");

    // Choosing the block shown does not fill the list again.
    const int fills = m.v.fills;
    m.ChooseBlock(2);
    EXPECT_EQ(m.v.fills, fills);

    // Another archive always starts at its block 0.
    m.Open(m.Write("two.kvb", NumberedArchive(2000)));
    EXPECT_EQ(m.v.labels, (Lines{"1-1000", "1001-2000"}));
    EXPECT_EQ(m.v.rows[0][0], "E0.BIN");
}

TEST(MainWindowLogic, NoEntriesWithoutLengthsAndAFailedOpen)
{
    Main m;
    m.Open(m.Write("empty.kvb", ArchiveBuilder().Build()));
    EXPECT_EQ(m.v.labels, Lines{"1-0"});
    EXPECT_TRUE(m.v.rows.empty());
    EXPECT_EQ(m.v.info.at(1), "# of files in archive: 0");

    m.v.fullRead = false;
    m.Open(m.Write("a.kvb", NumberedArchive(20)));
    for (const auto &row : m.v.rows)
        ASSERT_EQ(row[2], "-1");
    EXPECT_EQ(m.v.info.at(3), "Description: ");

    // A failed open keeps the catalogue, the blocks, the list and the info lines.
    m.v.fullRead = true;
    m.Open(m.Write("good.kvb", NumberedArchive(1200)));
    m.ChooseBlock(1);
    const Lines info = m.v.info;
    std::string broken = NumberedArchive(5);
    PatchCount(broken, 900);
    m.Open(m.Write("broken.kvb", broken));
    EXPECT_EQ(m.dialogs.shown,
              Lines{"error: Stream read error.\nReading the table of contents of broken.kvb: the "
                    "file ends at byte 3937, but record 146 needs bytes up to 3958."});
    EXPECT_FALSE(m.v.busy);
    EXPECT_EQ(m.v.info, info);
    EXPECT_EQ(m.v.labels, (Lines{"1-1000", "1001-1200"}));
    EXPECT_EQ(m.v.rows.size(), 200u);
    ASSERT_NE(m.main.Catalogue(), nullptr);
    EXPECT_EQ(m.main.Catalogue()->Count(), 1200);

    m.Open(m.dir / "missing.kvb");
    EXPECT_EQ(m.dialogs.Last(),
              "error: Cannot open file " + (m.dir / "missing.kvb") + ": it does not exist.");
}

TEST(MainWindowLogic, ExtractTakesTheSelectedRowOfTheShownBlockAndOffersOnlyASafeName)
{
    Main m;
    m.Do([&] { m.main.btnExtractClick(); });
    m.Do([&] { m.main.btnExtractAllClick(); });
    ASSERT_EQ(m.dialogs.shown.size(), 2u);
    EXPECT_EQ(m.dialogs.shown[0], "notice: Select a file to extract first!");
    EXPECT_EQ(m.dialogs.shown[1].rfind("notice: No archive is open", 0), 0u);

    m.Open(m.Write("big.kvb", NumberedArchive(2500)));
    m.Do([&] { m.main.btnExtractClick(); });
    EXPECT_EQ(m.dialogs.Last(), "notice: Select a file to extract first!");

    m.Select(2005);
    const std::string target = m.dir / "out.bin";
    m.dialogs.files.push_back(target);
    m.Do([&] { m.main.btnExtractClick(); });
    EXPECT_EQ(m.dialogs.lastFile.FileName, "E2005.BIN");
    EXPECT_EQ(m.dialogs.lastFile.Filter, "All files|*.*");
    EXPECT_EQ(ReadFile(target), EntryData(2005));

    m.Open(m.Write("up.kvb", ArchiveBuilder().Add("../up.bin", "x").Build()));
    m.Select(0);
    m.dialogs.files.push_back(std::nullopt);
    m.Do([&] { m.main.btnExtractClick(); });
    EXPECT_EQ(m.dialogs.lastFile.FileName, "");
}

TEST(MainWindowLogic, ExtractOntoTheOpenArchiveItselfIsRefused)
{
    Main m;
    const std::string bytes = NumberedArchive(3);
    const std::string path = m.Write("a.kvb", bytes);
    m.Open(path);
    m.Select(1);
    m.dialogs.files.push_back(path);
    m.Do([&] { m.main.btnExtractClick(); });
    ASSERT_EQ(m.dialogs.shown.size(), 1u);
    EXPECT_EQ(m.dialogs.shown[0].rfind("error: ", 0), 0u);
    EXPECT_NE(m.dialogs.shown[0].find(path), std::string::npos) << m.dialogs.shown[0];
    EXPECT_EQ(ReadFile(path), bytes);
}

TEST(MainWindowLogic, ExtractAllWritesEveryUsableEntryAndNamesTheRest)
{
    Main m;
    m.Open(m.Write("a.kvb", NumberedArchive(3)));
    fs::create_directory(m.dir.Path() / "out");
    m.dialogs.folders.push_back(m.dir / "out");
    m.Do([&] { m.main.btnExtractAllClick(); });
    EXPECT_TRUE(m.dialogs.shown.empty()) << m.dialogs.Last();
    EXPECT_EQ(m.main.selFolder.Path().substr(0, (m.dir / "out").size()), m.dir / "out");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ReadFile(m.dir / ("out/E" + std::to_string(i) + ".BIN")), EntryData(i));

    m.Open(
        m.Write("bad.kvb", ArchiveBuilder().Add("FIRST", "1").Add("..", "2").Add("LAST", "3").Build()));
    fs::create_directory(m.dir.Path() / "out2");
    m.dialogs.folders.push_back(m.dir / "out2");
    m.Do([&] { m.main.btnExtractAllClick(); });
    const std::string message =
        "2 of 3 files extracted; 1 name cannot be a file name: entry 2 \"..\" (it names a folder)";
    EXPECT_EQ(m.v.status, message);
    EXPECT_EQ(m.dialogs.shown, Lines{"error: " + message});
    EXPECT_EQ(ReadFile(m.dir / "out2/FIRST"), "1");
    EXPECT_EQ(ReadFile(m.dir / "out2/LAST"), "3");
    EXPECT_FALSE(m.v.busy);
}

TEST(MainWindowLogic, ErrorBoxAddsAFullStopOnlyAfterHigherCharacters)
{
    EXPECT_EQ(logic::ErrorBoxText("Stream read error"), "Stream read error.");
    EXPECT_EQ(logic::ErrorBoxText("List index out of bounds (3)"), "List index out of bounds (3)");
    EXPECT_EQ(logic::ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(logic::ErrorBoxText("Couldn't retrieve file information!"),
              "Couldn't retrieve file information!");
    EXPECT_EQ(logic::ErrorBoxText("Size 12"), "Size 12.");
    // A second line (what was being done, where and why) ends the same way as the first.
    EXPECT_EQ(logic::ErrorBoxText("Stream read error\nReading x.kvb: it ends at byte 3"),
              "Stream read error.\nReading x.kvb: it ends at byte 3.");
}

TEST(MainWindowLogic, AdvancedNeedsAnOpenArchiveAndClosingItDropsTheCatalogue)
{
    Main m;
    m.Do([&] { m.main.btnAdvancedClick(); });
    EXPECT_EQ(m.dialogs.shown, Lines{"notice: Open an KVB file first!"});

    const std::string path = m.Write("a.kvb", NumberedArchive(1500));
    m.Open(path);
    m.dialogs.shown.clear();
    bool held = false;
    m.advancedView.whileShown = [&] { held = m.advanced.RawFile() != nullptr; };
    m.Do([&] { m.main.btnAdvancedClick(); });
    EXPECT_TRUE(held);
    EXPECT_EQ(m.dialogs.shown,
              Lines{"notice: Warning! Edits to the KVB file in this mode are IMMEDIATE and CANNOT "
                    "be undone. I recommend you keep a backup copy of any files to be edited!"});
    EXPECT_EQ(m.advanced.RawFile(), nullptr);
    EXPECT_EQ(m.main.Catalogue(), nullptr);
    EXPECT_EQ(m.v.info, Lines{"No file open."});
    EXPECT_TRUE(m.v.rows.empty());
    // The labels stay; choosing one shows nothing.
    m.ChooseBlock(1);
    EXPECT_TRUE(m.v.rows.empty());
    EXPECT_NO_THROW(TRawKVBFile{path});

    // An archive gone since it was opened.
    m.Open(path);
    fs::remove(path);
    m.Do([&] { m.main.btnAdvancedClick(); });
    EXPECT_EQ(m.dialogs.Last(), "error: Couldn't retrieve file properties!");
    EXPECT_NE(m.main.Catalogue(), nullptr);
}

TEST(MainWindowLogic, LinksOpenTheBugTrackerAndTheHomePageOrSayWhereTheyLead)
{
    Main m;
    m.Do([&] { m.main.Label3Click(); });
    m.Do([&] { m.main.Label4Click(); });
    EXPECT_EQ(m.v.links, (std::vector<std::string>{KVB_ISSUES_URL, KVB_PROJECT_URL}));
    EXPECT_TRUE(m.dialogs.shown.empty());

    // Without a browser the address is shown instead.
    m.v.linksOpen = false;
    m.Do([&] { m.main.Label4Click(); });
    EXPECT_EQ(m.dialogs.Last(), "notice: No program on this system opens " KVB_PROJECT_URL
                                "\nOpen the address in a web browser yourself.");
}

// --- Find, drag and drop ------------------------------------------------------------------------

TEST(MainWindowLogic, FindSelectsTheNextMatchInItsBlockAndTheRowActsOnIt)
{
    Main m;
    m.Open(m.Write("a.kvb", NumberedArchive(5000, "F")));
    m.dialogs.texts.push_back("f4998.bin");
    m.Do([&] { m.main.FindClick(); });
    EXPECT_EQ(m.v.chosenLabel, 4);
    EXPECT_EQ(m.SelectedIndex(), 4998);
    EXPECT_TRUE(m.v.listFocused);
    EXPECT_EQ(m.v.rows[size_t(m.v.selectedRow)][0], "F4998.BIN");

    // The selected row is the entry: Extract copies it.
    m.dialogs.files.push_back(m.dir / "out.bin");
    m.Do([&] { m.main.btnExtractClick(); });
    EXPECT_EQ(ReadFile(m.dir / "out.bin"), EntryData(4998));

    // The search goes on from the selected row, and F3 wraps round to the start.
    m.dialogs.texts.push_back("499");
    m.Do([&] { m.main.FindClick(); });
    EXPECT_EQ(m.SelectedIndex(), 4999);
    m.Do([&] { m.main.FindNextClick(); });
    EXPECT_EQ(m.SelectedIndex(), 499);
    EXPECT_EQ(m.v.chosenLabel, 0);
    m.dialogs.texts.push_back("F1.BIN");
    m.Do([&] { m.main.FindClick(); });
    EXPECT_EQ(m.SelectedIndex(), 1);
    EXPECT_EQ(m.v.chosenLabel, 0);
    m.Do([&] { m.main.FindNextClick(); });
    EXPECT_EQ(m.SelectedIndex(), 1);

    m.dialogs.texts.push_back("nothing like it");
    m.Do([&] { m.main.FindClick(); });
    EXPECT_EQ(m.dialogs.Last(), "notice: No entry matches nothing like it.");
    EXPECT_EQ(m.SelectedIndex(), 1);
}

TEST(MainWindowLogic, ADraggedRowDeliversTheExtractedFileAndADroppedArchiveOpens)
{
    Main m;
    m.Open(m.Write("a.kvb", ArchiveBuilder().Add("ONE.BIN", "1").Add("../UP", "u").Build()));
    const std::string dragged = m.main.ExtractForDrag(0);
    EXPECT_EQ(FileNameOf(dragged), "ONE.BIN");
    EXPECT_EQ(ReadFile(PathFromUtf8(dragged)), "1");
    EXPECT_THROW(m.main.ExtractForDrag(1), EKVBError);

    const std::string other = m.Write("other.KvB", NumberedArchive(3));
    EXPECT_FALSE(logic::TKVBEditorLogic::IsDroppedArchive({m.dir / "notes.txt"}));
    EXPECT_FALSE(logic::TKVBEditorLogic::IsDroppedArchive({}));
    EXPECT_TRUE(logic::TKVBEditorLogic::IsDroppedArchive({other}));
    m.Do([&] { m.main.FilesDropped({other, m.dir / "notes.txt"}); });
    EXPECT_EQ(m.v.info.at(0), "File: other.KvB");
}

// --- Start-up ----------------------------------------------------------------------------------

#ifndef _WIN32
TEST(MainWindowLogic, StartUpChangesToTheGameDataFolder)
{
    const auto cwd = fs::current_path();
    TempDir prefix;
    fs::create_directories(prefix.Path() / "drive_c/Game/data");
    fs::create_directories(prefix.Path() / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix.Path() / "dosdevices/c:");
    setenv("WINEPREFIX", prefix.Path().c_str(), 1);

    for (const char *appPath : {"C:\\\\Game\\\\", "C:\\\\Game"}) {
        WriteFile(prefix / "system.reg",
                  std::string("[Software\\\\Square Soft, Inc.\\\\Final Fantasy VII] 1\n"
                              "\"AppPath\"=\"") +
                      appPath + "\"\n");
        Main m;
        m.Do([&] { m.main.FormCreate(); });
        EXPECT_TRUE(m.dialogs.shown.empty()) << appPath;
        EXPECT_EQ(fs::canonical(fs::current_path()), fs::canonical(prefix.Path() / "drive_c/Game/data"));
        fs::current_path(cwd);
    }

    WriteFile(prefix / "system.reg", "[Software\\\\Square Soft, Inc.\\\\Final Fantasy VII] 1\n"
                                     "\"AppPath\"=\"C:\\\\Missing\\\\\"\n");
    {
        Main m;
        m.Do([&] { m.main.FormCreate(); });
        ASSERT_EQ(m.dialogs.shown.size(), 1u);
        EXPECT_EQ(m.dialogs.shown[0].rfind("error: Cannot change to the game's data folder", 0), 0u);
        EXPECT_EQ(fs::current_path(), cwd);
    }
    setenv("WINEPREFIX", "/nonexistent/kvb-test-wine-prefix", 1);
}
#endif
