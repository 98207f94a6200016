#include "scripted_dialogs.h"
#include "widget_texts.h"
#include "support/archive_builder.h"
#include "tools/creation.h"
#include "ui/app_windows.h"
#include "ui/blocks.h"
#include "ui/kvbviewer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace kvb;
using namespace kvb::test;
using namespace kvb::ui;

namespace {

std::string EntryData(int i)
{
    return PatternBytes(size_t(8 + i % 5), unsigned(i));
}

std::string ArchiveOf(int count)
{
    ArchiveBuilder b;
    for (int i = 0; i < count; ++i)
        b.Add("E" + std::to_string(i) + ".BIN", EntryData(i));
    return b.Build();
}

struct MainWindow {
    TempDir dir;
    ScriptedDialogs dialogs;
    TAppWindows windows = CreateAppWindows(dialogs);
    TfrmKVBEditor &w = *windows.frmKVBEditor;

    QString Write(const std::string &name, const std::string &bytes)
    {
        WriteFile(dir / name, bytes);
        return QString::fromStdString(dir / name);
    }
    void Open(const QString &path)
    {
        dialogs.files.push_back(path);
        QTest::mouseClick(w.btnOpen, Qt::LeftButton);
    }
    void ChooseBlock(int block)
    {
        w.cmbList->setCurrentIndex(block);
        emit w.cmbList->activated(block);
    }
    void SelectRow(int row)
    {
        w.lstFiles->setCurrentItem(w.lstFiles->topLevelItem(row));
    }
};

} // namespace

TEST(MainWindow, ControlsCarryTheirNamesAndTexts)
{
    MainWindow m;
    EXPECT_EQ(m.w.windowTitle(), "KVB Editor");
    EXPECT_EQ(m.w.btnOpen->text(), "Open KVB");
    EXPECT_EQ(m.w.btnExtractAll->text(), "Extract all");
    EXPECT_EQ(m.w.btnAdvanced->text(), "Advanced...");
    EXPECT_TRUE(m.w.chkFullRead->isChecked());
    EXPECT_EQ(m.w.lstFiles->headerItem()->text(2), "File length");
    EXPECT_EQ(m.w.lstFiles->columnWidth(1), 75);
    EXPECT_EQ(m.w.minimumSize(), m.w.maximumSize()); // fixed size
    EXPECT_EQ(m.windows.frmTexView->windowTitle(), "Preview");
    EXPECT_FALSE(m.windows.frmTexView->isVisible());
    EXPECT_EQ(m.w.findChild<QPushButton *>("btnCreate"), m.w.btnCreate);
}

TEST(MainWindow, OpeningShowsBlocksOfAThousandAndTheInfoLines)
{
    MainWindow m;
    m.Open(m.Write("big.kvb", ArchiveOf(2500)));
    EXPECT_TRUE(m.dialogs.shown.isEmpty()) << m.dialogs.shown.join("|").toStdString();
    EXPECT_EQ(Texts(m.w.cmbList), (QStringList{"1-1000", "1001-2000", "2001-2500"}));
    EXPECT_EQ(ShownBlock(m.w.cmbList), 0);
    EXPECT_EQ(m.w.lstFiles->topLevelItemCount(), 1000);
    EXPECT_EQ(m.w.lstFiles->topLevelItem(999)->text(0), "E999.BIN");
    EXPECT_EQ(m.w.lstFiles->topLevelItem(0)->text(2), "8");
    EXPECT_EQ(Texts(m.w.lstInfo),
              (QStringList{"File: big.kvb", "# of files in archive: 2500", "Creator: SQUARESOFT",
                           "Description: FINAL FANTASY7"}));
    EXPECT_EQ(m.w.Status->maximum(), 5000);
    EXPECT_EQ(m.w.Status->value(), 5000);

    m.ChooseBlock(2);
    EXPECT_EQ(m.w.lstFiles->topLevelItemCount(), 500);
    EXPECT_EQ(m.w.lstFiles->topLevelItem(0)->text(0), "E2000.BIN");

    // Another archive always starts at its block 0.
    m.Open(m.Write("two.kvb", ArchiveOf(2000)));
    EXPECT_EQ(Texts(m.w.cmbList), (QStringList{"1-1000", "1001-2000"}));
    EXPECT_EQ(m.w.lstFiles->topLevelItem(0)->text(0), "E0.BIN");
}

TEST(MainWindow, AnArchiveWithoutEntriesHasTheBlockOneToZero)
{
    MainWindow m;
    m.Open(m.Write("empty.kvb", ArchiveBuilder().Build()));
    EXPECT_EQ(Texts(m.w.cmbList), QStringList{"1-0"});
    EXPECT_EQ(m.w.lstFiles->topLevelItemCount(), 0);
    EXPECT_EQ(Texts(m.w.lstInfo).at(1), "# of files in archive: 0");
}

TEST(MainWindow, ChoosingTheShownBlockDoesNotRebuildTheList)
{
    MainWindow m;
    m.Open(m.Write("big.kvb", ArchiveOf(1500)));
    QTreeWidgetItem *before = m.w.lstFiles->topLevelItem(3);
    m.SelectRow(3);
    m.ChooseBlock(0);
    EXPECT_EQ(m.w.lstFiles->topLevelItem(3), before);
    EXPECT_EQ(m.w.lstFiles->currentItem(), before);
}

TEST(MainWindow, WithoutLengthsTheLengthColumnShowsMinusOne)
{
    MainWindow m;
    m.w.chkFullRead->setChecked(false);
    m.Open(m.Write("a.kvb", ArchiveOf(20)));
    for (int r = 0; r < 20; ++r)
        ASSERT_EQ(m.w.lstFiles->topLevelItem(r)->text(2), "-1");
    EXPECT_EQ(Texts(m.w.lstInfo).at(3), "Description: ");
}

TEST(MainWindow, ExtractTakesTheRowOfTheShownBlock)
{
    MainWindow m;
    m.Open(m.Write("big.kvb", ArchiveOf(2500)));
    m.ChooseBlock(2);
    m.SelectRow(5);
    std::string target = m.dir / "out.bin";
    m.dialogs.files.push_back(QString::fromStdString(target));
    QTest::mouseClick(m.w.btnExtract, Qt::LeftButton);
    EXPECT_EQ(m.dialogs.lastFileOptions.fileName, "E2005.BIN");
    EXPECT_EQ(ReadFile(target), EntryData(2005));
}

TEST(MainWindow, ExtractOffersOnlyASafeName)
{
    MainWindow m;
    m.Open(m.Write("a.kvb", ArchiveBuilder().Add("../up.bin", "x").Build()));
    m.SelectRow(0);
    m.dialogs.files.push_back(std::nullopt);
    QTest::mouseClick(m.w.btnExtract, Qt::LeftButton);
    EXPECT_EQ(m.dialogs.lastFileOptions.fileName, "");
}

TEST(MainWindow, MessagesWhenThereIsNothingToWorkOn)
{
    MainWindow m;
    QTest::mouseClick(m.w.btnExtract, Qt::LeftButton);
    QTest::mouseClick(m.w.btnExtractAll, Qt::LeftButton);
    ASSERT_EQ(m.dialogs.shown.size(), 2);
    EXPECT_EQ(m.dialogs.shown[0], "notice: Select a file to extract first!");
    EXPECT_TRUE(m.dialogs.shown[1].startsWith("notice: No archive is open"));

    m.Open(m.Write("a.kvb", ArchiveOf(3)));
    QTest::mouseClick(m.w.btnExtract, Qt::LeftButton);
    EXPECT_EQ(m.dialogs.shown.last(), "notice: Select a file to extract first!");
}

TEST(MainWindow, ExtractAllWritesEveryEntryAndStopsAtAnUnsafeName)
{
    MainWindow m;
    m.Open(m.Write("a.kvb", ArchiveOf(3)));
    std::filesystem::create_directory(m.dir.Path() / "out");
    m.dialogs.folders.push_back(QString::fromStdString(m.dir / "out"));
    QTest::mouseClick(m.w.btnExtractAll, Qt::LeftButton);
    EXPECT_TRUE(m.dialogs.shown.isEmpty());
    EXPECT_EQ(m.w.selFolder.Path(), QString::fromStdString(m.dir / "out/"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ReadFile(m.dir / ("out/E" + std::to_string(i) + ".BIN")), EntryData(i));

    m.Open(m.Write("bad.kvb",
                   ArchiveBuilder().Add("FIRST", "1").Add("..", "2").Add("LAST", "3").Build()));
    std::filesystem::create_directory(m.dir.Path() / "out2");
    m.dialogs.folders.push_back(QString::fromStdString(m.dir / "out2"));
    QTest::mouseClick(m.w.btnExtractAll, Qt::LeftButton);
    ASSERT_EQ(m.dialogs.shown.size(), 1);
    EXPECT_TRUE(m.dialogs.shown[0].startsWith("error: Entry \"..\""));
    EXPECT_EQ(ReadFile(m.dir / "out2/FIRST"), "1");
    EXPECT_FALSE(std::filesystem::exists(m.dir / "out2/LAST"));
    EXPECT_TRUE(m.w.centralWidget()->isEnabled());
}

TEST(MainWindow, ExtractOntoTheOpenArchiveItselfIsRefused)
{
    MainWindow m;
    const std::string bytes = ArchiveOf(3);
    const QString path = m.Write("a.kvb", bytes);
    m.Open(path);
    m.SelectRow(1);
    m.dialogs.files.push_back(path);
    QTest::mouseClick(m.w.btnExtract, Qt::LeftButton);
    ASSERT_EQ(m.dialogs.shown.size(), 1);
    EXPECT_TRUE(m.dialogs.shown[0].startsWith("error: ")) << m.dialogs.shown[0].toStdString();
    EXPECT_TRUE(m.dialogs.shown[0].contains(path)) << m.dialogs.shown[0].toStdString();
    EXPECT_EQ(ReadFile(path.toStdString()), bytes);
}

TEST(MainWindow, ExtractAllReplacesAPlantedLinkInsteadOfWritingThroughIt)
{
    MainWindow m;
    m.Open(m.Write("a.kvb", ArchiveOf(3)));
    const std::filesystem::path out = m.dir.Path() / "out";
    std::filesystem::create_directory(out);
    WriteFile(m.dir / "outside.txt", "outside");
    std::filesystem::create_symlink(m.dir / "outside.txt", out / "E1.BIN");
    m.dialogs.folders.push_back(QString::fromStdString(out.string()));
    QTest::mouseClick(m.w.btnExtractAll, Qt::LeftButton);
    EXPECT_TRUE(m.dialogs.shown.isEmpty()) << m.dialogs.shown.join("|").toStdString();
    EXPECT_EQ(ReadFile(m.dir / "outside.txt"), "outside");
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(out / "E1.BIN")));
    EXPECT_EQ(ReadFile(out / "E1.BIN"), EntryData(1));
}

TEST(MainWindow, AFailedOpenKeepsWhatWasShown)
{
    MainWindow m;
    m.Open(m.Write("good.kvb", ArchiveOf(1200)));
    m.ChooseBlock(1);
    QStringList info = Texts(m.w.lstInfo);
    std::string broken = ArchiveOf(5);
    PatchCount(broken, 900);
    m.Open(m.Write("broken.kvb", broken));
    EXPECT_EQ(m.dialogs.shown, QStringList{"error: Stream read error."});
    EXPECT_EQ(Texts(m.w.lstInfo), info);
    EXPECT_EQ(Texts(m.w.cmbList), (QStringList{"1-1000", "1001-1200"}));
    EXPECT_EQ(m.w.lstFiles->topLevelItemCount(), 200);
    ASSERT_NE(m.w.Catalogue(), nullptr);
    EXPECT_EQ(m.w.Catalogue()->Count(), 1200);

    m.Open(QString::fromStdString(m.dir / "missing.kvb"));
    EXPECT_EQ(m.dialogs.shown.last(),
              QString::fromStdString("error: Cannot open file " + (m.dir / "missing.kvb") + "."));
}

TEST(MainWindow, ErrorBoxAddsAFullStopOnlyAfterHigherCharacters)
{
    EXPECT_EQ(ErrorBoxText("Stream read error"), "Stream read error.");
    EXPECT_EQ(ErrorBoxText("List index out of bounds (3)"), "List index out of bounds (3)");
    EXPECT_EQ(ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(ErrorBoxText("Couldn't retrieve file information!"),
              "Couldn't retrieve file information!");
    EXPECT_EQ(ErrorBoxText("Size 12"), "Size 12.");
}

TEST(MainWindow, StartUpChangesToTheGameDataFolder)
{
    const auto cwd = std::filesystem::current_path();
    TempDir prefix;
    std::filesystem::create_directories(prefix.Path() / "drive_c/Game/data");
    std::filesystem::create_directories(prefix.Path() / "dosdevices");
    std::filesystem::create_directory_symlink("../drive_c", prefix.Path() / "dosdevices/c:");
    setenv("WINEPREFIX", prefix.Path().c_str(), 1);

    for (const char *appPath : {"C:\\\\Game\\\\", "C:\\\\Game"}) {
        WriteFile(prefix / "system.reg",
                  std::string("[Software\\\\Square Soft, Inc.\\\\Final Fantasy VII] 1\n"
                              "\"AppPath\"=\"") + appPath + "\"\n");
        MainWindow m;
        EXPECT_TRUE(m.dialogs.shown.isEmpty()) << appPath;
        EXPECT_EQ(std::filesystem::canonical(std::filesystem::current_path()),
                  std::filesystem::canonical(prefix.Path() / "drive_c/Game/data"));
        std::filesystem::current_path(cwd);
    }

    WriteFile(prefix / "system.reg", "[Software\\\\Square Soft, Inc.\\\\Final Fantasy VII] 1\n"
                                     "\"AppPath\"=\"C:\\\\Missing\\\\\"\n");
    {
        MainWindow m;
        ASSERT_EQ(m.dialogs.shown.size(), 1);
        EXPECT_TRUE(m.dialogs.shown[0].startsWith("error: Cannot change to the game's data folder"));
        EXPECT_EQ(std::filesystem::current_path(), cwd);
    }
    setenv("WINEPREFIX", "/nonexistent/kvb-test-wine-prefix", 1);
}

TEST(MainWindow, StartUpFindsTheGameInASteamProtonPrefix)
{
    const auto cwd = std::filesystem::current_path();
    TempDir home;
    const std::filesystem::path pfx = home.Path() / ".steam/steam/steamapps/compatdata/39140/pfx";
    std::filesystem::create_directories(pfx / "drive_c/Steam/FF7/data");
    std::filesystem::create_directories(pfx / "dosdevices");
    std::filesystem::create_directory_symlink("../drive_c", pfx / "dosdevices/c:");
    WriteFile((pfx / "system.reg").string(),
              "[Software\\\\Wow6432Node\\\\Square Soft, Inc.\\\\Final Fantasy VII] 1\n"
              "\"AppPath\"=\"C:\\\\Steam\\\\FF7\\\\\"\n");
    setenv("HOME", home.Path().c_str(), 1);
    {
        MainWindow m;
        EXPECT_TRUE(m.dialogs.shown.isEmpty());
        EXPECT_EQ(std::filesystem::canonical(std::filesystem::current_path()),
                  std::filesystem::canonical(pfx / "drive_c/Steam/FF7/data"));
    }
    std::filesystem::current_path(cwd);
    setenv("HOME", "/nonexistent/kvb-test-home", 1);
}

TEST(MainWindow, CreateWarnsFirstAndWithoutATemplateWritesNothing)
{
    MainWindow m;
    std::filesystem::create_directory(m.dir.Path() / "src");
    for (const char *name : {"a", "b", "c", "d"})
        WriteFile(m.dir / (std::string("src/") + name), name);
    m.dialogs.folders.push_back(QString::fromStdString(m.dir / "src"));
    m.dialogs.files.push_back(QString::fromStdString(m.dir / "out.kvb"));
    QTest::mouseClick(m.w.btnCreate, Qt::LeftButton);
    ASSERT_EQ(m.dialogs.shown.size(), 2);
    EXPECT_TRUE(m.dialogs.shown[0].startsWith("notice: WARNING! The \"Create KVB\" function"));
    EXPECT_EQ(m.dialogs.shown[1], "notice: " + QString::fromStdString(kNoTemplateMessage));
    EXPECT_FALSE(std::filesystem::exists(m.dir / "out.kvb"));

    // Cancelling the folder chooser stops after the warning.
    m.dialogs.folders.push_back(std::nullopt);
    QTest::mouseClick(m.w.btnCreate, Qt::LeftButton);
    EXPECT_EQ(m.dialogs.shown.size(), 3);
}

TEST(MainWindow, CreateThenAnalyseTheNewArchive)
{
    MainWindow m;
    // The window looks for templates next to the program only.
    const auto templatePath = std::filesystem::canonical("/proc/self/exe").parent_path() / "KVB.11";
    WriteFile(templatePath, StandardValidation());
    std::filesystem::create_directory(m.dir.Path() / "src");
    for (int i = 0; i < 11; ++i)
        WriteFile(m.dir / ("src/F" + std::to_string(i)), std::string(size_t(i), 'x'));
    m.dialogs.folders.push_back(QString::fromStdString(m.dir / "src"));
    m.dialogs.files.push_back(QString::fromStdString(m.dir / "new.kvb"));
    QTest::mouseClick(m.w.btnCreate, Qt::LeftButton);
    std::filesystem::remove(templatePath);
    ASSERT_EQ(m.dialogs.shown.size(), 1) << m.dialogs.shown.join("|").toStdString();
    EXPECT_TRUE(m.w.lstInfo->count() == 0); // creation leaves the window as it was

    m.w.chkFullRead->setChecked(false);
    m.Open(QString::fromStdString(m.dir / "new.kvb"));
    QTest::mouseClick(m.w.btnAnalyse, Qt::LeftButton);
    EXPECT_EQ(m.dialogs.shown.size(), 1);
    EXPECT_EQ(Texts(m.w.lstInfo),
              (QStringList{"File: new.kvb", "# of files in archive: 11", "Creator: SQUARESOFT",
                           "Description: FINAL FANTASY7", "", "Section 1: Header: 313 bytes.",
                           "Section 2: Error check: 3602 bytes.",
                           "0 files have mismatched filenames.",
                           "There are no data gaps in the file (OK)."}));
    // The list keeps the rows of the earlier read; the catalogue now has the lengths.
    EXPECT_EQ(m.w.lstFiles->topLevelItem(3)->text(2), "-1");
    EXPECT_EQ(m.w.Catalogue()->GetEntry(3).Name, "F2"); // F0, F1, F10, F2, ...
    EXPECT_EQ(m.w.Catalogue()->GetEntry(3).Length, 2);
}

TEST(MainWindow, AnalyseStopsWhereTheReportCannotGoOn)
{
    MainWindow m;
    QTest::mouseClick(m.w.btnAnalyse, Qt::LeftButton);
    EXPECT_EQ(m.dialogs.shown, QStringList{"notice: Open an archive before choosing Analyse!"});

    m.Open(m.Write("empty.kvb", ArchiveBuilder().Build()));
    QTest::mouseClick(m.w.btnAnalyse, Qt::LeftButton);
    EXPECT_EQ(m.dialogs.shown.last(), "error: List index out of bounds (0)");
    EXPECT_EQ(Texts(m.w.lstInfo),
              (QStringList{"File: empty.kvb", "# of files in archive: 0", "Creator: SQUARESOFT",
                           "Description: ", "", "Section 1: Header: 16 bytes."}));

    // A hidden archive can be opened but not analysed; the info lines stay.
    m.Open(m.Write(".hidden.kvb", ArchiveOf(2)));
    QStringList before = Texts(m.w.lstInfo);
    QTest::mouseClick(m.w.btnAnalyse, Qt::LeftButton);
    EXPECT_EQ(m.dialogs.shown.last(), "error: Couldn't retrieve file information!");
    EXPECT_EQ(Texts(m.w.lstInfo), before);
}
