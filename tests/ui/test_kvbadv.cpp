#include "scripted_dialogs.h"
#include "widget_texts.h"
#include "support/archive_builder.h"
#include "ui/app_windows.h"
#include "ui/blocks.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
using namespace kvb::ui;
namespace fs = std::filesystem;

namespace {

ArchiveBuilder BuilderOf(int count)
{
    ArchiveBuilder b;
    for (int i = 0; i < count; ++i)
        b.Add("E" + std::to_string(i) + ".BIN", PatternBytes(size_t(8 + i % 5), unsigned(i)));
    return b;
}

QStringList Row(const QTreeWidget *list, int row)
{
    QStringList texts;
    for (int c = 0; c < list->columnCount(); ++c)
        texts << list->topLevelItem(row)->text(c);
    return texts;
}

bool OwnerMayWrite(const std::string &path)
{
    return (fs::status(path).permissions() & fs::perms::owner_write) != fs::perms::none;
}

struct Editor {
    TempDir dir;
    ScriptedDialogs dialogs;
    TAppWindows windows = CreateAppWindows(dialogs);
    TfrmKVBEditor &main = *windows.frmKVBEditor;
    TfrmAdvanced &a = *windows.frmAdvanced;
    std::string path = dir / "a.kvb";

    void Edit(const std::string &archive)
    {
        WriteFile(path, archive);
        ASSERT_TRUE(a.OpenForEdit(path));
    }
    void OpenInMain(const std::string &archive)
    {
        WriteFile(path, archive);
        main.OpenArchive(QString::fromStdString(path));
    }
    static void Choose(QComboBox *combo, int block)
    {
        combo->setCurrentIndex(block);
        emit combo->activated(block);
    }
    static void Select(QTreeWidget *list, int row) { list->setCurrentItem(list->topLevelItem(row)); }
    QString Append(const std::string &name, const std::string &bytes)
    {
        fs::create_directories(dir.Path() / "elsewhere");
        WriteFile(dir / ("elsewhere/" + name), bytes);
        dialogs.files.push_back(QString::fromStdString(dir / ("elsewhere/" + name)));
        QTest::mouseClick(a.btnAppend, Qt::LeftButton);
        return dialogs.shown.isEmpty() ? QString() : dialogs.shown.last();
    }
};

} // namespace

TEST(AdvancedWindow, LayoutTabOrderAndSelectionColours)
{
    Editor e;
    EXPECT_FALSE(e.a.isVisible());
    EXPECT_EQ(e.a.minimumSize(), QSize(542, 313));
    EXPECT_EQ(e.a.maximumSize(), QSize(542, 313));
    EXPECT_EQ(e.a.pos(), QPoint(200, 108));
    EXPECT_EQ(e.a.findChild<QTreeWidget *>("lstHeader")->geometry(), QRect(288, 112, 250, 150));
    EXPECT_EQ(e.a.lstHeader->columnWidth(0), 35);

    QStringList order;
    QWidget *w = e.a.lstInfo;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != e.a.lstInfo);
    EXPECT_EQ(order, (QStringList{"lstInfo", "lstTable", "lstHeader", "btnLink", "btnAppend",
                                  "btnQuit", "btnTruncate", "cmbTable", "cmbHeader"}));

    for (QTreeWidget *list : {e.a.lstTable, e.a.lstHeader})
        EXPECT_EQ(list->palette().color(QPalette::Inactive, QPalette::Highlight),
                  list->palette().color(QPalette::Active, QPalette::Highlight));
}

TEST(AdvancedWindow, BothSidesAreShownInBlocksOfAThousand)
{
    Editor e;
    e.Edit(BuilderOf(2500).Build());
    EXPECT_EQ(Texts(e.a.lstInfo),
              (QStringList{"File: a.kvb", "Creator: SQUARESOFT", "Description: FINAL FANTASY7",
                           "File has 2500 active files.", "File has 2500 data files in it."}));
    for (QComboBox *combo : {e.a.cmbTable, e.a.cmbHeader})
        EXPECT_EQ(Texts(combo), (QStringList{"1-1000", "1001-2000", "2001-2500"}));
    EXPECT_EQ(e.a.lstTable->topLevelItemCount(), 1000);
    EXPECT_EQ(Row(e.a.lstHeader, 999), (QStringList{"1000", "E999.BIN", "12"}));

    e.Choose(e.a.cmbTable, 2);
    EXPECT_EQ(e.a.lstTable->topLevelItemCount(), 500);
    EXPECT_EQ(Row(e.a.lstTable, 499), (QStringList{"E2499.BIN", "2500) E2499.BIN"}));
    EXPECT_EQ(e.a.lstHeader->topLevelItemCount(), 1000);

    QTreeWidgetItem *shown = e.a.lstTable->topLevelItem(7);
    e.Choose(e.a.cmbTable, 2);
    EXPECT_EQ(e.a.lstTable->topLevelItem(7), shown);

    e.Edit(BuilderOf(1000).Build());
    EXPECT_EQ(Texts(e.a.cmbHeader), QStringList{"1-1000"});
}

TEST(AdvancedWindow, LinkRewritesOnlyTheOffsetOfTheChosenRecord)
{
    Editor e;
    ArchiveBuilder builder = BuilderOf(2500);
    e.Edit(builder.Build());
    std::string before = ReadFile(e.path);

    e.Select(e.a.lstTable, 5);
    QTest::mouseClick(e.a.btnLink, Qt::LeftButton);
    EXPECT_EQ(e.dialogs.shown,
              QStringList{"notice: Select an item in BOTH lists before trying to link them!"});

    e.Choose(e.a.cmbTable, 1);
    e.Choose(e.a.cmbHeader, 2);
    e.Select(e.a.lstTable, 5);
    e.Select(e.a.lstHeader, 7);
    QTest::mouseClick(e.a.btnLink, Qt::LeftButton);
    EXPECT_EQ(e.dialogs.shown.size(), 1);
    EXPECT_EQ(e.a.lstTable->topLevelItem(5)->text(1), "2008) E2007.BIN");
    PatchTocOffset(before, 1005, builder.OffsetOf(2007));
    EXPECT_EQ(ReadFile(e.path), before);
}

TEST(AdvancedWindow, ClickingARecordSelectsItsDataRowOnlyInTheShownBlock)
{
    Editor e;
    e.Edit(BuilderOf(2500).Build());
    e.Choose(e.a.cmbTable, 1);
    e.Select(e.a.lstTable, 233);
    ASSERT_EQ(e.a.lstTable->topLevelItem(233)->text(1), "1234) E1233.BIN");
    emit e.a.lstTable->itemClicked(e.a.lstTable->topLevelItem(233), 0);
    EXPECT_TRUE(e.a.lstHeader->selectedItems().isEmpty());

    e.Choose(e.a.cmbHeader, 1);
    emit e.a.lstTable->itemClicked(e.a.lstTable->topLevelItem(233), 0);
    ASSERT_EQ(e.a.lstHeader->selectedItems().size(), 1);
    EXPECT_EQ(e.a.lstHeader->selectedItems().first(), e.a.lstHeader->topLevelItem(233));
}

TEST(AdvancedWindow, AppendWritesTheEntryAndShowsItInTheLastBlock)
{
    Editor e;
    e.Edit(BuilderOf(12).Build());
    const std::string before = ReadFile(e.path);
    const std::string data = PatternBytes(300, 7);
    e.Append("NEW.TEX", data);
    EXPECT_TRUE(e.dialogs.shown.isEmpty()) << e.dialogs.shown.join("|").toStdString();
    EXPECT_EQ(Row(e.a.lstHeader, 12), (QStringList{"13", "NEW.TEX", ""}));
    EXPECT_EQ(Texts(e.a.lstInfo).mid(3),
              (QStringList{"File has 12 active files.", "File has 13 data files in it."}));

    const std::string description = "FINAL FANTASY7";
    std::string header(24, '\0');
    header.replace(0, 7, "NEW.TEX");
    PutInt32LE(header.data() + 20, 300);
    EXPECT_EQ(ReadFile(e.path),
              before.substr(0, before.size() - description.size()) + header + data + description);

    e.Append("ABCDEFGHIJKLMNOPQRSTUVWXY", "z");
    EXPECT_EQ(Row(e.a.lstHeader, 13), (QStringList{"14", "ABCDEFGHIJKLMNOPQRST", ""}));
    const std::string after = ReadFile(e.path);
    EXPECT_EQ(after.substr(after.size() - description.size() - 25, 24),
              std::string("ABCDEFGHIJKLMNOPQRST\x01\0\0\0", 24));

    EXPECT_EQ(e.Append("\xe6\x97\xa5.TEX", "abc"),
              "error: The file name \xe6\x97\xa5.TEX cannot be stored in an archive.");
    EXPECT_EQ(ReadFile(e.path), after);
    EXPECT_EQ(e.a.lstHeader->topLevelItemCount(), 14);
}

TEST(AdvancedWindow, AppendAddsNoRowWhileAnEarlierBlockIsShown)
{
    Editor e;
    e.Edit(BuilderOf(2500).Build());
    e.Append("NEW.TEX", "abc");
    EXPECT_EQ(e.a.lstHeader->topLevelItemCount(), 1000);
    EXPECT_EQ(e.a.lstInfo->item(4)->text(), "File has 2501 data files in it.");

    e.Edit(BuilderOf(1000).Build());
    e.Append("NEW.TEX", "abc");
    EXPECT_EQ(e.a.lstHeader->topLevelItemCount(), 1001);
    EXPECT_EQ(e.a.lstHeader->topLevelItem(1000)->text(0), "1001");
    EXPECT_EQ(Texts(e.a.cmbHeader), QStringList{"1-1000"});
}

TEST(AdvancedWindow, TruncateCutsFromTheSelectedRowOfTheShownBlock)
{
    Editor e;
    ArchiveBuilder builder = BuilderOf(2500);
    e.Edit(builder.Build());
    const std::string before = ReadFile(e.path);
    QTest::mouseClick(e.a.btnTruncate, Qt::LeftButton);
    EXPECT_EQ(e.dialogs.shown, QStringList{"notice: Select an item to start deletion from!"});

    e.Choose(e.a.cmbHeader, 1);
    e.Select(e.a.lstHeader, 4);
    e.dialogs.answers = {false, true};
    QTest::mouseClick(e.a.btnTruncate, Qt::LeftButton);
    EXPECT_EQ(e.dialogs.shown.last(),
              "question Warning!: This will delete item 1005 (E1004.BIN) and all 1495 of the items "
              "following it from the file. YOU WILL NOT BE ABLE TO RESTORE THE DATA AT ALL, IT "
              "WILL BE LOST. Continue?");
    EXPECT_EQ(ReadFile(e.path), before);

    QTest::mouseClick(e.a.btnTruncate, Qt::LeftButton);
    EXPECT_EQ(ReadFile(e.path), before.substr(0, size_t(builder.OffsetOf(1004))) + "FINAL FANTASY7");
    EXPECT_EQ(Texts(e.a.cmbHeader), (QStringList{"1-1000", "1001-1004"}));
    EXPECT_EQ(ShownBlock(e.a.cmbHeader), 0);
    EXPECT_EQ(e.a.lstInfo->item(4)->text(), "File has 1004 data files in it.");
}

TEST(AdvancedWindow, TruncatingAllDataLeavesNothingToAppendTo)
{
    Editor e;
    ArchiveBuilder builder = BuilderOf(5);
    e.Edit(builder.Build());
    const std::string before = ReadFile(e.path);
    e.Select(e.a.lstHeader, 0);
    e.dialogs.answers = {true};
    QTest::mouseClick(e.a.btnTruncate, Qt::LeftButton);
    EXPECT_TRUE(e.dialogs.shown.last().contains("delete item 1 (E0.BIN) and all 4 of the items"));
    EXPECT_EQ(e.a.lstHeader->topLevelItemCount(), 0);
    EXPECT_EQ(Texts(e.a.cmbHeader), QStringList{"1-0"});
    for (int r = 0; r < 5; ++r)
        EXPECT_EQ(e.a.lstTable->topLevelItem(r)->text(1), "");
    const QStringList info = Texts(e.a.lstInfo);
    EXPECT_EQ(info.last(), "File has 0 data files in it.");

    const std::string cut = ReadFile(e.path);
    EXPECT_EQ(cut, before.substr(0, size_t(builder.OffsetOf(0))) + "FINAL FANTASY7");
    EXPECT_EQ(e.Append("NEW.TEX", "abc"), "error: List index out of bounds (-1)");
    EXPECT_EQ(ReadFile(e.path), cut);
    EXPECT_EQ(Texts(e.a.lstInfo), info);
}

TEST(AdvancedWindow, ReadOnlyArchiveIsEditedOnlyAfterYes)
{
    Editor e;
    e.OpenInMain(BuilderOf(3).Build());
    fs::permissions(e.path, fs::perms::owner_write, fs::perm_options::remove);
    e.dialogs.answers = {false};
    QTest::mouseClick(e.main.btnAdvanced, Qt::LeftButton);
    EXPECT_TRUE(e.dialogs.shown.last().startsWith(
        "question Error!: This file is read-only. You can only use advanced edit"));
    EXPECT_FALSE(OwnerMayWrite(e.path));
    EXPECT_FALSE(e.a.isVisible());
    EXPECT_EQ(e.a.RawFile(), nullptr);
    EXPECT_NE(e.main.Catalogue(), nullptr);

    // Yes makes the file writable even when it then cannot be opened as an archive.
    std::string broken = BuilderOf(3).Build();
    PatchCount(broken, 900);
    WriteFile(e.path, broken);
    fs::permissions(e.path, fs::perms::owner_write, fs::perm_options::remove);
    e.dialogs.answers = {true};
    QTest::mouseClick(e.main.btnAdvanced, Qt::LeftButton);
    EXPECT_EQ(e.dialogs.shown.last(), "error: Stream read error.");
    EXPECT_TRUE(OwnerMayWrite(e.path));
    EXPECT_FALSE(e.a.isVisible());
    EXPECT_NE(e.main.Catalogue(), nullptr);
}

TEST(AdvancedWindow, AdvancedNeedsAnOpenArchiveThatStillExists)
{
    Editor e;
    QTest::mouseClick(e.main.btnAdvanced, Qt::LeftButton);
    EXPECT_EQ(e.dialogs.shown, QStringList{"notice: Open an KVB file first!"});

    e.OpenInMain(BuilderOf(3).Build());
    fs::remove(e.path);
    QTest::mouseClick(e.main.btnAdvanced, Qt::LeftButton);
    EXPECT_EQ(e.dialogs.shown.last(), "error: Couldn't retrieve file properties!");
    EXPECT_FALSE(e.a.isVisible());
    EXPECT_NE(e.main.Catalogue(), nullptr);
}

TEST(AdvancedWindow, ClosingTheWindowReleasesTheArchiveAndTheMainWindowsCatalogue)
{
    Editor e;
    const QString warning = "notice: Warning! Edits to the KVB file in this mode are IMMEDIATE "
                            "and CANNOT be undone. I recommend you keep a backup copy of any "
                            "files to be edited!";
    // First by "Quit", then by the window's close button; the warning comes every time.
    for (bool byQuit : {true, false}) {
        e.OpenInMain(BuilderOf(1500).Build());
        e.dialogs.shown.clear();
        bool wasShown = false;
        QTimer::singleShot(0, &e.a, [&] {
            wasShown = e.a.isVisible() && e.a.isModal() && e.a.RawFile() != nullptr;
            if (byQuit)
                QTest::mouseClick(e.a.btnQuit, Qt::LeftButton);
            else
                e.a.close();
        });
        QTest::mouseClick(e.main.btnAdvanced, Qt::LeftButton);
        EXPECT_TRUE(wasShown);
        EXPECT_EQ(e.dialogs.shown, QStringList{warning});
        EXPECT_FALSE(e.a.isVisible());
        EXPECT_EQ(e.a.RawFile(), nullptr);
        EXPECT_EQ(e.main.Catalogue(), nullptr);
        EXPECT_EQ(Texts(e.main.lstInfo), QStringList{"No file open."});
        EXPECT_EQ(e.main.lstFiles->topLevelItemCount(), 0);
        // The editor's lock is gone with it.
        EXPECT_NO_THROW(TRawKVBFile{e.path});
    }
    e.main.cmbList->setCurrentIndex(1);
    emit e.main.cmbList->activated(1);
    EXPECT_EQ(e.main.lstFiles->topLevelItemCount(), 0);
}
