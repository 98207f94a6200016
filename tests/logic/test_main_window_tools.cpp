// The main window's Create KVB and Analyse through its logic, with a scripted face: the warning,
// the templates, the names that will not come out again, and the report.
#include "logic/main_window_fixture.h"
#include "platform/program_folder.h"
#include "tools/creation.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

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
    const std::string first = "aaaaaaaaaaaaaaaaaaa\xC3\x89"
                              "1.tex",
                      second = "aaaaaaaaaaaaaaaaaaa\xC3\xA9"
                               "2.tex";
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
              "file " +
                  first +
                  " is stored under the name \"aaaaaaaaaaaaaaaaaaa\xC3\x89\", as an "
                  "archive keeps at most 20 bytes of a name\n"
                  "file " +
                  second +
                  " is stored under the name \"aaaaaaaaaaaaaaaaaaa\xC3\xA9\", as an "
                  "archive keeps at most 20 bytes of a name\n"
                  "files " +
                  first + " and " + second +
                  " are stored under the names "
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
    EXPECT_EQ(m.dialogs.shown[1].rfind("notice: " + kNoTemplateMessage +
                                           "\nCreating an archive of 4 files needs "
                                           "the template KVB.4, which is in none of these folders: ",
                                       0),
              0u)
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
    EXPECT_EQ(m.v.info,
              (Lines{"File: new.kvb", "# of files in archive: 11", "Creator: SQUARESOFT",
                     "Description: FINAL FANTASY7", "", "Section 1: Header: 313 bytes.",
                     "Section 2: Error check: 3602 bytes.", "0 files have mismatched filenames.",
                     "There are no data gaps in the file (OK)."}));
    // The list keeps the rows of the earlier read; the catalogue now has the lengths.
    EXPECT_EQ(m.v.rows[3][2], "-1");
    EXPECT_EQ(m.main.Catalogue()->GetEntry(3).Name, "F2"); // F0, F1, F10, F2, ...
    EXPECT_EQ(m.main.Catalogue()->GetEntry(3).Length, 2);
}

TEST(MainWindowLogic, AnalyseShowsTheWholeReportInItsWindowWhichCopiesIt)
{
    Main m;
    m.Open(m.Write("two.kvb", NumberedArchive(2)));
    const Lines opened = m.v.info;
    // Copied while the window is up; the info lines hold the report as ever.
    m.reportView.whileShown = [&] { m.Do([&] { m.report.btnCopyClick(); }); };
    m.Do([&] { m.main.btnAnalyseClick(); });
    ASSERT_EQ(m.reportView.shows, 1) << m.dialogs.Last();
    EXPECT_EQ(m.reportView.caption, "Analysis of two.kvb");
    EXPECT_EQ(m.reportView.lines, m.v.info);
    EXPECT_NE(m.v.info, opened);
    std::string text;
    for (const std::string &line : m.v.info)
        text += line + "\n";
    EXPECT_EQ(m.reportView.copied, Lines{text});
    // Closed, it lets go of the report.
    EXPECT_TRUE(m.report.Lines().empty());
    EXPECT_TRUE(m.dialogs.shown.empty()) << m.dialogs.Last();

    // No report, no window.
    m.Open(m.Write(".hidden.kvb", NumberedArchive(2)));
    m.Do([&] { m.main.btnAnalyseClick(); });
    EXPECT_EQ(m.dialogs.Last(), "error: Couldn't retrieve file information!");
    EXPECT_EQ(m.reportView.shows, 1);
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
    EXPECT_EQ(m.v.info,
              (Lines{"File: empty.kvb", "# of files in archive: 0", "Creator: SQUARESOFT",
                     "Description: ", "", "Section 1: Header: 16 bytes.",
                     "Section 2: Error check: unknown, as the archive has no entries to end it.",
                     "0 files have mismatched filenames.", "There are no data gaps in the file (OK)."}));

    // A hidden archive can be opened but not analysed; the info lines stay.
    m.Open(m.Write(".hidden.kvb", NumberedArchive(2)));
    const Lines before = m.v.info;
    m.Do([&] { m.main.btnAnalyseClick(); });
    EXPECT_EQ(m.dialogs.Last(), "error: Couldn't retrieve file information!");
    EXPECT_EQ(m.v.info, before);
}
