// The Qt advanced editor window's wiring: its layout, tab order and colours as the controls are
// described, the modal showing from the main window, and each event reaching its handler.
#include "drawn_description.h"
#include "qt_windows.h"

#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

using namespace kvb;
using namespace kvb::test;

TEST(AdvancedWiring, DrawsItsDescriptionAndGrowsWithTheWindow)
{
    QtWindows q;
    EXPECT_FALSE(q.a.isVisible());
    // At least the size it was made for, and resizable, its lists growing with it.
    EXPECT_GE(q.a.width(), 542);
    EXPECT_GE(q.a.height(), 313);
    // At 200, 108, or as near to it as the screen leaves room for the window and its frame.
    const QRect free = q.a.screen()->availableGeometry();
    EXPECT_EQ(q.a.pos(), QPoint(std::min(200, free.right() + 1 - q.a.width() - 8), 108));
    q.a.resize(900, 700);
    q.a.layout()->activate();
    EXPECT_EQ(q.a.size(), QSize(900, 700));
    EXPECT_GT(q.a.lstHeader->width(), 400);
    EXPECT_GT(q.a.lstHeader->height(), 400);
    // "#" shows the numbers of an archive's last blocks whole.
    EXPECT_GE(q.a.lstHeader->columnWidth(0),
              q.a.lstHeader->fontMetrics().horizontalAdvance("1999001") + 8);
    ExpectDrawn(q.a, logic::TAdvancedLogic::Description());
    for (QTreeWidget *list : {q.a.lstTable, q.a.lstHeader})
        EXPECT_EQ(list->palette().color(QPalette::Inactive, QPalette::Highlight),
                  list->palette().color(QPalette::Active, QPalette::Highlight));
}

TEST(AdvancedWiring, ShownModallyFromTheMainWindowItsEventsReachTheirHandlers)
{
    QtWindows q;
    const std::string path = q.Open(NumberedArchive(1500));
    q.dialogs.shown.clear();
    // First by "Quit", then by the window's close button.
    for (const bool byQuit : {true, false}) {
        q.w.Logic().OpenArchive(path);
        bool modal = false;
        QStringList shownWhileOpen;
        QTimer::singleShot(0, &q.a, [&] {
            modal = q.a.isVisible() && q.a.isModal() && q.a.Logic().RawFile() != nullptr;
            QtWindows::Choose(q.a.cmbTable, 1);
            QtWindows::Select(q.a.lstTable, 3);
            QtWindows::Select(q.a.lstHeader, 4);
            QTest::mouseClick(q.a.btnLink, Qt::LeftButton);
            shownWhileOpen << q.a.lstTable->topLevelItem(3)->text(1);
            emit q.a.lstTable->itemClicked(q.a.lstTable->topLevelItem(3), 0);
            QtWindows::Choose(q.a.cmbHeader, 1);
            shownWhileOpen << QString::number(q.a.lstHeader->topLevelItemCount());
            QTest::mouseClick(q.a.btnTruncate, Qt::LeftButton); // nothing selected now
            if (byQuit)
                QTest::mouseClick(q.a.btnQuit, Qt::LeftButton);
            else
                q.a.close();
        });
        QTest::mouseClick(q.w.btnAdvanced, Qt::LeftButton);
        EXPECT_TRUE(modal);
        EXPECT_EQ(shownWhileOpen, (QStringList{"5) E4.BIN", "500"}));
        EXPECT_EQ(q.dialogs.Last(), "notice: Select an item to start deletion from!");
        EXPECT_FALSE(q.a.isVisible());
        EXPECT_EQ(q.a.Logic().RawFile(), nullptr);
        EXPECT_EQ(Texts(q.w.lstInfo), QStringList{"No file open."});
        EXPECT_NO_THROW(TRawKVBFile{path});
    }
}
