// The Qt gallery's wiring: drawn as described, shown from the entry menu beside the main window,
// the thumbnails painted as the logic's thread makes them, the filter typed, Enter previewing,
// the menu on the selection, and Escape closing it.
#include "drawn_description.h"
#include "qt_windows.h"
#include "support/tex_builder.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

using namespace kvb;
using namespace kvb::test;

TEST(GalleryWiring, ShowsThumbnailsFiltersPreviewsAndEscapeCloses)
{
    QtWindows q;
    ExpectDrawn(q.g, logic::TGalleryLogic::Description());
    q.Open(ArchiveBuilder()
               .Add("RED.TEX", TexBuilder::Palettised(4, 4, {{255, 0, 0}}, std::string(16, '\0')).Build())
               .Add("TUNE.MID", "tune")
               .Add("BLUE.TEX", TexBuilder::Palettised(8, 2, {{0, 0, 255}}, std::string(16, '\0')).Build())
               .Build());
    q.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.w));
    q.w.EntryMenu()->findChild<QAction *>("mnuGallery")->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.g));
    EXPECT_FALSE(q.g.isModal());
    EXPECT_EQ(q.g.windowTitle(), "Textures of a.kvb");
    EXPECT_EQ(q.g.lblGalleryCount->text(), "2 textures");
    QAbstractItemModel &items = *q.g.lstThumbs->model();
    ASSERT_EQ(items.rowCount(), 2);
    EXPECT_EQ(items.index(1, 0).data().toString().section('\n', 0, 0), "BLUE.TEX");

    // Painted, then made on the logic's thread: the picture, scaled into the square.
    for (int wait = 0; wait < 200 && q.g.Logic().KeptThumbnails() < 2; ++wait)
        QTest::qWait(10);
    const QImage blue = items.index(1, 0).data(Qt::DecorationRole).value<QImage>();
    // Centred in the square: 96 x 24 in the middle, nothing above it.
    ASSERT_EQ(blue.size(), QSize(kThumbnailSide, kThumbnailSide));
    EXPECT_EQ(blue.pixel(0, kThumbnailSide / 2), qRgb(0, 0, 255));
    EXPECT_EQ(qAlpha(blue.pixel(0, 0)), 0);

    // Typed into the filter.
    q.g.edtGalleryFilter->setFocus();
    QTest::keyClicks(q.g.edtGalleryFilter, "red");
    EXPECT_EQ(q.g.lblGalleryCount->text(), "1 of 2");
    ASSERT_EQ(items.rowCount(), 1);

    // Enter on the current texture previews it; the menu acts on the selection.
    QApplication::setActiveWindow(&q.g);
    q.g.lstThumbs->setFocus();
    q.g.lstThumbs->setCurrentIndex(items.index(0, 0));
    QTest::keyClick(q.g.lstThumbs, Qt::Key_Return);
    EXPECT_TRUE(q.t.isVisible());
    EXPECT_EQ(q.t.Image->pixmap().size(), QSize(4, 4)); // RED.TEX, at 100 %
    std::unique_ptr<QMenu> menu = q.g.ItemMenu();
    ASSERT_NE(menu->findChild<QAction *>("mnuExportPng"), nullptr);
    EXPECT_TRUE(menu->findChild<QAction *>("mnuExportPng")->isEnabled());
    q.g.lstThumbs->clearSelection();
    EXPECT_FALSE(q.g.ItemMenu()->findChild<QAction *>("mnuExtract")->isEnabled());

    QApplication::setActiveWindow(&q.g);
    QTest::keyClick(q.g.lstThumbs, Qt::Key_Escape);
    EXPECT_FALSE(q.g.isVisible());
    EXPECT_EQ(q.g.Logic().KeptThumbnails(), 0u);
    EXPECT_EQ(items.rowCount(), 0);
}
