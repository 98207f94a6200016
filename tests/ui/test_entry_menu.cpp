// The main window's context menu on the entry list: each action runs the library call that
// kvb runs, with the usual dialogs, and the archive is shown again after it changed.
#include "archive/catalogue.h"
#include "platform/media_player.h"
#include "preview/tex.h"
#include "qt/tex_image.h"
#include "scripted_dialogs.h"
#include "support/archive_builder.h"
#include "support/midi_builder.h"
#include "support/tex_builder.h"
#include "ui/app_windows.h"
#include "ui/blocks.h"

#include <QAction>
#include <QComboBox>
#include <QImage>
#include <QMenu>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
using namespace kvb::ui;

namespace {

class SilentPlayer : public MediaPlayer {
public:
    MediaMode mode = MediaMode::NotReady;
    int stops = 0;
    MediaMode QueryMode() override { return mode; }
    void Stop() override { ++stops; mode = MediaMode::Stopped; }
    void Close() override { mode = MediaMode::NotReady; }
    void Open(const std::string &) override { mode = MediaMode::Stopped; }
    void Play() override { mode = MediaMode::Playing; }
};

// 1,005 entries, so that the last ones lie in the second block; a texture and a tune among them.
struct MenuWindow {
    TempDir dir;
    ScriptedDialogs dialogs;
    TAppWindows windows = CreateAppWindows(dialogs);
    TfrmKVBEditor &w = *windows.frmKVBEditor;
    SilentPlayer *player = nullptr;
    std::string path = dir / "a.kvb";
    TexBuilder texture = GradientTex(16, 8);

    MenuWindow()
    {
        auto fake = std::make_unique<SilentPlayer>();
        player = fake.get();
        w.SetMediaPlayer(std::move(fake));
        ArchiveBuilder b;
        for (int i = 0; i < 1003; ++i)
            b.Add("E" + std::to_string(i) + ".BIN", PatternBytes(10, unsigned(i)));
        b.Add("PIC.TEX", texture.Build());
        b.Add("TUNE.MID", SimpleTune());
        WriteFile(path, b.Build());
        dialogs.files.push_back(QString::fromStdString(path));
        w.btnOpenClick();
    }
    void Select(int index)
    {
        const int block = index / kBlockSize;
        w.cmbList->setCurrentIndex(block);
        emit w.cmbList->activated(block);
        w.lstFiles->setCurrentItem(w.lstFiles->topLevelItem(index % kBlockSize));
    }
    // The menu for the selected row, and one of its actions by name (nullptr when absent).
    QAction *Action(std::unique_ptr<QMenu> &menu, const char *name)
    {
        menu = w.EntryMenu();
        return menu->findChild<QAction *>(name);
    }
    bool Trigger(const char *name)
    {
        std::unique_ptr<QMenu> menu;
        QAction *action = Action(menu, name);
        if (!action || !action->isEnabled())
            return false;
        action->trigger();
        return true;
    }
    std::string Entry(int index)
    {
        TKVBFile catalogue(path, true);
        TFileStream source(path, TFileStream::Mode::OpenRead);
        const TKVB_Entry entry = catalogue.GetEntry(index);
        std::string bytes(size_t(entry.Length), '\0');
        source.Seek(int64_t(entry.Offset) + 24);
        source.ReadBuffer(bytes.data(), entry.Length);
        return bytes;
    }
};

} // namespace

TEST(EntryMenu, OffersWhatFitsTheEntry)
{
    MenuWindow m;
    m.Select(1003);
    std::unique_ptr<QMenu> menu;
    EXPECT_NE(m.Action(menu, "mnuExportPng"), nullptr);
    EXPECT_NE(m.Action(menu, "mnuImportPng"), nullptr);
    EXPECT_EQ(m.Action(menu, "mnuSaveWav"), nullptr);
    m.Select(1004);
    EXPECT_EQ(m.Action(menu, "mnuExportPng"), nullptr);
    EXPECT_NE(m.Action(menu, "mnuSaveWav"), nullptr);
    m.Select(0);
    EXPECT_EQ(m.Action(menu, "mnuExportPng"), nullptr);
    EXPECT_TRUE(m.Action(menu, "mnuExtract")->isEnabled());
    EXPECT_TRUE(m.Action(menu, "mnuReplace")->isEnabled());
    QStringList texts;
    for (QAction *action : menu->actions())
        if (!action->isSeparator())
            texts << action->text();
    EXPECT_EQ(texts, (QStringList{"Extract...", "Replace with file...", "Stop music"}));
}

TEST(EntryMenu, ReplaceAsksRewritesAndShowsTheSameBlockAgain)
{
    MenuWindow m;
    const std::string before = ReadFile(m.path);
    m.Select(1002);
    WriteFile(m.dir / "new.bin", "new data, longer than before");

    // No: nothing changes.
    m.dialogs.files.push_back(QString::fromStdString(m.dir / "new.bin"));
    m.dialogs.answers.push_back(false);
    ASSERT_TRUE(m.Trigger("mnuReplace"));
    EXPECT_EQ(ReadFile(m.path), before);
    ASSERT_EQ(m.dialogs.shown.size(), 1);
    EXPECT_TRUE(m.dialogs.shown[0].startsWith("question Replace entry: The archive file a.kvb will "
                                              "be rewritten"))
        << m.dialogs.shown[0].toStdString();

    m.dialogs.files.push_back(QString::fromStdString(m.dir / "new.bin"));
    m.dialogs.answers.push_back(true);
    ASSERT_TRUE(m.Trigger("mnuReplace"));
    EXPECT_EQ(m.dialogs.shown.size(), 2) << m.dialogs.shown.join("|").toStdString();
    EXPECT_EQ(m.Entry(1002), "new data, longer than before");
    EXPECT_EQ(m.Entry(1003), m.texture.Build());
    EXPECT_EQ(ShownBlock(m.w.cmbList), 1);
    ASSERT_NE(m.w.lstFiles->currentItem(), nullptr);
    EXPECT_EQ(m.w.lstFiles->currentItem()->text(0), "E1002.BIN");
    EXPECT_EQ(m.w.lstFiles->currentItem()->text(2), "28");
}

TEST(EntryMenu, ExportedTextureEditedAndImportedComesBackThroughThePreviewDecoder)
{
    MenuWindow m;
    m.Select(1003);
    const std::string png = m.dir / "pic.png";
    m.dialogs.files.push_back(QString::fromStdString(png));
    ASSERT_TRUE(m.Trigger("mnuExportPng"));
    ASSERT_TRUE(m.dialogs.shown.isEmpty()) << m.dialogs.shown.join("|").toStdString();
    EXPECT_EQ(m.dialogs.lastFileOptions.fileName, "PIC.TEX.png");

    // Paint one pixel in a colour of the palette and put the picture back.
    QImage image(QString::fromStdString(png));
    ASSERT_FALSE(image.isNull());
    image = image.convertToFormat(QImage::Format_RGB32);
    const TTexColour target = m.texture.Palette()[200];
    image.setPixel(3, 2, qRgb(target.Red, target.Green, target.Blue));
    ASSERT_TRUE(image.save(QString::fromStdString(png)));
    m.dialogs.files.push_back(QString::fromStdString(png));
    m.dialogs.answers.push_back(true);
    ASSERT_TRUE(m.Trigger("mnuImportPng"));

    TMemoryStream stream(m.Entry(1003));
    const TTexImage back = TexToBitmap(stream, kTexImageDataPosition);
    EXPECT_EQ(back.IndexAt(3, 2), 200);
    EXPECT_EQ(back.IndexAt(4, 2), m.texture.Indices()[2 * 16 + 4]);
    EXPECT_EQ(ShownBlock(m.w.cmbList), 1);
}

TEST(EntryMenu, SaveAsWavRefusesMusicFluidSynthCannotPlayWholeOrThatRendersSilent)
{
    MenuWindow m;
    const std::string other = m.dir / "b.kvb", wav = m.dir / "music.wav";
    WriteFile(other, ArchiveBuilder().Add("MANY.MID", ManyTracks(380)).Add("MUTE.MID", NotesWithoutSound()).Build());
    m.dialogs.files.push_back(QString::fromStdString(other));
    m.w.btnOpenClick();
    for (int index : {0, 1}) {
        m.Select(index);
        m.dialogs.shown.clear();
        m.dialogs.files.push_back(QString::fromStdString(wav));
        ASSERT_TRUE(m.Trigger("mnuSaveWav"));
        ASSERT_EQ(m.dialogs.shown.size(), 1);
        const std::string shown = m.dialogs.shown.front().toStdString();
        EXPECT_NE(shown.find(index == 0 ? "it has 380 tracks, and FluidSynth plays at most 127"
                                        : "holds notes, but FluidSynth rendered only silence"),
                  std::string::npos)
            << shown;
        EXPECT_FALSE(std::filesystem::exists(wav));
    }
}

TEST(EntryMenu, SaveAsWavRendersTheTuneAndStopMusicStopsThePlayer)
{
    MenuWindow m;
    m.Select(1004);
    const std::string wav = m.dir / "tune.wav";
    m.dialogs.files.push_back(QString::fromStdString(wav));
    ASSERT_TRUE(m.Trigger("mnuSaveWav"));
    ASSERT_TRUE(m.dialogs.shown.isEmpty()) << m.dialogs.shown.join("|").toStdString();
    EXPECT_EQ(ReadFile(wav).substr(0, 4), "RIFF");

    EXPECT_FALSE(m.Trigger("mnuStopMusic")); // nothing plays: offered but disabled
    m.player->Play();
    EXPECT_TRUE(m.Trigger("mnuStopMusic"));
    EXPECT_EQ(m.player->stops, 1);
}
