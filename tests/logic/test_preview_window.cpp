// The preview window's behaviour through its logic: zoom by whole steps and "Save as PNG...".
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
    EXPECT_EQ(w.texView.zoom, 1);

    for (int i = 0; i < 10; ++i)
        w.Do([&] { w.texViewLogic.ZoomIn(); });
    EXPECT_EQ(w.texViewLogic.Zoom(), logic::TTexViewLogic::kMaxZoom);
    EXPECT_EQ(w.texView.zoom, 8);
    w.Do([&] { w.texViewLogic.ZoomOut(); });
    EXPECT_EQ(w.texView.zoom, 7);
    w.Do([&] { w.texViewLogic.ZoomReset(); });
    EXPECT_EQ(w.texView.zoom, 1);

    const std::string png = dir / "saved.png";
    w.dialogs.files.push_back(png);
    w.Do([&] { w.texViewLogic.mnuSavePngClick(); });
    EXPECT_TRUE(w.dialogs.shown.empty()) << w.dialogs.Last();
    EXPECT_EQ(w.dialogs.lastFile.FileName, "PIC.TEX.png");
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
