// The main window's entry list through its logic: sorted by a column and back, filtered across
// blocks with its count, the record numbers of sorted and filtered rows, and what several
// selected rows do (extract, export as PNG, hand over, and what refuses more than one).
#include "logic/main_window_fixture.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

// The names (first column) and record numbers (fourth) of the rows shown.
Lines Names(const ScriptedMainView &v)
{
    Lines names;
    for (const auto &row : v.rows)
        names.push_back(row[0]);
    return names;
}
Lines Records(const ScriptedMainView &v)
{
    Lines records;
    for (const auto &row : v.rows)
        records.push_back(row[3]);
    return records;
}

// Entries whose table order, names and lengths all differ in order.
std::string MixedArchive()
{
    return ArchiveBuilder()
        .Add("b.bin", std::string(30, 'b'))
        .Add("C.BIN", std::string(10, 'c'))
        .Add("A.BIN", std::string(20, 'a'))
        .Add("a.bin", std::string(10, 'd'))
        .Build();
}

} // namespace

TEST(EntryList, HumanSizesAndGroupedCounts)
{
    const std::pair<int64_t, const char *> sizes[] = {
        {-1, ""},
        {0, "0 bytes"},
        {1, "1 byte"},
        {1023, "1023 bytes"},
        {1024, "1.0 KiB"},
        {12390, "12.1 KiB"},
        {1048575, "1.0 MiB"},
        {3565158, "3.4 MiB"},
        {int64_t(1288490189), "1.2 GiB"},
    };
    for (const auto &[bytes, text] : sizes)
        EXPECT_EQ(logic::HumanSize(bytes), text) << bytes;
    EXPECT_EQ(logic::GroupedNumber(37), "37");
    EXPECT_EQ(logic::GroupedNumber(12605), "12,605");
    EXPECT_EQ(logic::GroupedNumber(200000), "200,000");
    EXPECT_EQ(logic::GroupedNumber(1234567), "1,234,567");
}

TEST(EntryList, AColumnSortsTheWholeListAgainTheOtherWayAndTheRecordColumnBack)
{
    Main m;
    m.Open(m.Write("mixed.kvb", MixedArchive()));
    EXPECT_EQ(Records(m.v), (Lines{"1", "2", "3", "4"}));
    EXPECT_EQ(m.v.rows[0][4], "30 bytes");
    EXPECT_EQ(m.v.sortColumn, -1);

    // By name, ASCII case ignored, equal names in table order; again: the other way round.
    m.Do([&] { m.main.lstFilesColumnClick(0); });
    EXPECT_EQ(Names(m.v), (Lines{"A.BIN", "a.bin", "b.bin", "C.BIN"}));
    EXPECT_EQ(Records(m.v), (Lines{"3", "4", "1", "2"}));
    EXPECT_EQ(m.v.sortColumn, 0);
    EXPECT_FALSE(m.v.sortDescending);
    m.Do([&] { m.main.lstFilesColumnClick(0); });
    EXPECT_EQ(Records(m.v), (Lines{"2", "1", "4", "3"}));
    EXPECT_TRUE(m.v.sortDescending);

    // By length; by position, which is table order here, the other way round.
    m.Do([&] { m.main.lstFilesColumnClick(2); });
    EXPECT_EQ(Records(m.v), (Lines{"2", "4", "3", "1"}));
    m.Do([&] { m.main.lstFilesColumnClick(1); });
    m.Do([&] { m.main.lstFilesColumnClick(1); });
    EXPECT_EQ(Records(m.v), (Lines{"4", "3", "2", "1"}));

    // The record column: table order, the list as it always was.
    m.Do([&] { m.main.lstFilesColumnClick(3); });
    EXPECT_EQ(Records(m.v), (Lines{"1", "2", "3", "4"}));
    EXPECT_EQ(m.v.sortColumn, -1);

    // The handlers take the record a sorted row stands for.
    m.Do([&] { m.main.lstFilesColumnClick(2); });
    m.v.selectedRow = 0;
    const std::string target = m.dir / "out.bin";
    m.dialogs.files.push_back(target);
    m.Do([&] { m.main.btnExtractClick(); });
    EXPECT_EQ(m.dialogs.lastFile.FileName, "C.BIN");
    EXPECT_EQ(ReadFile(target), std::string(10, 'c'));
}

TEST(EntryList, ASortSpansEveryBlockWhoseLabelsStayAsTheyAre)
{
    Main m;
    m.Open(m.Write("big.kvb", NumberedArchive(2500)));
    m.Do([&] { m.main.lstFilesColumnClick(3); }); // record numbers, descending
    EXPECT_EQ(m.v.labels, (Lines{"1-1000", "1001-2000", "2001-2500"}));
    EXPECT_EQ(m.v.chosenLabel, 0);
    EXPECT_EQ(m.v.rows[0][0], "E2499.BIN");
    EXPECT_EQ(m.v.rows[0][3], "2500");
    m.ChooseBlock(2);
    ASSERT_EQ(m.v.rows.size(), 500u);
    EXPECT_EQ(m.v.rows[499][0], "E0.BIN");

    // Find goes on in the order shown.
    m.dialogs.texts.push_back("E1");
    m.Do([&] { m.main.FindClick(); });
    EXPECT_EQ(m.v.rows[size_t(m.v.selectedRow)][0], "E1999.BIN");
}

TEST(EntryList, AFilterListsMatchesFromEveryBlockInBlocksOfTheirOwnWithTheCount)
{
    Main m;
    m.Open(m.Write("big.kvb", NumberedArchive(2500)));
    // E24, E240 to E249 and E2400 to E2499; typed in small letters.
    m.v.filterText = "e24";
    m.Do([&] { m.main.edtFilterChange(); });
    EXPECT_EQ(m.v.filterCount, "111 of 2,500");
    EXPECT_EQ(m.v.labels, Lines{"1-111"});
    ASSERT_EQ(m.v.rows.size(), 111u);
    EXPECT_EQ(m.v.rows[0][0], "E24.BIN");
    EXPECT_EQ(m.v.rows[0][3], "25");
    EXPECT_EQ(m.v.rows[110][0], "E2499.BIN");

    // Sorted too; a filtered row still extracts its own record.
    m.Do([&] { m.main.lstFilesColumnClick(0); });
    m.Do([&] { m.main.lstFilesColumnClick(0); });
    EXPECT_EQ(m.v.rows[1][0], "E2498.BIN");
    m.v.selectedRow = 1;
    const std::string target = m.dir / "out.bin";
    m.dialogs.files.push_back(target);
    m.Do([&] { m.main.btnExtractClick(); });
    EXPECT_EQ(ReadFile(target), Main::Entry(m.dir / "big.kvb", 2498));

    // More matches than a block: blocks of the matches. Nothing matches: the empty block.
    m.v.filterText = "E";
    m.Do([&] { m.main.edtFilterChange(); });
    EXPECT_EQ(m.v.filterCount, "2,500 of 2,500");
    EXPECT_EQ(m.v.labels, (Lines{"1-1000", "1001-2000", "2001-2500"}));
    for (const char *nowhere : {"X", "\xCE\xA9"}) { // Omega: no Windows-1252 letter
        m.v.filterText = nowhere;
        m.Do([&] { m.main.edtFilterChange(); });
        EXPECT_EQ(m.v.filterCount, "0 of 2,500");
        EXPECT_EQ(m.v.labels, Lines{"1-0"});
        EXPECT_TRUE(m.v.rows.empty());
        m.Do([&] { m.main.btnExtractClick(); });
        EXPECT_EQ(m.dialogs.Last(), "notice: Select a file to extract first!");
    }

    // No filter: the blocks of the archive, still sorted; another archive starts afresh.
    m.v.filterText.clear();
    m.Do([&] { m.main.edtFilterChange(); });
    EXPECT_EQ(m.v.filterCount, "");
    EXPECT_EQ(m.v.labels, (Lines{"1-1000", "1001-2000", "2001-2500"}));
    EXPECT_EQ(m.v.rows[0][0], "E999.BIN");
    m.v.filterText = "E1";
    m.Do([&] { m.main.edtFilterChange(); });
    m.Open(m.Write("two.kvb", NumberedArchive(20)));
    EXPECT_EQ(m.v.filterText, "");
    EXPECT_EQ(m.v.filterCount, "");
    EXPECT_EQ(m.v.sortColumn, -1);
    EXPECT_EQ(Records(m.v)[19], "20");
}

TEST(EntryList, ARewriteKeepsTheSortAndTheFilterAndShowsTheReplacedEntry)
{
    Main m;
    const std::string path = m.Write("mixed.kvb", MixedArchive());
    m.Open(path);
    m.v.filterText = "bin";
    m.Do([&] { m.main.edtFilterChange(); });
    m.Do([&] { m.main.lstFilesColumnClick(0); });
    m.v.selectedRow = 2; // b.bin, record 1
    m.dialogs.files.push_back(m.Write("new.bin", "replaced"));
    m.dialogs.answers.push_back(true);
    m.Do([&] { m.main.mnuReplaceClick(); });
    EXPECT_EQ(Main::Entry(path, 0), "replaced");
    EXPECT_EQ(m.v.filterCount, "4 of 4");
    EXPECT_EQ(m.v.sortColumn, 0);
    EXPECT_EQ(m.v.selectedRow, 2);
    EXPECT_EQ(m.v.rows[2][0], "b.bin");
}

TEST(EntryList, SeveralRowsExtractIntoOneFolderAsExtractAllNamesThem)
{
    Main m;
    m.Open(m.Write("a.kvb", ArchiveBuilder()
                                .Add("ONE.BIN", "1")
                                .Add("a:b", "x")
                                .Add("TWO.BIN", "2")
                                .Add("ONE.BIN", "later")
                                .Add("SKIP.BIN", "s")
                                .Build()));
    // Sorted by name, so that the rows stand in another order than their records.
    m.Do([&] { m.main.lstFilesColumnClick(0); });
    ASSERT_EQ(Names(m.v), (Lines{"a:b", "ONE.BIN", "ONE.BIN", "SKIP.BIN", "TWO.BIN"}));
    m.v.selectedRows = {0, 1, 2, 4};
    const std::string out = (m.dir / "out") + "/";
    fs::create_directory(m.dir / "out");
    m.dialogs.folders.push_back(out);
    m.Do([&] { m.main.btnExtractClick(); });
    // One question, the folder; the later of two entries of one name stays, as in "Extract all".
    EXPECT_EQ(Listing(m.dir / "out"), (std::set<std::string>{"ONE.BIN", "TWO.BIN"}));
    EXPECT_EQ(ReadFile(m.dir / "out/ONE.BIN"), "later");
    EXPECT_EQ(m.dialogs.Last(), "error: 3 of 4 files extracted; 1 name cannot be a file name: entry 2 "
                                "\"a:b\" (it holds \":\")");
    EXPECT_EQ(m.v.status, "3 of 4 files extracted; 1 name cannot be a file name: entry 2 \"a:b\" (it "
                          "holds \":\")");

    // Ctrl+A: the rows of the list; the menu's Extract... does the same as the button.
    m.Do([&] { m.main.lstFilesSelectAll(); });
    EXPECT_EQ(m.v.selectedRows, (std::vector<int>{0, 1, 2, 3, 4}));
    m.v.selectedRows = {3, 4};
    m.dialogs.folders.push_back(std::nullopt);
    m.Do([&] { m.main.btnExtractClick(); });
    EXPECT_TRUE(m.dialogs.folders.empty());
    EXPECT_EQ(Listing(m.dir / "out").count("SKIP.BIN"), 0u);
    m.dialogs.folders.push_back(out);
    m.Do([&] { m.main.btnExtractClick(); });
    EXPECT_EQ(m.v.status, "2 files extracted to " + out);
    EXPECT_EQ(ReadFile(m.dir / "out/SKIP.BIN"), "s");

    // What makes one file of one entry refuses several.
    m.Do([&] { m.main.mnuReplaceClick(); });
    EXPECT_EQ(m.dialogs.Last(), "notice: Select only one file for this!");
}

TEST(EntryList, ACancelledExtractOfSeveralLeavesWholeFilesOnly)
{
    Main m;
    ArchiveBuilder b;
    for (int i = 0; i < 12; ++i)
        b.Add('F' + std::to_string(i), PatternBytes(size_t(70000 + i), unsigned(i)));
    const std::string path = m.Write("a.kvb", b.Build());
    m.Open(path);
    m.v.selectedRows = {1, 3, 5, 7, 9, 11};
    m.v.whenEvents = [&] {
        if (m.v.progressPosition >= 2)
            m.main.btnCancelClick();
    };
    fs::create_directory(m.dir / "out");
    const std::string out = (m.dir / "out") + "/";
    m.dialogs.folders.push_back(out);
    m.Do([&] { m.main.btnExtractClick(); });
    EXPECT_TRUE(m.dialogs.shown.empty()) << m.dialogs.Last();
    EXPECT_EQ(m.v.status, "Cancelled: 2 of 6 files extracted to " + out);
    // The first two, each whole, and nothing else: no part of a third, no temporary file.
    EXPECT_EQ(Listing(m.dir / "out"), (std::set<std::string>{"F1", "F3"}));
    EXPECT_EQ(ReadFile(m.dir / "out/F1"), Main::Entry(path, 1));
    EXPECT_EQ(ReadFile(m.dir / "out/F3"), Main::Entry(path, 3));
    EXPECT_FALSE(m.v.busy);
}

TEST(EntryList, SeveralTexturesExportIntoOneFolderAndSeveralEntriesOpenEach)
{
    Main m;
    const std::string tex = GradientTex(4, 4).Build();
    m.Open(m.Write("a.kvb", ArchiveBuilder()
                                .Add("GREY.TEX", tex)
                                .Add("../UP.TEX", tex)
                                .Add("SKY.TEX", tex)
                                .Add("T.MID", "m")
                                .Build()));
    m.v.selectedRows = {0, 1, 2};
    const std::string out = (m.dir / "png") + "/";
    fs::create_directory(m.dir / "png");
    m.dialogs.folders.push_back(out);
    m.Do([&] { m.main.mnuExportPngClick(); });
    EXPECT_EQ(Listing(m.dir / "png"), (std::set<std::string>{"GREY.png", "SKY.png"}));
    EXPECT_EQ(ReadFile(m.dir / "png/SKY.png").substr(1, 3), "PNG");
    EXPECT_EQ(
        m.v.status.rfind("2 of 3 files exported; 1 name cannot be a file name: entry 2 \"../UP.TEX\"", 0),
        0u)
        << m.v.status;
    EXPECT_EQ(m.dialogs.Last().rfind("error: 2 of 3 files exported", 0), 0u) << m.dialogs.Last();

    m.v.selectedRows = {0, 2};
    m.dialogs.folders.push_back(out);
    m.Do([&] { m.main.mnuExportPngClick(); });
    EXPECT_EQ(m.v.status, "2 textures exported to " + out);

    // Each entry goes to its program, from a file of its own.
    m.v.selectedRows = {0, 2, 3};
    m.Do([&] { m.main.mnuOpenWithDefaultClick(); });
    ASSERT_EQ(m.v.opened.size(), 3u) << m.dialogs.Last();
    EXPECT_EQ(FileNameOf(m.v.opened[0]), "GREY.TEX.png");
    EXPECT_EQ(FileNameOf(m.v.opened[2]), "T.MID");
    EXPECT_EQ(m.main.EditedFiles().Indices(), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(m.v.status, "3 files are open in other programs; each time one is saved there, it can go "
                          "back into a.kvb.");
}

TEST(EntryList, MoreEntriesThanAreHandedOverAtOnceAreRefusedBeforeAnyOpens)
{
    Main m;
    m.Open(m.Write("a.kvb", NumberedArchive(30)));
    m.Do([&] { m.main.lstFilesSelectAll(); });
    m.Do([&] { m.main.mnuEditWithClick(); });
    EXPECT_EQ(m.dialogs.Last(), "notice: Select at most 20 files to open in other programs at once.");
    EXPECT_TRUE(m.v.opened.empty());
    EXPECT_TRUE(m.main.EditedFiles().Empty());
}
