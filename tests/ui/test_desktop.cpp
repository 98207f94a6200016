// What desktop users take for granted in the windows: find, drag and drop, keys, tooltips,
// readable lists and dialogs that remember their folder.
#include "archive/raw_archive.h"
#include "platform/media_player.h"
#include "scripted_dialogs.h"
#include "support/archive_builder.h"
#include "ui/app_windows.h"
#include "ui/blocks.h"
#include "ui/link_label.h"

#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
using namespace kvb::ui;

namespace {

class CountingPlayer : public MediaPlayer {
public:
    int *stops;
    explicit CountingPlayer(int *s) : stops(s) {}
    MediaMode QueryMode() override { return MediaMode::Playing; }
    void Stop() override { ++*stops; }
    void Close() override {}
    void Open(const std::string &) override {}
    void Play() override {}
};

std::string Data(int i)
{
    return PatternBytes(size_t(3 + i % 7), unsigned(i));
}

struct Desktop {
    TempDir dir;
    ScriptedDialogs dialogs;
    TAppWindows windows = CreateAppWindows(dialogs);
    TfrmKVBEditor &w = *windows.frmKVBEditor;
    int stops = 0;

    explicit Desktop(int count, const std::string &odd = "")
    {
        w.SetMediaPlayer(std::make_unique<CountingPlayer>(&stops));
        ArchiveBuilder b;
        for (int i = 0; i < count; ++i)
            b.Add("F" + std::to_string(i) + ".BIN", Data(i));
        if (!odd.empty())
            b.Add(odd, "odd");
        WriteFile(dir / "a.kvb", b.Build());
        w.OpenArchive(QString::fromStdString(dir / "a.kvb"));
    }
    int SelectedIndex() const
    {
        QTreeWidgetItem *row = w.lstFiles->currentItem();
        return row ? RecordIndex(w.lstFiles, row, w.cmbList) : -1;
    }
};

} // namespace

TEST(Find, TheNextMatchIsSelectedInItsBlockAndTheRowActsOnIt)
{
    Desktop d(100000);
    d.dialogs.texts.push_back(QString("f99998.bin"));
    d.w.FindClick();
    EXPECT_EQ(ShownBlock(d.w.cmbList), 99);
    EXPECT_EQ(d.w.cmbList->currentIndex(), 99);
    EXPECT_EQ(d.SelectedIndex(), 99998);
    EXPECT_EQ(d.w.lstFiles->currentItem()->text(0), "F99998.BIN");

    // The selected row is the entry: Extract copies it.
    d.dialogs.files.push_back(QString::fromStdString(d.dir / "out.bin"));
    d.w.btnExtractClick();
    EXPECT_EQ(ReadFile(d.dir / "out.bin"), Data(99998));

    // The search goes on from the selected row, and F3 wraps round to the start.
    d.dialogs.texts.push_back(QString("9999"));
    d.w.FindClick();
    EXPECT_EQ(d.SelectedIndex(), 99999);
    d.w.FindNextClick();
    EXPECT_EQ(d.SelectedIndex(), 9999);
    EXPECT_EQ(ShownBlock(d.w.cmbList), 9);
    d.dialogs.texts.push_back(QString("F1.BIN"));
    d.w.FindClick();
    EXPECT_EQ(d.SelectedIndex(), 1);
    EXPECT_EQ(ShownBlock(d.w.cmbList), 0);

    d.dialogs.texts.push_back(QString("nothing like it"));
    d.w.FindClick();
    EXPECT_EQ(d.dialogs.shown.back(), "notice: No entry matches nothing like it.");
    EXPECT_EQ(d.SelectedIndex(), 1);
}

TEST(Find, TheAdvancedWindowSearchesTheListWithTheFocus)
{
    Desktop d(1500);
    TfrmAdvanced &adv = *d.windows.frmAdvanced;
    ASSERT_TRUE(adv.OpenForEdit(d.dir / "a.kvb"));
    d.dialogs.texts.push_back(QString("f1499"));
    adv.FindClick();
    EXPECT_EQ(ShownBlock(adv.cmbTable), 1);
    EXPECT_EQ(adv.lstTable->currentItem()->text(0), "F1499.BIN");
    EXPECT_EQ(ShownBlock(adv.cmbHeader), 0);
    adv.done(0);
}

TEST(DragAndDrop, ADraggedRowDeliversTheExtractedFile)
{
    Desktop d(3, "a:b");
    d.w.lstFiles->setCurrentItem(d.w.lstFiles->topLevelItem(2));
    std::unique_ptr<QMimeData> data(d.w.lstFiles->mimeData({d.w.lstFiles->topLevelItem(2)}));
    ASSERT_TRUE(data && data->hasUrls());
    const std::string path = data->urls().first().toLocalFile().toStdString();
    EXPECT_EQ(std::filesystem::path(path).filename(), "F2.BIN");
    EXPECT_EQ(ReadFile(path), Data(2));

    // A second drag of the same entry gets a file of its own.
    std::unique_ptr<QMimeData> again(d.w.lstFiles->mimeData({d.w.lstFiles->topLevelItem(2)}));
    EXPECT_NE(again->urls().first().toLocalFile().toStdString(), path);

    // A name that cannot be a file name is refused, as Extract all refuses it.
    EXPECT_EQ(d.w.lstFiles->mimeData({d.w.lstFiles->topLevelItem(3)}), nullptr);
    ASSERT_FALSE(d.dialogs.shown.isEmpty());
    EXPECT_TRUE(d.dialogs.shown.back().startsWith("error: Entry \"a:b\" has a name that cannot"));
}

TEST(DragAndDrop, AnArchiveDroppedOnTheWindowOpens)
{
    Desktop d(2);
    WriteFile(d.dir / "other.KVB", ArchiveBuilder().Add("X.TEX", "x").Build());
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(d.dir / "other.KVB"))});
    EXPECT_TRUE(TfrmKVBEditor::DroppedArchive(&data));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&d.w, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&d.w, &drop);
    ASSERT_TRUE(drop.isAccepted()) << d.dialogs.shown.join("|").toStdString();
    EXPECT_EQ(d.w.lstInfo->item(0)->text(), "File: other.KVB");
    EXPECT_EQ(d.w.lstFiles->topLevelItem(0)->text(0), "X.TEX");

    QMimeData text;
    text.setUrls({QUrl::fromLocalFile(QString::fromStdString(d.dir / "notes.txt"))});
    EXPECT_FALSE(TfrmKVBEditor::DroppedArchive(&text));
}

TEST(Keyboard, EnterPressesTheFocusedButtonAndEscapeStopsTheMusic)
{
    Desktop d(2);
    d.dialogs.files.push_back(std::nullopt);
    QTest::keyClick(d.w.btnOpen, Qt::Key_Return);
    EXPECT_TRUE(d.dialogs.files.empty()); // the open dialog was asked for

    d.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d.w));
    d.w.activateWindow();
    QApplication::setActiveWindow(&d.w);
    QTest::keyClick(&d.w, Qt::Key_Escape);
    EXPECT_EQ(d.stops, 1);
    d.dialogs.files.push_back(std::nullopt);
    QTest::keyClick(&d.w, Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(d.dialogs.files.empty());
}

TEST(Looks, CutNamesHaveTooltipsAndTheBusyInfoListStaysReadable)
{
    Desktop d(2, "A NAME OF TWENTY.TEX");
    EXPECT_EQ(d.w.lstFiles->topLevelItem(2)->toolTip(0), "A NAME OF TWENTY.TEX");
    const QPalette p = d.w.lstInfo->palette();
    EXPECT_EQ(p.color(QPalette::Disabled, QPalette::Text), p.color(QPalette::Active, QPalette::Text));
    EXPECT_NE(p.color(QPalette::Disabled, QPalette::Text), p.color(QPalette::Disabled, QPalette::Base));
}

TEST(Looks, AFocusedLinkLabelDrawsAFrame)
{
    Desktop d(1);
    d.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d.w));
    QApplication::setActiveWindow(&d.w);
    const QImage before = d.w.Label3->grab().toImage();
    d.w.Label3->setFocus();
    ASSERT_TRUE(d.w.Label3->hasFocus());
    EXPECT_NE(d.w.Label3->grab().toImage(), before);
}

TEST(Dialogs, OpenWhereTheLastOneWasUsed)
{
    TFolderMemory memory;
    EXPECT_EQ(memory.StartFolder(), ""); // the current folder
    memory.ChoseFile("/games/data/field.kvb");
    EXPECT_EQ(memory.StartFolder(), "/games/data");
    memory.ChoseFolder("/home/user/out");
    EXPECT_EQ(memory.StartFolder(), "/home/user/out");
}
