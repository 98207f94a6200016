// The preview window's behaviour through its logic: where it goes, the zoom a texture opens at and
// its steps, and "Save as PNG...".
#include "logic/scripted_face.h"
#include "preview/png_image.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>

using namespace kvb;
using namespace kvb::test;

TEST(PreviewWindowLogic, ZoomsInWholeStepsAndSavesThePictureAsShown)
{
    ScriptedWindows w;
    TempDir dir;
    TexBuilder builder = GradientTex(8, 4);
    TMemoryStream stream(builder.Build());
    w.texViewLogic.ShowTexture(TexToBitmap(stream, kTexImageDataPosition), "PIC.TEX");
    EXPECT_EQ(w.texView.zoom, 100);
    EXPECT_EQ(w.texView.caption, "Preview");

    for (int i = 0; i < 12; ++i)
        w.Do([&] { w.texViewLogic.ZoomIn(); });
    EXPECT_EQ(w.texViewLogic.Zoom(), 800);
    EXPECT_EQ(w.texView.caption, "Preview (800%)");
    w.Do([&] { w.texViewLogic.ZoomOut(); });
    EXPECT_EQ(w.texView.zoom, 700);
    w.Do([&] { w.texViewLogic.ZoomReset(); });
    EXPECT_EQ(w.texView.zoom, 100);
    w.Do([&] { w.texViewLogic.ZoomOut(); });
    EXPECT_EQ(w.texView.zoom, 50);
    for (int i = 0; i < 5; ++i)
        w.Do([&] { w.texViewLogic.ZoomOut(); });
    EXPECT_EQ(w.texView.zoom, 10);
    w.Do([&] { w.texViewLogic.ZoomReset(); });

    const std::string png = dir / "saved.png";
    w.dialogs.files.push_back(png);
    w.Do([&] { w.texViewLogic.mnuSavePngClick(); });
    EXPECT_TRUE(w.dialogs.shown.empty()) << w.dialogs.Last();
    EXPECT_EQ(w.dialogs.lastFile.FileName, "PIC.png");
    const TRgbImage saved = DecodePng(ReadFile(png), png);
    ASSERT_EQ(saved.Width, 8);
    ASSERT_EQ(saved.Height, 4);
    const TTexColour c = builder.Palette()[size_t(uint8_t(builder.Indices()[3]))];
    EXPECT_EQ(saved.At(3, 0), c);
}

TEST(PreviewWindowLogic, WithoutAPictureNothingZoomsOrSaves)
{
    ScriptedWindows w;
    w.Do([&] { w.texViewLogic.ZoomIn(); });
    w.Do([&] { w.texViewLogic.mnuSavePngClick(); });
    EXPECT_EQ(w.texView.shows, 0);
    EXPECT_TRUE(w.dialogs.shown.empty());
}

TEST(PreviewWindowLogic, ATextureLargerThanTheRoomOpensFittedAndZoomsBackInSteps)
{
    ScriptedWindows w;
    w.texView.room = {0, 0, 900, 700};
    TMemoryStream stream(GradientTex(1800, 1200).Build());
    w.texViewLogic.ShowTexture(TexToBitmap(stream, kTexImageDataPosition), "BIG.TEX");
    // 900 / 1800 across, 700 / 1200 down: the smaller, in whole percent.
    EXPECT_EQ(w.texView.zoom, 50);
    EXPECT_EQ(w.texView.caption, "Preview (50%)");
    w.texView.room = {0, 0, 500, 700};
    w.texViewLogic.ShowTexture(*w.texView.texture, "BIG.TEX");
    EXPECT_EQ(w.texView.zoom, 27);
    EXPECT_EQ(w.texView.caption, "Preview (27%)");
    w.Do([&] { w.texViewLogic.ZoomIn(); });
    EXPECT_EQ(w.texView.zoom, 50);
    w.Do([&] { w.texViewLogic.ZoomIn(); });
    EXPECT_EQ(w.texView.zoom, 100); // the scroll bars show the rest

    // No room at all: 1%, never 0 or less.
    w.texView.room = {0, 0, -5, 0};
    w.texViewLogic.ShowTexture(*w.texView.texture, "BIG.TEX");
    EXPECT_EQ(w.texView.zoom, 1);
}

TEST(PreviewWindowLogic, TwoVersionsOpenAtTheZoomTheLargerFitsAndFlipAtIt)
{
    ScriptedWindows w;
    w.texView.room = {0, 0, 200, 200};
    TMemoryStream wide(GradientTex(400, 100).Build()), tall(GradientTex(100, 400).Build());
    const TTexImage wideImage = TexToBitmap(wide, kTexImageDataPosition);
    w.texViewLogic.ShowComparison(wideImage, "a.kvb", TexToBitmap(tall, kTexImageDataPosition), "b.kvb",
                                  "PIC.TEX");
    // 400 across and 400 down fit at 50 %; the other version comes at it too.
    EXPECT_EQ(w.texView.zoom, 50);
    EXPECT_EQ(w.texView.caption, "Old: a.kvb, 50% (Space: new)");
    w.Do([&] { w.texViewLogic.FlipClick(); });
    EXPECT_EQ(w.texView.texture->Height, 400);
    EXPECT_EQ(w.texView.zoom, 50);
    EXPECT_TRUE(w.texViewLogic.NewShown());

    // Saved as PNG under the entry's name; one texture previewed after ends the comparison.
    w.dialogs.files.push_back(std::nullopt);
    w.Do([&] { w.texViewLogic.mnuSavePngClick(); });
    EXPECT_EQ(w.dialogs.lastFile.FileName, "PIC.png");
    w.texViewLogic.ShowTexture(wideImage, "OTHER.TEX");
    EXPECT_EQ(w.texView.caption, "Preview (50%)");
    const int shows = w.texView.shows;
    w.Do([&] { w.texViewLogic.FlipClick(); });
    EXPECT_EQ(w.texView.shows, shows);
}

TEST(PreviewWindowLogic, GoesBesideTheMainWindowWhereThereIsRoom)
{
    using logic::RoomBeside;
    const logic::TRect screen{0, 30, 1920, 1050};
    // Main window at the left: the room on its right, from its top down to the screen's foot.
    logic::TRect r = RoomBeside(screen, {100, 200, 300, 575});
    EXPECT_EQ(r.Left, 400);
    EXPECT_EQ(r.Top, 200);
    EXPECT_EQ(r.Width, 1520);
    EXPECT_EQ(r.Height, 880);
    // At the right: the left side.
    r = RoomBeside(screen, {1600, 30, 300, 575});
    EXPECT_EQ(r.Left, 0);
    EXPECT_EQ(r.Width, 1600);
    EXPECT_EQ(r.Top, 30);
    // Filling the screen: over its right half rather than off the screen.
    r = RoomBeside(screen, {0, 30, 1920, 1050});
    EXPECT_EQ(r.Left, 960);
    EXPECT_EQ(r.Width, 960);
    // Its top above the screen's: the room starts where the screen does.
    r = RoomBeside(screen, {100, -50, 300, 575});
    EXPECT_EQ(r.Top, 30);
    EXPECT_EQ(r.Height, 1050);
}

TEST(PreviewWindowLogic, TheClientAreaFitsThePictureAndGivesScrollBarsRoom)
{
    using logic::ClientSizeFor;
    using logic::ScaledSize;
    const logic::TSize shown = ScaledSize(1800, 1200, 52);
    EXPECT_EQ(shown.Width, 936);
    EXPECT_EQ(shown.Height, 624);
    EXPECT_EQ(ScaledSize(3, 3, 10).Width, 1); // never less than a pixel
    const logic::TRect free{0, 0, 500, 400};
    // Fits: its own size.
    logic::TSize c = ClientSizeFor({300, 200}, free, 15, 16);
    EXPECT_EQ(c.Width, 300);
    EXPECT_EQ(c.Height, 200);
    // Too wide: the room's width, and a horizontal bar below the picture.
    c = ClientSizeFor({900, 200}, free, 15, 16);
    EXPECT_EQ(c.Width, 500);
    EXPECT_EQ(c.Height, 215);
    // Too wide and, with that bar, too high as well: both bars, within the room.
    c = ClientSizeFor({900, 390}, free, 15, 16);
    EXPECT_EQ(c.Width, 500);
    EXPECT_EQ(c.Height, 400);
}
