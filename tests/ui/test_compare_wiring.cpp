// The Qt compare window's wiring: drawn as described, shown modally from the main window's
// entry menu with the rows the logic gives, a double-click and Enter reaching the logic, the
// preview's Space flipping a texture's versions, and Escape closing the window.
#include "drawn_description.h"
#include "qt_windows.h"
#include "support/tex_builder.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace kvb;
using namespace kvb::test;

TEST(CompareWiring, ShownFromTheEntryMenuWithItsRowsFlipsATextureAndEscapeCloses)
{
    QtWindows q;
    ExpectDrawn(q.c, logic::TCompareLogic::Description());
    EXPECT_FALSE(q.c.isVisible());
    q.Open(ArchiveBuilder()
               .Add("PIC.TEX", GradientTex(16, 8).Build())
               .Add("TUNE.MID", "old")
               .Add("GONE.BIN", "x")
               .Build());
    WriteFile(q.dir / "b.kvb",
              ArchiveBuilder().Add("PIC.TEX", PictureTex(16, 8).Build()).Add("TUNE.MID", "new").Build());
    q.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.w));

    bool modal = false;
    QStringList rows, titles, menu;
    QString summary;
    // Once the window is up: the comparison before it lets events run too.
    QTimer up;
    bool done = false;
    up.setInterval(10);
    QObject::connect(&up, &QTimer::timeout, &q.c, [&] {
        if (done || !q.c.isVisible())
            return;
        done = true;
        modal = q.c.isVisible() && q.c.isModal() && q.c.windowTitle() == "Compare a.kvb with b.kvb";
        summary = q.c.lblSummary->text();
        for (int i = 0; i < q.c.lstDiff->topLevelItemCount(); ++i)
            rows << Row(q.c.lstDiff, i).join("|");
        // The changed texture, double-clicked: its old version, then Space in the preview.
        QtWindows::Select(q.c.lstDiff, 1);
        emit q.c.lstDiff->itemDoubleClicked(q.c.lstDiff->topLevelItem(1), 0);
        titles << q.t.windowTitle();
        q.t.show();
        if (QTest::qWaitForWindowExposed(&q.t)) {
            QApplication::setActiveWindow(&q.t);
            QTest::keyClick(&q.t, Qt::Key_Space);
            titles << q.t.windowTitle();
        }
        // The changed tune: Enter plays the new one; the menu offers the old one too.
        QApplication::setActiveWindow(&q.c);
        QtWindows::Select(q.c.lstDiff, 2);
        q.c.lstDiff->setFocus();
        QTest::keyClick(q.c.lstDiff, Qt::Key_Return);
        const std::unique_ptr<QMenu> rowMenu = q.c.RowMenu();
        for (QAction *action : rowMenu->actions())
            if (!action->isSeparator())
                menu << action->objectName() + (action->isEnabled() ? "" : " (off)");
        QTest::keyClick(q.c.lstDiff, Qt::Key_Escape);
    });
    up.start();
    q.dialogs.files.push_back(q.dir / "b.kvb");
    q.w.EntryMenu()->findChild<QAction *>("mnuCompareWith")->trigger();

    EXPECT_TRUE(modal);
    EXPECT_EQ(q.dialogs.lastFile.Filter, "KVB Archives|*.KVB|All files|*.*");
    EXPECT_TRUE(summary.startsWith("2 entries changed, 1 only in a.kvb, 0 only in b.kvb"))
        << summary.toStdString();
    EXPECT_EQ(rows,
              (QStringList{"GONE.BIN|3|only in a.kvb|1|",
                           "PIC.TEX|1|changed|" + QString::number(GradientTex(16, 8).Build().size()) +
                               "|" + QString::number(PictureTex(16, 8).Build().size()),
                           "TUNE.MID|2|changed|3|3"}));
    EXPECT_EQ(titles, (QStringList{"Old: a.kvb (Space: new)", "New: b.kvb (Space: old)"}));
    EXPECT_EQ(q.player.fileContentAtOpen, "new");
    EXPECT_EQ(menu, (QStringList{"mnuPlayOld", "mnuPlayNew", "mnuStopMusic"}));
    EXPECT_FALSE(q.c.isVisible());
    EXPECT_EQ(q.c.Logic().Diff(), nullptr);
    EXPECT_TRUE(q.dialogs.shown.empty()) << q.dialogs.Last();
}
