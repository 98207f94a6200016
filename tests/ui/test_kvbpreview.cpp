#include "platform/media_player.h"
#include "platform/temp_dir.h"
#include "preview/entry_preview.h"
#include "scripted_dialogs.h"
#include "support/archive_builder.h"
#include "support/tex_builder.h"
#include "ui/app_windows.h"

#include <QComboBox>
#include <QAction>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
using namespace kvb::ui;

namespace {

// Plays nothing; remembers what it was asked to do.
class FakePlayer : public MediaPlayer {
public:
    QStringList *calls;
    MediaMode mode = MediaMode::NotReady;
    explicit FakePlayer(QStringList *log) : calls(log) {}
    MediaMode QueryMode() override { return mode; }
    void Stop() override { *calls << "stop"; mode = MediaMode::Stopped; }
    void Close() override { *calls << "close"; mode = MediaMode::NotReady; }
    void Open(const std::string &f) override
    {
        *calls << "open " + QString::fromStdString(std::filesystem::path(f).filename().string());
        mode = MediaMode::Stopped;
    }
    void Play() override { *calls << "play"; mode = MediaMode::Playing; }
};

struct PreviewWindow {
    TempDir dir;
    ScriptedDialogs dialogs;
    QStringList calls;
    TAppWindows windows = CreateAppWindows(dialogs);
    TfrmKVBEditor &w = *windows.frmKVBEditor;

    explicit PreviewWindow(const std::string &archive)
    {
        w.SetMediaPlayer(std::make_unique<FakePlayer>(&calls));
        WriteFile(dir / "a.kvb", archive);
        dialogs.files.push_back(QString::fromStdString(dir / "a.kvb"));
        QTest::mouseClick(w.btnOpen, Qt::LeftButton);
    }
    void DoubleClick(int block, int row)
    {
        w.cmbList->setCurrentIndex(block);
        emit w.cmbList->activated(block);
        QTreeWidgetItem *item = w.lstFiles->topLevelItem(row);
        w.lstFiles->setCurrentItem(item);
        emit w.lstFiles->itemDoubleClicked(item, 0);
    }
};

} // namespace

TEST(Preview, MusicOfTheShownBlockIsExtractedAndPlayed)
{
    ArchiveBuilder b;
    for (int i = 0; i < 2010; ++i)
        b.Add("T" + std::to_string(i) + ".mid", PatternBytes(20, unsigned(i)));
    PreviewWindow p(b.Build());
    p.DoubleClick(2, 5);
    EXPECT_TRUE(p.dialogs.shown.isEmpty()) << p.dialogs.shown.join("|").toStdString();
    EXPECT_EQ(p.calls, (QStringList{"open T2005.mid", "play"}));
    EXPECT_EQ(PreviewTempFile, GetTempDir() + "T2005.mid");
    EXPECT_EQ(ReadFile(PreviewTempFile), PatternBytes(20, 2005));

    // The same tune again: stopped, closed and started afresh.
    p.DoubleClick(2, 5);
    EXPECT_EQ(p.calls, (QStringList{"open T2005.mid", "play", "stop", "close", "open T2005.mid", "play"}));
}

TEST(Preview, OtherEntriesGetTheNoticeAndLeaveTheMusicPlaying)
{
    PreviewWindow p(ArchiveBuilder().Add("TUNE.MID", "m").Add("readme.txt", "r").Build());
    p.DoubleClick(0, 0);
    p.DoubleClick(0, 1);
    EXPECT_EQ(p.dialogs.shown, QStringList{"notice: Don't know how to preview this file yet..."});
    EXPECT_EQ(p.calls, (QStringList{"open TUNE.MID", "play"}));
}

TEST(Preview, TexturesAreShownAtTheirOwnSize)
{
    std::string big = GradientTex(640, 480).Build();
    std::string flat = TexBuilder::Direct(0, 7, {}).Build();
    std::string damaged = GradientTex(32, 32).CutShort(2000).Build();
    PreviewWindow p(ArchiveBuilder()
                        .Add("TUNE.MID", "m")
                        .Add("BIG.TEX", big)
                        .Add("flat.tex", flat)
                        .Add("DAMAGED.TEX", damaged)
                        .Build());
    TfrmTexView &view = *p.windows.frmTexView;
    p.DoubleClick(0, 0);
    p.DoubleClick(0, 1);
    EXPECT_TRUE(p.dialogs.shown.isEmpty()) << p.dialogs.shown.join("|").toStdString();
    EXPECT_TRUE(view.isVisible());
    EXPECT_EQ(view.size(), QSize(640, 480));
    EXPECT_EQ(view.Image->pixmap().size(), QSize(640, 480));
    EXPECT_EQ(p.calls, (QStringList{"open TUNE.MID", "play", "stop", "close"}));

    p.DoubleClick(0, 3);
    EXPECT_EQ(p.dialogs.shown, QStringList{"error: Stream read error."});
    EXPECT_EQ(view.size(), QSize(640, 480));

    // A texture without pixels is said to be one, not shown as a window of no width.
    p.DoubleClick(0, 2);
    EXPECT_EQ(p.dialogs.shown.back(),
              "notice: The texture has no pixels (0 x 7), so there is nothing to show.");
    EXPECT_EQ(view.size(), QSize(640, 480));
}

TEST(Preview, ZoomsInWholeStepsWithSharpPixelsAndSavesThePicture)
{
    TexBuilder texture = GradientTex(8, 4);
    PreviewWindow p(ArchiveBuilder().Add("PIC.TEX", texture.Build()).Build());
    TfrmTexView &view = *p.windows.frmTexView;
    p.DoubleClick(0, 0);
    ASSERT_EQ(view.size(), QSize(8, 4));

    std::unique_ptr<QMenu> menu = view.PictureMenu();
    for (int i = 0; i < 10; ++i)
        menu->findChild<QAction *>("mnuZoomIn")->trigger();
    EXPECT_EQ(view.Zoom(), 8);
    EXPECT_EQ(view.size(), QSize(64, 32));
    const QImage shown = view.Image->pixmap().toImage();
    // Every texel is an 8 × 8 square of one colour.
    EXPECT_EQ(shown.pixel(0, 0), shown.pixel(7, 7));
    EXPECT_NE(shown.pixel(7, 0), shown.pixel(8, 0));
    menu->findChild<QAction *>("mnuZoomOut")->trigger();
    EXPECT_EQ(view.size(), QSize(56, 28));
    menu->findChild<QAction *>("mnuZoomReset")->trigger();
    EXPECT_EQ(view.size(), QSize(8, 4));

    const std::string png = p.dir / "saved.png";
    p.dialogs.files.push_back(QString::fromStdString(png));
    menu->findChild<QAction *>("mnuSavePng")->trigger();
    const QImage saved(QString::fromStdString(png));
    ASSERT_EQ(saved.size(), QSize(8, 4));
    const TTexColour c = texture.Palette()[size_t(uint8_t(texture.Indices()[3]))];
    EXPECT_EQ(saved.pixel(3, 0), qRgb(c.Red, c.Green, c.Blue));
}

TEST(Preview, TheTempFileGoesWithTheMainWindow)
{
    std::string path;
    {
        PreviewWindow p(ArchiveBuilder().Add("ONE.MID", "1").Build());
        p.DoubleClick(0, 0);
        path = PreviewTempFile;
        ASSERT_TRUE(std::filesystem::exists(path));
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}
