// "Texture gallery..." through the main window's logic: which entries it shows and how the filter
// counts them, thumbnails made for what is painted, a bounded store of them however far the user
// scrolls, and the entry menu's actions on what is selected there.
#include "logic/main_window_fixture.h"
#include "support/tex_builder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace kvb;
using namespace kvb::test;
namespace fs = std::filesystem;

namespace {

struct Gallery : Main {
    // Paints items [first, last] as a face does, then steps until their thumbnails are made.
    void PaintUntilMade(int first, int last)
    {
        for (int wait = 0; wait < 1000; ++wait) {
            bool all = true;
            for (int item = first; item <= last; ++item)
                all = gallery.Thumbnail(item) && all;
            gallery.Step();
            if (all)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        FAIL() << "thumbnails of items " << first << " to " << last << " were not made";
    }
};

} // namespace

TEST(GalleryWindow, ShowsTheTexturesFilteredAndFollowsTheArchive)
{
    Gallery t;
    const std::string path = t.Write("g.kvb", ArchiveBuilder()
                                                  .Add("GRASS.TEX", GradientTex(8, 8).Build())
                                                  .Add("TUNE.MID", "tune")
                                                  .Add("grey.tex", PictureTex(4, 4).Build())
                                                  .Add("ROCK.TEX", "damaged")
                                                  .Build());
    t.Open(path);
    t.Do([&] { t.main.mnuGalleryClick(); });
    ASSERT_TRUE(t.galleryView.shown);
    EXPECT_EQ(t.galleryView.caption, "Textures of g.kvb");
    EXPECT_EQ(t.galleryView.count, "3 textures");
    ASSERT_EQ(t.galleryView.items.size(), 3u);
    EXPECT_EQ(t.galleryView.items[0], "GRASS.TEX\n" + logic::HumanSize(GradientTex(8, 8).Build().size()));

    // The filter ignores ASCII case.
    t.galleryView.filterText = "R";
    t.Do([&] { t.gallery.edtGalleryFilterChange(); });
    EXPECT_EQ(t.galleryView.count, "3 of 3");
    t.galleryView.filterText = "gR";
    t.Do([&] { t.gallery.edtGalleryFilterChange(); });
    EXPECT_EQ(t.galleryView.count, "2 of 3");
    ASSERT_EQ(t.galleryView.items.size(), 2u);
    EXPECT_EQ(t.galleryView.items[1].substr(0, 8), "grey.tex");

    // A damaged texture shows no picture, and its tooltip says why.
    t.galleryView.filterText = "ROCK";
    t.Do([&] { t.gallery.edtGalleryFilterChange(); });
    t.PaintUntilMade(0, 0);
    EXPECT_FALSE(t.gallery.Thumbnail(0)->Fault.empty());
    EXPECT_NE(t.gallery.ItemTooltip(0).find("ROCK.TEX\nRecord 4, 7 bytes\nNo picture: "), std::string::npos)
        << t.gallery.ItemTooltip(0);

    // The archive read again after a change shows the new textures, the filter kept.
    t.Write("g.kvb", ArchiveBuilder()
                         .Add("ROCK.TEX", GradientTex(2, 2).Build())
                         .Add("ROCKS.TEX", GradientTex(2, 2).Build())
                         .Build());
    t.Open(path);
    EXPECT_EQ(t.galleryView.count, "2 of 2");
    t.PaintUntilMade(0, 1);
    EXPECT_TRUE(t.gallery.Thumbnail(0)->Fault.empty());

    // Closed, it lets go of everything and no longer follows the main window.
    t.Do([&] { t.gallery.btnCloseClick(); });
    EXPECT_FALSE(t.galleryView.shown);
    EXPECT_EQ(t.gallery.KeptThumbnails(), 0u);
    t.Open(path);
    EXPECT_TRUE(t.galleryView.items.empty());
}

TEST(GalleryWindow, KeepsBoundedThumbnailsWhereverTheUserScrolls)
{
    Gallery t;
    // More thumbnails than are kept: 96 x 96 pixels each, whatever the texture's size.
    const size_t each = size_t(kThumbnailSide) * kThumbnailSide * 4;
    const int count = int(logic::TGalleryLogic::kKeptBytes / each) * 2;
    ArchiveBuilder archive;
    for (int i = 0; i < count; ++i)
        archive.Add("T" + std::to_string(i) + ".TEX", GradientTex(2, 2).Build());
    t.Open(t.Write("many.kvb", archive.Build()));
    t.Do([&] { t.main.mnuGalleryClick(); });
    ASSERT_EQ(int(t.galleryView.items.size()), count);

    // A screen of 40 items at a time, from the top to the end and back to the top.
    constexpr int kScreen = 40;
    size_t most = 0;
    std::vector<int> firsts;
    for (int first = 0; first + kScreen <= count; first += kScreen * 3)
        firsts.push_back(first);
    firsts.push_back(count - kScreen);
    firsts.push_back(0);
    for (const int first : firsts) {
        t.PaintUntilMade(first, first + kScreen - 1);
        most = std::max(most, t.gallery.KeptBytes());
    }
    // Within what is kept, and a few thumbnails made beyond it before the next step.
    EXPECT_LE(most, logic::TGalleryLogic::kKeptBytes + 3 * kScreen * each);
    EXPECT_GT(most, logic::TGalleryLogic::kKeptBytes / 2);
    // What is painted stays.
    for (int item = 0; item < kScreen; ++item)
        EXPECT_NE(t.gallery.Thumbnail(item), nullptr) << item;
}

TEST(GalleryWindow, TheMenuActsOnTheSelectedTexturesAsTheEntryMenuDoes)
{
    Gallery t;
    t.Open(t.Write("g.kvb", ArchiveBuilder()
                                .Add("A.TEX", GradientTex(8, 8).Build())
                                .Add("NOTE.TXT", "note")
                                .Add("B.TEX", PictureTex(4, 4).Build())
                                .Add("C.TEX", PictureTex(2, 2).Build())
                                .Build()));
    t.Do([&] { t.main.mnuGalleryClick(); });
    EXPECT_FALSE(t.gallery.HasSelection());

    // Enter or a double-click previews the current texture.
    t.galleryView.selected = {1};
    t.galleryView.current = 1;
    t.Do([&] { t.gallery.lstThumbsDblClick(); });
    ASSERT_TRUE(t.texView.texture);
    EXPECT_EQ(t.texView.texture->Width, 4);

    // Several extracted into a chosen folder, under their names.
    const fs::path out = t.dir / "out";
    fs::create_directory(out);
    t.galleryView.selected = {2, 0};
    t.dialogs.folders.push_back(out.string());
    t.Do([&] { t.gallery.mnuExtractClick(); });
    EXPECT_TRUE(fs::exists(out / "A.TEX"));
    EXPECT_TRUE(fs::exists(out / "C.TEX"));
    EXPECT_FALSE(fs::exists(out / "B.TEX"));

    // One exported as PNG asks for a file name.
    t.galleryView.selected = {1};
    t.dialogs.files.push_back((out / "b.png").string());
    t.Do([&] { t.gallery.mnuExportPngClick(); });
    EXPECT_EQ(t.dialogs.lastFile.FileName, "B.png");
    EXPECT_TRUE(fs::exists(out / "b.png"));
    EXPECT_TRUE(t.dialogs.shown.empty()) << t.dialogs.Last();
}
