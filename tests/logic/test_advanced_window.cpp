// The advanced editor window's behaviour through its logic, with a scripted face: both lists in
// blocks, link, append, truncate, find, and the read-only question.
#include "archive/catalogue.h"
#include "archive/edit_journal.h"
#include "archive/raw_archive.h"
#include "logic/scripted_face.h"
#include "platform/file_attributes.h"
#include "platform/program_folder.h"
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;
using DataRow = logic::TAdvancedView::TDataRow;
using TableRow = logic::TAdvancedView::TTableRow;

struct Editor : ScriptedWindows {
    TempDir dir;
    ScriptedAdvancedView &a = advancedView;
    std::string path = dir / "a.kvb";

    void Edit(const std::string &archive)
    {
        // Closed first: Windows lets no one write a file that an editor holds.
        advanced.FormClose();
        WriteFile(path, archive);
        bool opened = false;
        Do([&] { opened = advanced.OpenForEdit(path); });
        ASSERT_TRUE(opened) << dialogs.Last();
    }
    void ChooseTable(int block)
    {
        a.tableChosen = block;
        Do([&] { advanced.cmbTableChange(); });
    }
    void ChooseData(int block)
    {
        a.dataChosen = block;
        Do([&] { advanced.cmbHeaderChange(); });
    }
    std::string Append(const std::string &name, const std::string &bytes)
    {
        fs::create_directories(dir.Path() / "elsewhere");
        WriteFile(dir / ("elsewhere/" + name), bytes);
        dialogs.files.push_back(dir / ("elsewhere/" + name));
        const size_t before = dialogs.shown.size();
        Do([&] { advanced.btnAppendClick(); });
        return dialogs.shown.size() > before ? dialogs.Last() : std::string();
    }
};

bool OwnerMayWrite(const std::string &path)
{
#ifdef _WIN32
    return !FileAttributes(path)->ReadOnly;
#else
    return (fs::status(path).permissions() & fs::perms::owner_write) != fs::perms::none;
#endif
}

} // namespace

TEST(AdvancedWindowLogic, BothSidesAreShownInBlocksOfAThousand)
{
    Editor e;
    e.Edit(NumberedEntries(2500).Build());
    EXPECT_EQ(e.a.info, (Lines{"File: a.kvb", "Creator: SQUARESOFT", "Description: FINAL FANTASY7",
                               "File has 2500 active files.", "File has 2500 data files in it."}));
    EXPECT_EQ(e.a.tableLabels, (Lines{"1-1000", "1001-2000", "2001-2500"}));
    EXPECT_EQ(e.a.dataLabels, e.a.tableLabels);
    EXPECT_EQ(e.a.tableRows.size(), 1000u);
    EXPECT_EQ(e.a.dataRows[999], (DataRow{"1000", "E999.BIN", "12"}));

    e.ChooseTable(2);
    ASSERT_EQ(e.a.tableRows.size(), 500u);
    EXPECT_EQ(e.a.tableRows[499], (TableRow{"E2499.BIN", "2500) E2499.BIN"}));
    EXPECT_EQ(e.a.dataRows.size(), 1000u);

    e.a.tableSelected = 7;
    e.ChooseTable(2); // the block shown: the list is not filled again
    EXPECT_EQ(e.a.tableSelected, 7);

    e.Edit(NumberedEntries(1000).Build());
    EXPECT_EQ(e.a.dataLabels, Lines{"1-1000"});
}

TEST(AdvancedWindowLogic, LinkRewritesOnlyTheOffsetOfTheChosenRecord)
{
    Editor e;
    ArchiveBuilder builder = NumberedEntries(2500);
    e.Edit(builder.Build());
    std::string before = ReadFile(e.path);

    e.a.tableSelected = 5;
    e.Do([&] { e.advanced.btnLinkClick(); });
    EXPECT_EQ(e.dialogs.shown, Lines{"notice: Select an item in BOTH lists before trying to link them!"});

    e.ChooseTable(1);
    e.ChooseData(2);
    e.a.tableSelected = 5;
    e.a.dataSelected = 7;
    e.Do([&] { e.advanced.btnLinkClick(); });
    EXPECT_EQ(e.dialogs.shown.size(), 1u);
    EXPECT_EQ(e.a.tableRows[5][1], "2008) E2007.BIN");
    PatchTocOffset(before, 1005, builder.OffsetOf(2007));
    EXPECT_EQ(ReadFile(e.path), before);
}

TEST(AdvancedWindowLogic, ClickingARecordSelectsItsDataRowOnlyInTheShownBlock)
{
    Editor e;
    e.Edit(NumberedEntries(2500).Build());
    e.ChooseTable(1);
    e.a.tableSelected = 233;
    ASSERT_EQ(e.a.tableRows[233][1], "1234) E1233.BIN");
    e.Do([&] { e.advanced.lstTableClick(); });
    EXPECT_EQ(e.a.dataSelected, -1);

    e.ChooseData(1);
    e.a.focused = logic::TAdvancedView::TList::Table;
    e.Do([&] { e.advanced.lstTableClick(); });
    EXPECT_EQ(e.a.dataSelected, 233);
    EXPECT_EQ(e.a.focused, logic::TAdvancedView::TList::Table); // the focus does not move
}

TEST(AdvancedWindowLogic, AppendWritesTheEntryAndShowsItInTheLastBlock)
{
    Editor e;
    e.Edit(NumberedEntries(12).Build());
    const std::string before = ReadFile(e.path);
    const std::string data = PatternBytes(300, 7);
    EXPECT_EQ(e.Append("NEW.TEX", data), "");
    EXPECT_EQ(e.a.dataRows[12], (DataRow{"13", "NEW.TEX", ""}));
    EXPECT_EQ(Lines(e.a.info.begin() + 3, e.a.info.end()),
              (Lines{"File has 12 active files.", "File has 13 data files in it."}));

    const std::string description = "FINAL FANTASY7";
    std::string header(24, '\0');
    header.replace(0, 7, "NEW.TEX");
    PutInt32LE(header.data() + 20, 300);
    EXPECT_EQ(ReadFile(e.path),
              before.substr(0, before.size() - description.size()) + header + data + description);

    e.Append("ABCDEFGHIJKLMNOPQRSTUVWXY", "z");
    EXPECT_EQ(e.a.dataRows[13], (DataRow{"14", "ABCDEFGHIJKLMNOPQRST", ""}));
    const std::string after = ReadFile(e.path);

    EXPECT_EQ(e.Append("\xe6\x97\xa5.TEX", "abc"),
              "error: The file name \xe6\x97\xa5.TEX cannot be stored in an archive.");
    EXPECT_EQ(ReadFile(e.path), after);
    EXPECT_EQ(e.a.dataRows.size(), 14u);

    // While an earlier block is shown, no row is added.
    e.Edit(NumberedEntries(2500).Build());
    e.Append("NEW.TEX", "abc");
    EXPECT_EQ(e.a.dataRows.size(), 1000u);
    EXPECT_EQ(e.a.info[4], "File has 2501 data files in it.");
}

TEST(AdvancedWindowLogic, TruncateAsksAndCutsFromTheSelectedRowOfTheShownBlock)
{
    Editor e;
    ArchiveBuilder builder = NumberedEntries(2500);
    e.Edit(builder.Build());
    const std::string before = ReadFile(e.path);
    e.Do([&] { e.advanced.btnTruncateClick(); });
    EXPECT_EQ(e.dialogs.shown, Lines{"notice: Select an item to start deletion from!"});

    e.ChooseData(1);
    e.a.dataSelected = 4;
    e.dialogs.answers = {false, true};
    e.Do([&] { e.advanced.btnTruncateClick(); });
    EXPECT_EQ(e.dialogs.Last(),
              "question Warning!: This will delete item 1005 (E1004.BIN) and all 1495 of the items "
              "following it from the file. YOU WILL NOT BE ABLE TO RESTORE THE DATA AT ALL, IT "
              "WILL BE LOST. Continue?");
    EXPECT_EQ(ReadFile(e.path), before);

    e.a.dataSelected = 4;
    e.Do([&] { e.advanced.btnTruncateClick(); });
    EXPECT_EQ(ReadFile(e.path), before.substr(0, size_t(builder.OffsetOf(1004))) + "FINAL FANTASY7");
    EXPECT_EQ(e.a.dataLabels, (Lines{"1-1000", "1001-1004"}));
    EXPECT_EQ(e.a.dataChosen, 0);
    EXPECT_EQ(e.a.info[4], "File has 1004 data files in it.");
}

TEST(AdvancedWindowLogic, TheStatusLineSpeaksOfTheLastEditAndOpeningClearsIt)
{
    Editor e;
    e.Edit(NumberedEntries(12).Build());
    e.Append("colours.png", "png");
    EXPECT_EQ(e.a.status, "colours.png appended.");

    e.a.dataSelected = 10;
    e.dialogs.answers = {true};
    e.Do([&] { e.advanced.btnTruncateClick(); });
    EXPECT_EQ(e.a.status, "Deleted item 11 (E10.BIN) and the 2 items following it.");

    e.a.tableSelected = 3;
    e.a.dataSelected = 7;
    e.Do([&] { e.advanced.btnLinkClick(); });
    EXPECT_EQ(e.a.status, "E3.BIN now points at 8) E7.BIN.");

    // An edit that is not made leaves no word of an earlier one.
    e.a.dataSelected = -1;
    e.Do([&] { e.advanced.btnTruncateClick(); });
    EXPECT_EQ(e.a.status, "");
    e.a.dataSelected = 2;
    e.dialogs.answers = {false};
    e.Do([&] { e.advanced.btnTruncateClick(); });
    EXPECT_EQ(e.a.status, "");

    e.Append("colours.png", "png");
    ASSERT_EQ(e.a.status, "colours.png appended.");
    e.Edit(NumberedEntries(12).Build());
    EXPECT_EQ(e.a.status, "");
}

TEST(AdvancedWindowLogic, TruncatingAllDataLeavesNothingToAppendTo)
{
    Editor e;
    ArchiveBuilder builder = NumberedEntries(5);
    e.Edit(builder.Build());
    const std::string before = ReadFile(e.path);
    e.a.dataSelected = 0;
    e.dialogs.answers = {true};
    e.Do([&] { e.advanced.btnTruncateClick(); });
    EXPECT_NE(e.dialogs.Last().find("delete item 1 (E0.BIN) and all 4 of the items"), std::string::npos);
    EXPECT_TRUE(e.a.dataRows.empty());
    EXPECT_EQ(e.a.dataLabels, Lines{"1-0"});
    for (const TableRow &row : e.a.tableRows)
        EXPECT_EQ(row[1], "");
    const Lines info = e.a.info;
    EXPECT_EQ(info.back(), "File has 0 data files in it.");

    const std::string cut = ReadFile(e.path);
    EXPECT_EQ(cut, before.substr(0, size_t(builder.OffsetOf(0))) + "FINAL FANTASY7");
    EXPECT_EQ(e.Append("NEW.TEX", "abc"), "error: List index out of bounds (-1)");
    EXPECT_EQ(ReadFile(e.path), cut);
    EXPECT_EQ(e.a.info, info);
}

TEST(AdvancedWindowLogic, ReadOnlyArchiveIsEditedOnlyAfterYes)
{
    Editor e;
    const std::string bytes = NumberedEntries(3).Build();
    WriteFile(e.path, bytes);
    e.Do([&] { e.main.OpenArchive(e.path); });
    fs::permissions(e.path, fs::perms::owner_write, fs::perm_options::remove);
    e.dialogs.answers = {false};
    e.Do([&] { e.main.btnAdvancedClick(); });
    EXPECT_EQ(e.dialogs.Last().rfind(
                  "question Error!: This file is read-only. You can only use advanced edit", 0),
              0u);
    EXPECT_FALSE(OwnerMayWrite(e.path));
    EXPECT_EQ(e.advanced.RawFile(), nullptr);
    EXPECT_NE(e.main.Catalogue(), nullptr);

    // Yes makes the file writable even when it then cannot be opened as an archive.
    std::string broken = bytes;
    PatchCount(broken, 900);
    fs::permissions(e.path, fs::perms::owner_write, fs::perm_options::add);
    WriteFile(e.path, broken);
    fs::permissions(e.path, fs::perms::owner_write, fs::perm_options::remove);
    e.dialogs.answers = {true};
    e.Do([&] { e.main.btnAdvancedClick(); });
    EXPECT_EQ(e.dialogs.Last(),
              "error: Stream read error.\nReading the table of contents of a.kvb: the file "
              "ends at byte 3812, but record 141 needs bytes up to 3823.");
    EXPECT_TRUE(OwnerMayWrite(e.path));
    EXPECT_NE(e.main.Catalogue(), nullptr);
}

TEST(AdvancedWindowLogic, FindSearchesTheListWithTheFocus)
{
    Editor e;
    e.Edit(NumberedEntries(1500).Build());
    e.dialogs.texts.push_back("e1499");
    e.Do([&] { e.advanced.FindClick(); });
    EXPECT_EQ(e.a.tableChosen, 1);
    EXPECT_EQ(e.a.tableRows[size_t(e.a.tableSelected)][0], "E1499.BIN");
    EXPECT_EQ(e.a.dataChosen, 0);

    // The question takes the focus, and the window may not have it back when the search starts:
    // the list that had it before is searched.
    e.a.focused = logic::TAdvancedView::TList::Data;
    e.dialogs.whileAsking = [&] { e.a.focused = logic::TAdvancedView::TList::None; };
    e.dialogs.texts.push_back("E1200");
    e.Do([&] { e.advanced.FindClick(); });
    EXPECT_EQ(e.a.dataChosen, 1);
    EXPECT_EQ(e.a.dataRows[size_t(e.a.dataSelected)][1], "E1200.BIN");
}

// What opening found beside the archive is told in the window: here a file in the place of an
// edit record that is not one, which is set aside and the archive left alone.
TEST(AdvancedWindowLogic, OpeningSaysWhatItFoundBesideTheArchive)
{
    Editor e;
    const std::string before = NumberedEntries(3).Build();
    WriteFile(e.path, before);
    WriteFile(EditRecordPathFor(e.path), "not a record");
    bool opened = false;
    e.Do([&] { opened = e.advanced.OpenForEdit(e.path); });
    ASSERT_TRUE(opened);
    ASSERT_EQ(e.dialogs.shown.size(), 1u);
    EXPECT_NE(e.dialogs.shown[0].find("not a readable edit record"), std::string::npos)
        << e.dialogs.shown[0];
    EXPECT_EQ(ReadFile(e.path), before);
}

namespace {

// Stands for kill -9: no handler of the library runs for it.
struct Killed {};

// Cuts an edit short the way a kill at the n-th file operation named op would.
struct KillAt {
    static inline std::string op;
    static inline int left = 0;
    KillAt(std::string operation, int n)
    {
        op = std::move(operation);
        left = n;
        FileWriteHook = [](const char *what) {
            if (op == what && --left == 0)
                throw Killed{};
        };
    }
    ~KillAt() { FileWriteHook = nullptr; }
};

// Leaves the record of a truncation at data record 2 beside path: killed before it wrote to the
// archive, or part way (before the cut).
void LeaveTruncateRecord(const std::string &path, bool partWay)
{
    TRawKVBFile f(path);
    KillAt kill(partWay ? "resize" : "write", partWay ? 1 : 2);
    try {
        f.TruncateFrom(2);
        ADD_FAILURE() << "the truncation was not cut short";
    } catch (const Killed &) {
    }
}

} // namespace

// An append, then a truncation cut short before it wrote, then the archive put back from a copy
// made before the append: the record fits neither, so opening the archive (to read it, and for
// editing) changes nothing, says so, and keeps the record aside.
TEST(EditRecordInTheWindows, AnArchivePutBackFromABackupIsNeverCut)
{
    Editor e;
    const std::string backup = NumberedArchive(5);
    WriteFile(e.path, backup);
    {
        TRawKVBFile f(e.path);
        f.AppendData(DataRecordOf("NEW.BIN", PatternBytes(2000, 9)));
    }
    LeaveTruncateRecord(e.path, false);
    ASSERT_TRUE(fs::exists(EditRecordPathFor(e.path)));
    WriteFile(e.path, backup);

    e.dialogs.files.push_back(e.path);
    e.Do([&] { e.main.btnOpenClick(); });
    ASSERT_EQ(e.dialogs.shown.size(), 1u);
    EXPECT_NE(e.dialogs.Last().find("was ignored"), std::string::npos) << e.dialogs.Last();
    EXPECT_EQ(e.mainView.rows.size(), 5u);

    bool opened = false;
    e.Do([&] { opened = e.advanced.OpenForEdit(e.path); });
    EXPECT_TRUE(opened);
    EXPECT_NE(e.dialogs.Last().find("none of the states"), std::string::npos) << e.dialogs.Last();
    e.advanced.FormClose();
    EXPECT_EQ(ReadFile(e.path), backup);
    EXPECT_FALSE(fs::exists(EditRecordPathFor(e.path)));
}

// Create onto an archive whose edit was cut short part way: the record is settled first (the
// edit undone on the old archive, which is then replaced), and none is left beside the new one.
TEST(EditRecordInTheWindows, CreateOntoAnArchiveSettlesItsRecordFirst)
{
    Editor e;
    const std::string templatePath = JoinPath(ExecutableFolder(), "KVB.3");
    try {
        WriteFile(PathFromUtf8(templatePath), StandardValidation());
    } catch (const std::exception &) {
        GTEST_SKIP() << "the program's folder cannot be written here";
    }
    WriteFile(e.path, NumberedArchive(5));
    LeaveTruncateRecord(e.path, true);
    fs::create_directory(e.dir.Path() / "src");
    for (int i = 0; i < 3; ++i)
        WriteFile(e.dir / ("src/F" + std::to_string(i)), std::string(size_t(10 + i), 'x'));
    e.dialogs.folders.push_back(e.dir / "src");
    e.dialogs.files.push_back(e.path);
    e.Do([&] { e.main.btnCreateClick(); });
    fs::remove(PathFromUtf8(templatePath));
    ASSERT_EQ(e.dialogs.shown.size(), 2u) << e.dialogs.Last();
    EXPECT_NE(e.dialogs.Last().find("has been undone"), std::string::npos) << e.dialogs.Last();
    EXPECT_FALSE(fs::exists(EditRecordPathFor(e.path)));
    EXPECT_EQ(TKVBFile(e.path, true).EntryCount(), 3);
}

#ifndef _WIN32
// A file at the record's name that others may write is not the owner's record: both windows say
// so and apply nothing, and an edit is refused while it stands there.
TEST(EditRecordInTheWindows, ARecordOthersMayWriteIsReportedAndNeverApplied)
{
    Editor e;
    WriteFile(e.path, NumberedArchive(5));
    LeaveTruncateRecord(e.path, true);
    const std::string half = ReadFile(e.path);
    fs::permissions(EditRecordPathFor(e.path), fs::perms::others_write, fs::perm_options::add);

    e.dialogs.files.push_back(e.path);
    e.Do([&] { e.main.btnOpenClick(); });
    EXPECT_NE(e.dialogs.Last().find("not written by the archive's owner (users other than its owner may "
                                    "write it)"),
              std::string::npos)
        << e.dialogs.Last();
    bool opened = false;
    e.Do([&] { opened = e.advanced.OpenForEdit(e.path); });
    EXPECT_TRUE(opened);
    EXPECT_NE(e.dialogs.Last().find("was ignored"), std::string::npos) << e.dialogs.Last();
    e.a.tableSelected = 0;
    e.a.dataSelected = 1;
    e.Do([&] { e.advanced.btnLinkClick(); });
    EXPECT_NE(e.dialogs.Last().find("where the record of the edit goes"), std::string::npos)
        << e.dialogs.Last();
    e.advanced.FormClose();
    EXPECT_EQ(ReadFile(e.path), half);
}
#endif
