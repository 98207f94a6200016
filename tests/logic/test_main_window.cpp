// The main window's behaviour through its logic, with a scripted face: every handler's steps,
// messages and questions, the blocks, find, drag and drop, the entry menu and the preview.
#include "logic/scripted_face.h"
#include "platform/program_folder.h"
#include "platform/temp_dir.h"
#include "preview/entry_preview.h"
#include "preview/png_image.h"
#include "preview/tex.h"
#include "support/midi_builder.h"
#include "support/tex_builder.h"
#include "tools/creation.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

std::string EntryData(int i)
{
    return PatternBytes(size_t(8 + i % 5), unsigned(i));
}

struct Main : ScriptedWindows {
    TempDir dir;
    ScriptedMainView &v = mainView;

    std::string Write(const std::string &name, const std::string &bytes)
    {
        WriteFile(dir / name, bytes);
        return dir / name;
    }
    void Open(const std::string &path)
    {
        dialogs.files.push_back(path);
        Do([&] { main.btnOpenClick(); });
    }
    void ChooseBlock(int block)
    {
        v.chosenLabel = block;
        Do([&] { main.cmbListChange(); });
    }
    // Selects the row that stands for record index, choosing its block first.
    void Select(int index)
    {
        ChooseBlock(index / logic::kBlockSize);
        v.selectedRow = index % logic::kBlockSize;
    }
    int SelectedIndex() const
    {
        return v.selectedRow < 0 ? -1 : v.selectedRow + v.chosenLabel * logic::kBlockSize;
    }
    // The bytes of entry index of the archive at path, as a full read finds them.
    static std::string Entry(const std::string &path, int index)
    {
        const TKVBFile catalogue(path, true);
        const TKVB_Entry entry = catalogue.GetEntry(index);
        TFileStream source(path, TFileStream::Mode::OpenRead);
        std::string bytes(size_t(entry.Length), '\0');
        source.Seek(int64_t(entry.Offset) + 24);
        source.ReadBuffer(bytes.data(), entry.Length);
        return bytes;
    }
};

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
    EXPECT_EQ(m.dialogs.shown, Lines{"error: Stream read error.\nReading the table of contents of broken.kvb: the "
                                     "file ends at byte 3937, but record 146 needs bytes up to 3958."});
    EXPECT_FALSE(m.v.busy);
    EXPECT_EQ(m.v.info, info);
    EXPECT_EQ(m.v.labels, (Lines{"1-1000", "1001-1200"}));
    EXPECT_EQ(m.v.rows.size(), 200u);
    ASSERT_NE(m.main.Catalogue(), nullptr);
    EXPECT_EQ(m.main.Catalogue()->Count(), 1200);

    m.Open(m.dir / "missing.kvb");
    EXPECT_EQ(m.dialogs.Last(), "error: Cannot open file " + (m.dir / "missing.kvb") + ": it does not exist.");
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

    m.Open(m.Write("bad.kvb", ArchiveBuilder().Add("FIRST", "1").Add("..", "2").Add("LAST", "3").Build()));
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

TEST(MainWindowLogic, CreateSaysWhichNamesWillNotComeOutAgainAsTheyWentIn)
{
    Main m;
    const std::string templatePath = JoinPath(ExecutableFolder(), "KVB.3");
    try {
        WriteFile(PathFromUtf8(templatePath), StandardValidation());
    } catch (const std::exception &) {
        GTEST_SKIP() << "the program's folder cannot be written here";
    }
    // Cut to 20 bytes, the first two differ only in the case of an accented letter, and the
    // third ends in a dot.
    const std::string first = "aaaaaaaaaaaaaaaaaaa\xC3\x89" "1.tex", second = "aaaaaaaaaaaaaaaaaaa\xC3\xA9" "2.tex";
    fs::create_directory(m.dir.Path() / "src");
    for (const std::string &name : {first, second, std::string("abcdefghijklmnopqrs.tex")})
        WriteFile(PathFromUtf8(m.dir / ("src/" + name)), name);
    m.dialogs.folders.push_back(m.dir / "src");
    m.dialogs.files.push_back(m.dir / "new.kvb");
    m.Do([&] { m.main.btnCreateClick(); });
    fs::remove(PathFromUtf8(templatePath));
    ASSERT_EQ(m.dialogs.shown.size(), 2u) << m.dialogs.Last();
    EXPECT_EQ(m.dialogs.shown[1],
              "notice: The archive was created. Some of its names will not come out again "
              "everywhere as they went in:\n"
              "file " + first + " is stored under the name \"aaaaaaaaaaaaaaaaaaa\xC3\x89\", as an "
              "archive keeps at most 20 bytes of a name\n"
              "file " + second + " is stored under the name \"aaaaaaaaaaaaaaaaaaa\xC3\xA9\", as an "
              "archive keeps at most 20 bytes of a name\n"
              "files " + first + " and " + second + " are stored under the names "
              "\"aaaaaaaaaaaaaaaaaaa\xC3\x89\" and \"aaaaaaaaaaaaaaaaaaa\xC3\xA9\", which differ "
              "only in the case of letters outside A to Z: where file names ignore case (as on "
              "Windows), they are extracted into one file\n"
              "file abcdefghijklmnopqrs.tex is stored under the name \"abcdefghijklmnopqrs.\", as "
              "an archive keeps at most 20 bytes of a name; that name cannot be a file name on "
              "Windows (Windows drops a final dot)");
    EXPECT_EQ(m.v.status, "new.kvb created from 3 files in " + m.main.selFolder.Path());
    const TKVBFile created(m.dir / "new.kvb", false);
    EXPECT_EQ(created.EntryCount(), 3);
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

TEST(MainWindowLogic, CreateWarnsFirstAndWithoutATemplateWritesNothing)
{
    Main m;
    fs::create_directory(m.dir.Path() / "src");
    for (const char *name : {"a", "b", "c", "d"})
        WriteFile(m.dir / (std::string("src/") + name), name);
    m.dialogs.folders.push_back(m.dir / "src");
    m.dialogs.files.push_back(m.dir / "out.kvb");
    m.Do([&] { m.main.btnCreateClick(); });
    ASSERT_EQ(m.dialogs.shown.size(), 2u);
    EXPECT_EQ(m.dialogs.shown[0].rfind("notice: WARNING! The \"Create KVB\" function", 0), 0u);
    EXPECT_EQ(m.dialogs.shown[1].rfind("notice: " + kNoTemplateMessage + "\nCreating an archive of 4 files needs "
                                       "the template KVB.4, which is in none of these folders: ", 0), 0u)
        << m.dialogs.shown[1];
    EXPECT_EQ(m.dialogs.lastFile.Filter, "KVB Archives|*.KVB|All files|*.*");
    EXPECT_EQ(m.dialogs.lastFile.DefaultExtension, "KVB");
    EXPECT_FALSE(fs::exists(m.dir / "out.kvb"));

    // Cancelling the folder chooser stops after the warning.
    m.dialogs.folders.push_back(std::nullopt);
    m.Do([&] { m.main.btnCreateClick(); });
    EXPECT_EQ(m.dialogs.shown.size(), 3u);
}

TEST(MainWindowLogic, CreateThenAnalyseTheNewArchive)
{
    Main m;
    // The window looks for templates next to the program only.
    const std::string templatePath = JoinPath(ExecutableFolder(), "KVB.11");
    try {
        WriteFile(PathFromUtf8(templatePath), StandardValidation());
    } catch (const std::exception &) {
        GTEST_SKIP() << "the program's folder cannot be written here";
    }
    fs::create_directory(m.dir.Path() / "src");
    for (int i = 0; i < 11; ++i)
        WriteFile(m.dir / ("src/F" + std::to_string(i)), std::string(size_t(i), 'x'));
    m.dialogs.folders.push_back(m.dir / "src");
    m.dialogs.files.push_back(m.dir / "new.kvb");
    m.Do([&] { m.main.btnCreateClick(); });
    fs::remove(PathFromUtf8(templatePath));
    ASSERT_EQ(m.dialogs.shown.size(), 1u) << m.dialogs.Last();
    EXPECT_TRUE(m.v.info.empty()); // creation leaves the window as it was

    m.v.fullRead = false;
    m.Open(m.dir / "new.kvb");
    m.Do([&] { m.main.btnAnalyseClick(); });
    EXPECT_EQ(m.dialogs.shown.size(), 1u) << m.dialogs.Last();
    EXPECT_EQ(m.v.info, (Lines{"File: new.kvb", "# of files in archive: 11", "Creator: SQUARESOFT",
                               "Description: FINAL FANTASY7", "", "Section 1: Header: 313 bytes.",
                               "Section 2: Error check: 3602 bytes.",
                               "0 files have mismatched filenames.",
                               "There are no data gaps in the file (OK)."}));
    // The list keeps the rows of the earlier read; the catalogue now has the lengths.
    EXPECT_EQ(m.v.rows[3][2], "-1");
    EXPECT_EQ(m.main.Catalogue()->GetEntry(3).Name, "F2"); // F0, F1, F10, F2, ...
    EXPECT_EQ(m.main.Catalogue()->GetEntry(3).Length, 2);
}

TEST(MainWindowLogic, AnalyseStopsWhereTheReportCannotGoOn)
{
    Main m;
    m.Do([&] { m.main.btnAnalyseClick(); });
    EXPECT_EQ(m.dialogs.shown, Lines{"notice: Open an archive before choosing Analyse!"});

    // An archive without entries gets a whole report.
    m.Open(m.Write("empty.kvb", ArchiveBuilder().Build()));
    m.Do([&] { m.main.btnAnalyseClick(); });
    EXPECT_EQ(m.dialogs.shown.size(), 1u) << m.dialogs.Last();
    EXPECT_EQ(m.v.info, (Lines{"File: empty.kvb", "# of files in archive: 0", "Creator: SQUARESOFT",
                               "Description: ", "", "Section 1: Header: 16 bytes.",
                               "Section 2: Error check: unknown, as the archive has no entries to end it.",
                               "0 files have mismatched filenames.",
                               "There are no data gaps in the file (OK)."}));

    // A hidden archive can be opened but not analysed; the info lines stay.
    m.Open(m.Write(".hidden.kvb", NumberedArchive(2)));
    const Lines before = m.v.info;
    m.Do([&] { m.main.btnAnalyseClick(); });
    EXPECT_EQ(m.dialogs.Last(), "error: Couldn't retrieve file information!");
    EXPECT_EQ(m.v.info, before);
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

TEST(MainWindowLogic, LinksOpenTheAuthorsAddresses)
{
    Main m;
    m.Do([&] { m.main.Label3Click(); });
    m.Do([&] { m.main.Label4Click(); });
    ASSERT_EQ(m.v.links.size(), 2u);
    EXPECT_EQ(m.v.links[0].rfind("mailto:", 0), 0u);
    EXPECT_EQ(m.v.links[1].rfind("http", 0), 0u);
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

// --- The entry menu ----------------------------------------------------------------------------

namespace {

// 1,005 entries, so that the last ones lie in the second block; a texture and a tune among them.
struct MenuMain : Main {
    std::string path = dir / "a.kvb";
    TexBuilder texture = GradientTex(16, 8);

    MenuMain()
    {
        ArchiveBuilder b;
        for (int i = 0; i < 1003; ++i)
            b.Add('E' + std::to_string(i) + ".BIN", PatternBytes(10, unsigned(i)));
        b.Add("PIC.TEX", texture.Build());
        b.Add("TUNE.MID", SimpleTune());
        WriteFile(path, b.Build());
        Open(path);
    }
};

} // namespace

TEST(EntryMenuLogic, OffersWhatFitsTheEntry)
{
    MenuMain m;
    logic::TEntryMenu menu = m.main.EntryMenu();
    EXPECT_FALSE(menu.Selected);
    m.Select(1003);
    menu = m.main.EntryMenu();
    EXPECT_TRUE(menu.Selected && menu.Texture && !menu.Music);
    m.Select(1004);
    menu = m.main.EntryMenu();
    EXPECT_TRUE(menu.Selected && !menu.Texture && menu.Music);
    m.Select(0);
    menu = m.main.EntryMenu();
    EXPECT_TRUE(menu.Selected && !menu.Texture && !menu.Music && !menu.Playing);
    m.player.mode = MediaMode::Playing;
    EXPECT_TRUE(m.main.EntryMenu().Playing);
}

TEST(EntryMenuLogic, ReplaceAsksRewritesAndShowsTheSameBlockAgain)
{
    MenuMain m;
    const std::string before = ReadFile(m.path);
    m.Select(1002);
    WriteFile(m.dir / "new.bin", "new data, longer than before");

    // No: nothing changes.
    m.dialogs.files.push_back(m.dir / "new.bin");
    m.dialogs.answers.push_back(false);
    m.Do([&] { m.main.mnuReplaceClick(); });
    EXPECT_EQ(ReadFile(m.path), before);
    ASSERT_EQ(m.dialogs.shown.size(), 1u);
    EXPECT_EQ(m.dialogs.shown[0],
              "question Replace entry: The archive file a.kvb will be rewritten, with the data of "
              "entry E1002.BIN replaced by new.bin. Everything else stays as it is. Continue?");

    m.dialogs.files.push_back(m.dir / "new.bin");
    m.dialogs.answers.push_back(true);
    m.Do([&] { m.main.mnuReplaceClick(); });
    EXPECT_EQ(m.dialogs.shown.size(), 2u) << m.dialogs.Last();
    EXPECT_EQ(Main::Entry(m.path, 1002), "new data, longer than before");
    EXPECT_EQ(Main::Entry(m.path, 1003), m.texture.Build());
    EXPECT_EQ(m.v.chosenLabel, 1);
    EXPECT_EQ(m.SelectedIndex(), 1002);
    EXPECT_EQ(m.v.rows[size_t(m.v.selectedRow)][2], "28");
}

TEST(EntryMenuLogic, ReplaceWhileTheArchiveIsHeldByAnEditorLosesNothing)
{
    MenuMain m;
    const std::string before = ReadFile(m.path);
    m.Select(2);
    WriteFile(m.dir / "new.bin", "new");
    TRawKVBFile editor(m.path);
    m.dialogs.files.push_back(m.dir / "new.bin");
    m.dialogs.answers.push_back(true);
    m.Do([&] { m.main.mnuReplaceClick(); });
    EXPECT_EQ(m.dialogs.Last(),
              "error: Cannot open file " + m.path + ": another program is editing it.");
    EXPECT_EQ(ReadFile(m.path), before);
}

TEST(EntryMenuLogic, ExportedTextureEditedAndImportedComesBackThroughThePreviewDecoder)
{
    MenuMain m;
    m.Select(1003);
    const std::string png = m.dir / "pic.png";
    m.dialogs.files.push_back(png);
    m.Do([&] { m.main.mnuExportPngClick(); });
    ASSERT_TRUE(m.dialogs.shown.empty()) << m.dialogs.Last();
    EXPECT_EQ(m.dialogs.lastFile.FileName, "PIC.TEX.png");

    // Paint one pixel in a colour of the palette and put the picture back.
    TRgbImage image = DecodePng(ReadFile(png), png);
    const TTexColour target = m.texture.Palette()[200];
    image.Pixels[size_t(2 * image.Width + 3)] = target;
    WriteFile(png, EncodePng(image));
    m.dialogs.files.push_back(png);
    m.dialogs.answers.push_back(true);
    m.Do([&] { m.main.mnuImportPngClick(); });
    ASSERT_EQ(m.dialogs.shown.size(), 1u) << m.dialogs.Last();

    TMemoryStream stream(Main::Entry(m.path, 1003));
    const TTexImage back = TexToBitmap(stream, kTexImageDataPosition);
    EXPECT_EQ(back.IndexAt(3, 2), 200);
    EXPECT_EQ(back.IndexAt(4, 2), m.texture.Indices()[2 * 16 + 4]);
    EXPECT_EQ(m.v.chosenLabel, 1);
}

TEST(EntryMenuLogic, SaveAsWavRendersTheTuneAndStopMusicStopsThePlayer)
{
    MenuMain m;
    m.Select(1004);
    const std::string wav = m.dir / "tune.wav";
    m.dialogs.files.push_back(wav);
    m.Do([&] { m.main.mnuSaveWavClick(); });
    ASSERT_TRUE(m.dialogs.shown.empty()) << m.dialogs.Last();
    ASSERT_EQ(m.rendered.size(), 1u);
    EXPECT_EQ(ReadFile(PathFromUtf8(m.rendered[0].first)), SimpleTune());
    EXPECT_EQ(m.rendered[0].second, wav);

    m.player.mode = MediaMode::Playing;
    m.Do([&] { m.main.mnuStopMusicClick(); });
    EXPECT_EQ(m.player.mode, MediaMode::Stopped);
}

// --- The preview -------------------------------------------------------------------------------

TEST(PreviewLogic, MusicOfTheShownBlockIsExtractedAndPlayed)
{
    Main m;
    ArchiveBuilder b;
    for (int i = 0; i < 2010; ++i)
        b.Add('T' + std::to_string(i) + ".mid", PatternBytes(20, unsigned(i)));
    m.Open(m.Write("a.kvb", b.Build()));
    m.Select(2005);
    m.Do([&] { m.main.lstFilesDblClick(); });
    EXPECT_TRUE(m.dialogs.shown.empty()) << m.dialogs.Last();
    EXPECT_EQ(m.player.openedFile, GetTempDir() + "T2005.mid");
    EXPECT_EQ(m.player.fileContentAtOpen, PatternBytes(20, 2005));
    EXPECT_EQ(PreviewTempFile, GetTempDir() + "T2005.mid");

    // The same tune again: stopped, closed and started afresh.
    m.player.calls.clear();
    m.Do([&] { m.main.lstFilesDblClick(); });
    EXPECT_EQ(m.player.calls, (Lines{"mode", "stop", "mode", "close", "open", "play"}));
}

TEST(PreviewLogic, OtherEntriesGetTheNoticeAndLeaveTheMusicPlaying)
{
    Main m;
    m.Open(m.Write("a.kvb", ArchiveBuilder().Add("TUNE.MID", "m").Add("readme.txt", "r").Build()));
    m.Do([&] { m.main.lstFilesDblClick(); }); // no row: nothing at all
    EXPECT_TRUE(m.dialogs.shown.empty());
    m.Select(0);
    m.Do([&] { m.main.lstFilesDblClick(); });
    m.Select(1);
    m.player.calls.clear();
    m.Do([&] { m.main.lstFilesDblClick(); });
    EXPECT_EQ(m.dialogs.shown, Lines{"notice: Don't know how to preview this file yet..."});
    EXPECT_TRUE(m.player.calls.empty());
    EXPECT_EQ(m.player.mode, MediaMode::Playing);
}

TEST(PreviewLogic, TexturesGoToThePreviewWindowAndDamageIsReported)
{
    Main m;
    m.Open(m.Write("a.kvb", ArchiveBuilder()
                                .Add("TUNE.MID", "m")
                                .Add("BIG.TEX", GradientTex(640, 480).Build())
                                .Add("flat.tex", TexBuilder::Direct(0, 7, {}).Build())
                                .Add("DAMAGED.TEX", GradientTex(32, 32).CutShort(2000).Build())
                                .Build()));
    m.Select(0);
    m.Do([&] { m.main.lstFilesDblClick(); });
    m.Select(1);
    m.Do([&] { m.main.lstFilesDblClick(); });
    EXPECT_TRUE(m.dialogs.shown.empty()) << m.dialogs.Last();
    ASSERT_TRUE(m.texView.texture);
    EXPECT_EQ(m.texView.texture->Width, 640);
    EXPECT_EQ(m.texView.zoom, 100);
    EXPECT_EQ(m.player.mode, MediaMode::NotReady); // the music stopped and closed

    m.Select(3);
    m.Do([&] { m.main.lstFilesDblClick(); });
    EXPECT_EQ(m.dialogs.shown, Lines{"error: Stream read error.\nReading texture DAMAGED.TEX: the file ends at "
                                     "byte 284, but its palette of 256 colours needs bytes up to 1308."});
    EXPECT_EQ(m.texView.shows, 1);

    // A texture without pixels is said to be one, not shown as a window of no width.
    m.Select(2);
    m.Do([&] { m.main.lstFilesDblClick(); });
    EXPECT_EQ(m.dialogs.Last(), "notice: The texture has no pixels (0 x 7), so there is nothing to show.");
    EXPECT_EQ(m.texView.shows, 1);
}

TEST(PreviewLogic, TheTempFileGoesWithTheMainWindow)
{
    std::string path;
    {
        Main m;
        m.Open(m.Write("a.kvb", ArchiveBuilder().Add("ONE.MID", "1").Build()));
        m.Select(0);
        m.Do([&] { m.main.lstFilesDblClick(); });
        path = PreviewTempFile;
        ASSERT_TRUE(fs::exists(PathFromUtf8(path)));
        m.main.FormDestroy();
    }
    EXPECT_FALSE(fs::exists(PathFromUtf8(path)));
}

TEST(PreviewLogic, MusicThatCannotBePlayedIsNamedAsTheListShowsIt)
{
    Main m;
    m.Open(m.Write("a.kvb", ArchiveBuilder().Add("BROKEN.MID", "MThd").Build()));
    m.player.openError = "the file ends inside the chunk at byte 4.";
    m.Select(0);
    m.Do([&] { m.main.lstFilesDblClick(); });
    EXPECT_EQ(m.dialogs.Last(), "error: Cannot play BROKEN.MID: the file ends inside the chunk at byte 4.");
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
                              "\"AppPath\"=\"") + appPath + "\"\n");
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
