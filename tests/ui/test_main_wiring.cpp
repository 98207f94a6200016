// The Qt main window's wiring: each control by its object name and text, each event reaching its
// handler in the logic, the keys, the menu, drag and drop, and what the logic asks shown in the
// controls. What the handlers do is the logic's tests' business.
#include "drawn_description.h"
#include "logic/main_window_fixture.h"
#include "qt_windows.h"
#include "support/midi_builder.h"
#include "support/tex_builder.h"
#include "ui/dialogs.h"
#include "ui/entry_list.h"
#include "ui/link_label.h"
#include "ui/status_label.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>

using namespace kvb;
using namespace kvb::test;
using namespace kvb::ui;

TEST(MainWiring, DrawsItsDescriptionAndGrowsWithTheWindow)
{
    QtWindows q;
    ExpectDrawn(q.w, logic::TKVBEditorLogic::Description());
    EXPECT_EQ(q.w.windowTitle().toStdString(), logic::TKVBEditorLogic::Description().Caption);
    EXPECT_EQ(q.w.lstFiles->columnWidth(0), 100);
    // 300 wide at first and resizable, the entry list and the info lines growing with it.
    EXPECT_EQ(q.w.width(), 300);
    q.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.w));
    const int listHeight = q.w.lstFiles->height(), infoHeight = q.w.lstInfo->height();
    q.w.resize(700, 900);
    QTest::qWait(50);
    EXPECT_EQ(q.w.width(), 700);
    EXPECT_GT(q.w.lstFiles->height(), listHeight);
    EXPECT_GT(q.w.lstInfo->height(), infoHeight);
    EXPECT_EQ(q.w.cmbList->maxVisibleItems(), 20);
    EXPECT_EQ(q.t.windowTitle().toStdString(), logic::TTexViewLogic::Description().Caption);
    EXPECT_FALSE(q.t.isVisible());
}

TEST(MainWiring, ButtonsComboAndListReachTheirHandlers)
{
    QtWindows q;
    QTest::mouseClick(q.w.btnExtract, Qt::LeftButton);
    QTest::mouseClick(q.w.btnExtractAll, Qt::LeftButton);
    QTest::mouseClick(q.w.btnAnalyse, Qt::LeftButton);
    QTest::mouseClick(q.w.btnAdvanced, Qt::LeftButton);
    q.dialogs.folders.push_back(std::nullopt);
    QTest::mouseClick(q.w.btnCreate, Qt::LeftButton);
    ASSERT_EQ(q.dialogs.shown.size(), 5u);
    EXPECT_EQ(q.dialogs.shown[0], "notice: Select a file to extract first!");
    EXPECT_EQ(q.dialogs.shown[2], "notice: Open an archive before choosing Analyse!");
    EXPECT_EQ(q.dialogs.shown[3], "notice: Open an KVB file first!");
    EXPECT_EQ(q.dialogs.shown[4].rfind("notice: WARNING!", 0), 0u);

    q.dialogs.files.push_back(q.dir / "missing.kvb");
    QTest::mouseClick(q.w.btnOpen, Qt::LeftButton);
    EXPECT_EQ(q.dialogs.Last(),
              "error: Cannot open file " + (q.dir / "missing.kvb") + ": it does not exist.");

    // What the logic shows lands in the controls.
    q.Open(NumberedArchive(2500));
    EXPECT_EQ(Texts(q.w.cmbList), (QStringList{"1-1000", "1001-2000", "2001-2500"}));
    EXPECT_EQ(Texts(q.w.lstInfo).at(1), "# of files in archive: 2500");
    EXPECT_EQ(q.w.Status->maximum(), 5000);
    EXPECT_EQ(q.w.Status->value(), 5000);
    EXPECT_TRUE(q.w.centralWidget()->isEnabled());
    q.Choose(q.w.cmbList, 2);
    ASSERT_EQ(q.w.lstFiles->topLevelItemCount(), 500);
    EXPECT_EQ(q.w.lstFiles->topLevelItem(0)->text(0), "E2000.BIN");
    EXPECT_EQ(q.w.lstFiles->topLevelItem(0)->toolTip(0), "E2000.BIN");

    // The selected row is the one the handlers take.
    q.Select(q.w.lstFiles, 5);
    q.dialogs.files.push_back(std::nullopt);
    QTest::mouseClick(q.w.btnExtract, Qt::LeftButton);
    EXPECT_EQ(q.dialogs.lastFile.FileName, "E2005.BIN");
}

TEST(MainWiring, DoubleClickAndEnterPreviewTheRowAndTheTextureIsShown)
{
    QtWindows q;
    q.Open(ArchiveBuilder().Add("PIC.TEX", GradientTex(64, 48).Build()).Add("TUNE.MID", "m").Build());
    q.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.w));
    QApplication::setActiveWindow(&q.w);
    q.Select(q.w.lstFiles, 1);
    q.w.lstFiles->setFocus();
    QTest::keyClick(q.w.lstFiles, Qt::Key_Return);
    ASSERT_FALSE(q.player.calls.empty());
    EXPECT_EQ(q.player.calls.back(), "play");

    q.Select(q.w.lstFiles, 0);
    emit q.w.lstFiles->itemDoubleClicked(q.w.lstFiles->topLevelItem(0), 0);
    EXPECT_TRUE(q.dialogs.shown.empty()) << q.dialogs.Last();
    EXPECT_TRUE(q.t.isVisible());
    EXPECT_FALSE(q.t.parentWidget()); // a window of its own, not kept above the main window
    EXPECT_TRUE(q.t.testAttribute(Qt::WA_ShowWithoutActivating));
    // The picture's height; its width, or the title's where that is wider.
    const auto fitsTitle = [&q] {
        return q.t.width() > q.t.fontMetrics().horizontalAdvance(q.t.windowTitle());
    };
    EXPECT_EQ(q.t.height(), 48);
    EXPECT_GE(q.t.width(), 64);
    EXPECT_TRUE(fitsTitle());
    EXPECT_EQ(q.t.Image->pixmap().size(), QSize(64, 48));

    // The preview window's keys and menu reach its logic.
    q.t.PictureMenu()->findChild<QAction *>("mnuZoomIn")->trigger();
    EXPECT_EQ(q.t.height(), 96);
    EXPECT_GE(q.t.width(), 128);
    EXPECT_TRUE(fitsTitle());
    std::unique_ptr<QMenu> menu = q.t.PictureMenu();
    QStringList texts;
    for (QAction *action : menu->actions())
        if (!action->isSeparator())
            texts << action->objectName();
    EXPECT_EQ(texts, (QStringList{"mnuSavePng", "mnuZoomIn", "mnuZoomOut", "mnuZoomReset"}));
    menu->findChild<QAction *>("mnuZoomReset")->trigger();
    EXPECT_EQ(q.t.height(), 48);
    EXPECT_TRUE(fitsTitle());

    // Ctrl++ as each keyboard types it: Ctrl+= , Ctrl+Shift+= (a US keyboard's plus: the key
    // comes as Plus, or as Equal, with Shift) and the keypad's plus; Ctrl+- and Ctrl+0 back.
    q.t.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.t));
    QApplication::setActiveWindow(&q.t);
    const std::pair<Qt::Key, Qt::KeyboardModifiers> plus[] = {
        {Qt::Key_Equal, Qt::ControlModifier},
        {Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier},
        {Qt::Key_Equal, Qt::ControlModifier | Qt::ShiftModifier},
        {Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier},
    };
    for (const auto &[key, modifiers] : plus) {
        QTest::keyClick(&q.t, key, modifiers);
        EXPECT_EQ(q.t.windowTitle(), "Preview (200%)") << key << ' ' << modifiers;
        QTest::keyClick(&q.t, Qt::Key_Minus, Qt::ControlModifier);
        EXPECT_EQ(q.t.windowTitle(), "Preview");
    }
}

TEST(MainWiring, TheEntryMenuOffersWhatTheLogicSaysAndItsActionsReachTheirHandlers)
{
    QtWindows q;
    const std::string path = q.Open(ArchiveBuilder()
                                        .Add("A.BIN", "a")
                                        .Add("PIC.TEX", GradientTex(4, 4).Build())
                                        .Add("T.MID", "m")
                                        .Build());
    // The menu as drawn, and as the description offers it for the logic's state.
    auto drawn = [&] {
        QStringList list;
        const std::unique_ptr<QMenu> menu = q.w.EntryMenu();
        for (QAction *action : menu->actions())
            if (!action->isSeparator())
                list << action->objectName() + (action->isEnabled() ? "" : " (off)");
        return list;
    };
    auto offered = [&] {
        QStringList list;
        for (const auto &item : logic::TKVBEditorLogic::Description().Menu)
            if (!item.Name.empty() && item.IsShownFor(q.w.Logic()))
                list << QString::fromStdString(item.Name) +
                            (item.IsEnabledFor(q.w.Logic()) ? "" : " (off)");
        return list;
    };
    // No row, a texture, a tune.
    EXPECT_EQ(drawn(), offered());
    EXPECT_TRUE(drawn().contains("mnuExtract (off)"));
    q.Select(q.w.lstFiles, 1);
    EXPECT_EQ(drawn(), offered());
    EXPECT_TRUE(drawn().contains("mnuExportPng"));
    q.Select(q.w.lstFiles, 2);
    EXPECT_EQ(drawn(), offered());
    EXPECT_TRUE(drawn().contains("mnuSaveWav"));

    std::unique_ptr<QMenu> menu = q.w.EntryMenu();
    q.dialogs.files.push_back(std::nullopt);
    menu->findChild<QAction *>("mnuSaveWav")->trigger();
    EXPECT_EQ(q.dialogs.lastFile.Filter, "WAV sound|*.wav|All files|*.*");
    q.dialogs.files.push_back(std::nullopt);
    menu->findChild<QAction *>("mnuReplace")->trigger();
    EXPECT_TRUE(q.dialogs.files.empty());

    // The mods' items, offered with an archive open whatever the row.
    EXPECT_TRUE(drawn().contains("mnuApplyMod"));
    EXPECT_TRUE(drawn().contains("mnuRevertMod"));
    q.dialogs.files.push_back(std::nullopt);
    menu->findChild<QAction *>("mnuApplyMod")->trigger();
    EXPECT_EQ(q.dialogs.lastFile.Filter, "Mod packages|*.kvbmod|All files|*.*");
    menu->findChild<QAction *>("mnuRevertMod")->trigger();
    EXPECT_EQ(q.dialogs.Last(), "notice: No mod is recorded as applied to a.kvb: there is no undo "
                                "package of a mod beside it.");
}

TEST(MainWiring, ThePlayingLineShowsWhileMusicPlaysAndItsStopButtonStopsIt)
{
    QtWindows q;
    q.Open(ArchiveBuilder().Add("TUNE.MID", "m").Build());
    q.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.w));
    EXPECT_FALSE(q.w.lblPlaying->isVisible());
    EXPECT_FALSE(q.w.btnStopMusic->isVisible());
    const int listHeight = q.w.lstFiles->height();
    q.Select(q.w.lstFiles, 0);
    emit q.w.lstFiles->itemDoubleClicked(q.w.lstFiles->topLevelItem(0), 0);
    QTest::qWait(20);
    EXPECT_TRUE(q.w.lblPlaying->isVisible());
    EXPECT_TRUE(q.w.btnStopMusic->isVisible());
    EXPECT_EQ(q.w.lblPlaying->text(), "Playing TUNE.MID");
    // A row of its own between the links and the status line, which the lists give up.
    EXPECT_GT(q.w.lblPlaying->y(), q.w.Label4->y());
    EXPECT_LE(q.w.btnStopMusic->geometry().bottom(), q.w.lblStatus->y());
    EXPECT_LT(q.w.lstFiles->height(), listHeight);

    // Enter on Stop stops it.
    QApplication::setActiveWindow(&q.w);
    q.w.btnStopMusic->setFocus();
    QTest::keyClick(q.w.btnStopMusic, Qt::Key_Return);
    EXPECT_EQ(q.player.mode, MediaMode::Stopped);
    EXPECT_FALSE(q.w.btnStopMusic->isVisible());

    // The end of the tune, as the player reports it when asked, takes the line away.
    emit q.w.lstFiles->itemDoubleClicked(q.w.lstFiles->topLevelItem(0), 0);
    ASSERT_TRUE(q.w.lblPlaying->isVisible());
    q.player.mode = MediaMode::Stopped;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !q.w.lblPlaying->isVisible(); }, 2000));
    QTest::qWait(20);
    EXPECT_EQ(q.w.lstFiles->height(), listHeight);
    EXPECT_TRUE(q.dialogs.shown.empty()) << q.dialogs.Last();
}

TEST(MainWiring, AnalyseShowsTheReportWindowWhoseCopyFillsTheClipboard)
{
    QtWindows q;
    ExpectDrawn(q.r, logic::TReportLogic::Description());
    q.Open(NumberedArchive(2));
    q.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.w));

    bool modal = false;
    QString title;
    QStringList lines;
    QTimer up;
    up.setInterval(10);
    QObject::connect(&up, &QTimer::timeout, &q.r, [&] {
        if (!q.r.isVisible())
            return;
        up.stop();
        modal = q.r.isModal();
        title = q.r.windowTitle();
        lines = Texts(q.r.lstReport);
        QTest::mouseClick(q.r.btnCopy, Qt::LeftButton);
        QApplication::setActiveWindow(&q.r);
        QTest::keyClick(&q.r, Qt::Key_Escape);
    });
    up.start();
    QTest::mouseClick(q.w.btnAnalyse, Qt::LeftButton);

    EXPECT_TRUE(modal);
    EXPECT_EQ(title, "Analysis of a.kvb");
    EXPECT_EQ(lines, Texts(q.w.lstInfo));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), Texts(q.w.lstInfo).join("\n") + "\n");
    EXPECT_FALSE(q.r.isVisible());
    EXPECT_TRUE(q.dialogs.shown.empty()) << q.dialogs.Last();
}

TEST(MainWiring, KeysReachTheirHandlers)
{
    QtWindows q;
    q.Open(NumberedArchive(3));
    q.dialogs.files.push_back(std::nullopt);
    QTest::keyClick(q.w.btnOpen, Qt::Key_Return); // Enter presses the focused button
    EXPECT_TRUE(q.dialogs.files.empty());

    q.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.w));
    QApplication::setActiveWindow(&q.w);
    q.player.mode = MediaMode::Playing;
    QTest::keyClick(&q.w, Qt::Key_Escape);
    EXPECT_EQ(q.player.mode, MediaMode::Stopped);
    q.dialogs.files.push_back(std::nullopt);
    QTest::keyClick(&q.w, Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(q.dialogs.files.empty());
    q.dialogs.texts.push_back("E2");
    QTest::keyClick(&q.w, Qt::Key_F, Qt::ControlModifier);
    ASSERT_NE(q.w.lstFiles->currentItem(), nullptr);
    EXPECT_EQ(q.w.lstFiles->currentItem()->text(0), "E2.BIN");
    EXPECT_TRUE(q.w.lstFiles->hasFocus());
}

TEST(MainWiring, AHeaderClickSortsTypingFiltersAndRowsAreSelectedSeveralAtATime)
{
    QtWindows q;
    q.Open(NumberedArchive(2500));
    q.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.w));
    QApplication::setActiveWindow(&q.w);
    QHeaderView *header = q.w.lstFiles->header();
    auto clickHeader = [&](int column) {
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    };
    // The record column: descending, then table order again without an indicator.
    clickHeader(3);
    EXPECT_EQ(Row(q.w.lstFiles, 0).mid(0, 5),
              (QStringList{"E2499.BIN", "156082", "12", "2500", "12 bytes"}));
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 3);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    clickHeader(3);
    EXPECT_EQ(q.w.lstFiles->topLevelItem(0)->text(0), "E0.BIN");
    EXPECT_FALSE(header->isSortIndicatorShown());

    // Typed into the filter: the matches of every block, and how many.
    q.w.edtFilter->setFocus();
    QTest::keyClicks(q.w.edtFilter, "e24");
    EXPECT_EQ(q.w.lblFilterCount->text(), "111 of 2,500");
    EXPECT_EQ(q.w.lstFiles->topLevelItemCount(), 111);
    EXPECT_EQ(Texts(q.w.cmbList), QStringList{"1-111"});
    EXPECT_TRUE(q.w.edtFilter->hasFocus());

    // Click, Shift-click, Ctrl-click; Ctrl+A.
    auto clickRow = [&](int row, Qt::KeyboardModifiers keys) {
        const QRect rect = q.w.lstFiles->visualItemRect(q.w.lstFiles->topLevelItem(row));
        QTest::mouseClick(q.w.lstFiles->viewport(), Qt::LeftButton, keys, rect.center());
    };
    clickRow(1, {});
    clickRow(4, Qt::ShiftModifier);
    clickRow(7, Qt::ControlModifier);
    EXPECT_EQ(q.w.SelectedEntryRows(), (std::vector<int>{1, 2, 3, 4, 7}));
    EXPECT_EQ(q.w.SelectedEntryRow(), 7);
    q.w.lstFiles->setFocus();
    QTest::keyClick(q.w.lstFiles, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(q.w.SelectedEntryRows().size(), 111u);

    // Extract: one folder for all of them.
    const std::string out = q.dir / "out";
    std::filesystem::create_directory(out);
    q.dialogs.folders.push_back(out);
    QTest::mouseClick(q.w.btnExtract, Qt::LeftButton);
    EXPECT_TRUE(q.dialogs.shown.empty()) << q.dialogs.Last();
    EXPECT_EQ(Listing(out).size(), 111u);
    EXPECT_EQ(q.w.lblStatus->FullText(), QString::fromStdString("111 files extracted to " + out + "/"));

    // Dragged out together: a file of each.
    std::unique_ptr<QMimeData> data(
        q.w.lstFiles->mimeData({q.w.lstFiles->topLevelItem(2), q.w.lstFiles->topLevelItem(0)}));
    ASSERT_TRUE(data && data->hasUrls());
    ASSERT_EQ(data->urls().size(), 2);
    EXPECT_EQ(FileNameOf(data->urls()[0].toLocalFile().toStdString()), "E24.BIN");
    EXPECT_EQ(FileNameOf(data->urls()[1].toLocalFile().toStdString()), "E241.BIN");

    // Erased: every entry in its blocks again.
    q.w.edtFilter->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(q.w.edtFilter, Qt::Key_Backspace);
    EXPECT_EQ(q.w.lblFilterCount->text(), "");
    EXPECT_EQ(Texts(q.w.cmbList).size(), 3);
}

TEST(MainWiring, ARowDraggedOutCarriesItsFileAndDroppedFilesOpenOrReplace)
{
    QtWindows q;
    q.Open(ArchiveBuilder().Add("ONE.BIN", "1").Add("a:b", "x").Build());
    std::unique_ptr<QMimeData> data(q.w.lstFiles->mimeData({q.w.lstFiles->topLevelItem(0)}));
    ASSERT_TRUE(data && data->hasUrls());
    EXPECT_EQ(ReadFile(data->urls().first().toLocalFile().toStdString()), "1");
    EXPECT_EQ(q.w.lstFiles->mimeData({q.w.lstFiles->topLevelItem(1)}), nullptr);
    EXPECT_EQ(q.dialogs.Last().rfind("error: Entry \"a:b\" has a name that cannot", 0), 0u);

    WriteFile(q.dir / "other.KVB", ArchiveBuilder().Add("X.TEX", "x").Build());
    QMimeData drop;
    drop.setUrls({QUrl::fromLocalFile(QString::fromStdString(q.dir / "other.KVB"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &drop, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&q.w, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &drop, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&q.w, &event);
    EXPECT_TRUE(event.isAccepted());
    // Once the drop has ended.
    QCoreApplication::processEvents();
    EXPECT_EQ(q.w.lstInfo->item(0)->text(), "File: other.KVB");

    // Another file, with an archive open: it replaces the entry of its name, after the list.
    WriteFile(q.dir / "x.tex", "new");
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(QString::fromStdString(q.dir / "x.tex"))});
    QDragEnterEvent fileEnter(QPoint(10, 10), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&q.w, &fileEnter);
    EXPECT_TRUE(fileEnter.isAccepted());
    q.dialogs.answers.push_back(true);
    QDropEvent fileDrop(QPointF(10, 10), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&q.w, &fileDrop);
    QCoreApplication::processEvents();
    EXPECT_EQ(q.dialogs.lastList.Rows,
              (std::vector<std::vector<std::string>>{{"1", "X.TEX", "x.tex", "1", "3"}}));
    EXPECT_EQ(Main::Entry(q.dir / "other.KVB", 0), "new");

    // Without an archive open a file that is none is refused.
    QtWindows fresh;
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&fresh.w, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST(MainWiring, LooksCutNamesHaveTooltipsAndTheBusyInfoListStaysReadable)
{
    QtWindows q;
    q.Open(ArchiveBuilder().Add("A NAME OF TWENTY.TEX", "x").Build());
    EXPECT_EQ(q.w.lstFiles->topLevelItem(0)->toolTip(0), "A NAME OF TWENTY.TEX");
    const QPalette p = q.w.lstInfo->palette();
    EXPECT_EQ(p.color(QPalette::Disabled, QPalette::Text), p.color(QPalette::Active, QPalette::Text));

    q.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.w));
    QApplication::setActiveWindow(&q.w);
    const QImage before = q.w.Label3->grab().toImage();
    q.w.Label3->setFocus();
    ASSERT_TRUE(q.w.Label3->hasFocus());
    EXPECT_NE(q.w.Label3->grab().toImage(), before);
}

// Assistive technology sees the links as links, which it presses as Enter and Space do, and
// names the entry menu's items by their captions.
TEST(MainWiring, LinksArePressedByKeysAndAssistiveTechnologyAndMenuItemsAreNamed)
{
    QtWindows q;
    q.Open(NumberedArchive(3));
    for (TLinkLabel *link : {q.w.Label3, q.w.Label4}) {
        SCOPED_TRACE(link->objectName().toStdString());
        int clicks = 0;
        QObject::connect(link, &TLinkLabel::clicked, [&clicks] { ++clicks; });
        QTest::keyClick(link, Qt::Key_Return);
        QTest::keyClick(link, Qt::Key_Space);
        EXPECT_EQ(clicks, 2);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(link);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->role(), QAccessible::Link);
        EXPECT_TRUE(accessible->state().focusable);
        QAccessibleActionInterface *actions = accessible->actionInterface();
        ASSERT_NE(actions, nullptr);
        ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        actions->doAction(QAccessibleActionInterface::pressAction());
        EXPECT_EQ(clicks, 3);
    }

    q.Select(q.w.lstFiles, 0);
    const std::unique_ptr<QMenu> menu = q.w.EntryMenu();
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(menu.get());
    ASSERT_NE(accessible, nullptr);
    QStringList names, captions;
    for (int i = 0; i < accessible->childCount(); ++i)
        if (accessible->child(i)->role() != QAccessible::Separator)
            names << accessible->child(i)->text(QAccessible::Name);
    for (const auto &item : logic::TKVBEditorLogic::Description().Menu)
        if (!item.Name.empty() && item.IsShownFor(q.w.Logic()))
            captions << QString::fromStdString(item.Caption);
    EXPECT_EQ(names, captions);
    EXPECT_TRUE(names.contains("Extract..."));
}

TEST(MainWiring, ALongStatusLineStaysOneLineCutInTheMiddleWithTheWholeInItsTooltip)
{
    QtWindows q;
    q.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.w));
    const int listTop = q.w.lstFiles->y(), lineHeight = q.w.lblStatus->height();
    const std::string path = "/home/modder/games/a folder with a long name/another/DATA/SOUNDS.KVB";
    q.w.SetStatus("Cancelled: " + path + " was not opened.");
    QTest::qWait(50);
    const QString shown = q.w.lblStatus->text();
    EXPECT_TRUE(shown.startsWith("Cancelled: /home")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("was not opened.")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_EQ(q.w.lblStatus->toolTip().toStdString(), "Cancelled: " + path + " was not opened.");
    EXPECT_EQ(q.w.lblStatus->height(), lineHeight);
    EXPECT_EQ(q.w.lstFiles->y(), listTop);

    // Wide enough, it is shown whole and needs no tooltip.
    q.w.resize(1200, q.w.height());
    QTest::qWait(50);
    EXPECT_EQ(q.w.lblStatus->text(), q.w.lblStatus->FullText());
    EXPECT_TRUE(q.w.lblStatus->toolTip().isEmpty());
}

TEST(MainWiring, AnOpenedArchiveJoinsTheDesktopsRecentDocumentsAndOthersEntriesStay)
{
    QtWindows q;
    const TempDir data;
    setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
    const std::string list = data / "recently-used.xbel";
    WriteFile(list,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\">"
              "<bookmark href=\"file:///home/u/letter.txt\" added=\"2026-01-01T00:00:00Z\"/></xbel>\n");
    const std::string archive = q.dir / "A B.kvb";
    WriteFile(archive, ArchiveBuilder().Add("A.BIN", "x").Build());
    for (int i = 0; i < 2; ++i) {
        q.dialogs.files.push_back(archive);
        q.w.Logic().btnOpenClick();
    }
    const std::string text = ReadFile(list);
    EXPECT_NE(text.find("file:///home/u/letter.txt"), std::string::npos) << text;
    const std::string href =
        "href=\"" + QUrl::fromLocalFile(QString::fromStdString(archive)).toEncoded().toStdString() + "\"";
    ASSERT_NE(text.find(href), std::string::npos) << text;
    EXPECT_EQ(text.find(href), text.rfind(href)) << "one bookmark, used twice: " << text;
    EXPECT_NE(text.find("application/x-kvb-archive"), std::string::npos) << text;
    EXPECT_NE(text.find("count=\"2\""), std::string::npos) << text;

    // A list that is not one, or a link where it stands, is the desktop's: left as it is.
    WriteFile(list, "not a list");
    q.dialogs.files.push_back(archive);
    q.w.Logic().btnOpenClick();
    EXPECT_EQ(ReadFile(list), "not a list");
    std::filesystem::remove(list);
    std::filesystem::create_symlink("/dev/null", list);
    q.dialogs.files.push_back(archive);
    q.w.Logic().btnOpenClick();
    EXPECT_TRUE(std::filesystem::is_symlink(list));
    unsetenv("XDG_DATA_HOME");
}

TEST(MainWiring, FiltersBecomeQtsAndDialogsOpenWhereTheLastOneWasUsed)
{
    EXPECT_EQ(QtFilter("KVB Archives|*.KVB|All files|*.*"), "KVB Archives (*.KVB *.kvb);;All files (*)");
    EXPECT_EQ(QtFilter("PNG images|*.png|All files|*.*"), "PNG images (*.png *.PNG);;All files (*)");
    logic::TFolderMemory memory;
    EXPECT_EQ(memory.StartFolder(), "");
    memory.ChoseFile("/games/data/field.kvb");
    EXPECT_EQ(memory.StartFolder(), "/games/data");
    memory.ChoseFolder("/home/user/out");
    EXPECT_EQ(memory.StartFolder(), "/home/user/out");
}

// The Qt window renders through FluidSynth: music it cannot play whole, or that renders silent,
// is refused with a message and leaves no file.
TEST(MainWiring, SaveAsWavRefusesMusicFluidSynthCannotPlayWholeOrThatRendersSilent)
{
    QtWindows q;
    const std::string wav = q.dir / "music.wav";
    q.Open(
        ArchiveBuilder().Add("MANY.MID", ManyTracks(380)).Add("MUTE.MID", NotesWithoutSound()).Build());
    for (int row : {0, 1}) {
        q.Select(q.w.lstFiles, row);
        q.dialogs.shown.clear();
        q.dialogs.files.push_back(wav);
        q.w.EntryMenu()->findChild<QAction *>("mnuSaveWav")->trigger();
        ASSERT_EQ(q.dialogs.shown.size(), 1u);
        EXPECT_NE(q.dialogs.shown[0].find(row == 0 ? "it has 380 tracks, and FluidSynth plays at most 127"
                                                   : "holds notes, but FluidSynth rendered only silence"),
                  std::string::npos)
            << q.dialogs.shown[0];
        EXPECT_FALSE(std::filesystem::exists(wav));
    }
}

namespace {

// Stands in for the desktop's handler of local files while it lives: what QDesktopServices opens.
class TFileUrlHandler : public QObject {
    Q_OBJECT
public:
    TFileUrlHandler() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~TFileUrlHandler() override { QDesktopServices::unsetUrlHandler("file"); }
    std::vector<std::string> opened;

public slots:
    void open(const QUrl &url) { opened.push_back(url.toLocalFile().toStdString()); }
};

} // namespace

// Both items hand the entry over; a save in the other program, in place or as a new file,
// reaches the logic through the watcher, and so does the close button's question
// about what was not put back.
TEST(MainWiring, EditWithAndOpenWithDefaultHandTheEntryOverAndSavesThereReachTheLogic)
{
    QtWindows q;
    const std::string path = q.Open(ArchiveBuilder().Add("ONE.BIN", "1").Add("TWO.BIN", "2").Build());
    auto asked = [&](size_t count) {
        return QTest::qWaitFor([&] { return q.dialogs.shown.size() >= count; }, 10000) &&
               q.dialogs.shown.size() == count;
    };
    TFileUrlHandler desktop;
    q.Select(q.w.lstFiles, 0);
    q.w.EntryMenu()->findChild<QAction *>("mnuOpenWithDefault")->trigger();
    ASSERT_EQ(desktop.opened.size(), 1u) << q.dialogs.Last();
    const std::string file = desktop.opened[0];
    EXPECT_EQ(FileNameOf(file), "ONE.BIN");
    EXPECT_EQ(ReadFile(file), "1");

    q.dialogs.answers.push_back(true);
    WriteFile(file, "saved in place");
    ASSERT_TRUE(asked(1)) << q.dialogs.Last();
    EXPECT_EQ(q.dialogs.shown[0],
              "question Edited file: The file ONE.BIN has been changed. Update the archive?");
    EXPECT_EQ(Main::Entry(path, 0), "saved in place");

    q.dialogs.answers.push_back(false);
    // Moved aside and written anew, as some editors save: only the folder sees the new file.
    std::filesystem::rename(file, file + "~");
    QTest::qWait(50);
    WriteFile(file, "saved anew");
    ASSERT_TRUE(asked(2)) << q.dialogs.Last();
    // The new file is watched in the old one's place.
    q.dialogs.answers.push_back(false);
    WriteFile(file, "saved in place again");
    ASSERT_TRUE(asked(3)) << q.dialogs.Last();

    // "Edit with...": the program chosen (a script that saves the file) is started with it.
    const std::string editor = q.dir / "editor.sh";
    WriteFile(editor, "#!/bin/sh\nprintf 'edited elsewhere' > \"$1\"\n");
    std::filesystem::permissions(editor, std::filesystem::perms::owner_all);
    q.Select(q.w.lstFiles, 1);
    q.dialogs.files.push_back(editor);
    q.dialogs.answers.push_back(true);
    q.w.EntryMenu()->findChild<QAction *>("mnuEditWith")->trigger();
    EXPECT_EQ(q.dialogs.lastFile.Folder, "/usr/bin");
    ASSERT_TRUE(asked(4)) << q.dialogs.Last();
    EXPECT_EQ(q.dialogs.shown[3],
              "question Edited file: The file TWO.BIN has been changed. Update the archive?");
    EXPECT_EQ(Main::Entry(path, 1), "edited elsewhere");

    q.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.w));
    q.dialogs.choices.push_back(logic::TAnswer::No);
    q.w.close();
    EXPECT_EQ(q.dialogs.Last(),
              "question Edited files (or cancel): The changes to ONE.BIN have not been put back "
              "into a.kvb. Put them back before the program ends?");
    EXPECT_FALSE(q.w.isVisible());
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(Main::Entry(path, 0), "saved in place");
}

// Long work keeps the window answering: while an archive is read, the controls are disabled but
// Cancel, which the button, Escape and the close button (after its question) all reach.
TEST(MainWiring, CancelEscapeAndCloseReachTheLogicWhileWorkRuns)
{
    QtWindows q;
    q.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.w));
    WriteFile(q.dir / "big.kvb", NumberedArchive(20000));
    auto openWhile = [&](std::function<void()> during) {
        bool ran = false;
        QTimer::singleShot(0, &q.w, [&] {
            EXPECT_TRUE(q.w.btnCancel->isEnabled());
            EXPECT_FALSE(q.w.btnOpen->isEnabled());
            during();
            ran = true;
        });
        q.dialogs.files.push_back(q.dir / "big.kvb");
        q.w.Logic().btnOpenClick();
        EXPECT_TRUE(ran);
        EXPECT_FALSE(q.w.btnCancel->isEnabled());
        EXPECT_TRUE(q.w.btnOpen->isEnabled());
    };
    openWhile([&] { QTest::mouseClick(q.w.btnCancel, Qt::LeftButton); });
    EXPECT_EQ(q.w.lblStatus->FullText(), "Cancelled: big.kvb was not opened.");
    q.w.lblStatus->SetFullText({});
    openWhile([&] { QTest::keyClick(&q.w, Qt::Key_Escape); });
    EXPECT_EQ(q.w.lblStatus->FullText(), "Cancelled: big.kvb was not opened.");

    q.dialogs.answers.push_back(true);
    openWhile([&] { q.w.close(); });
    EXPECT_EQ(q.dialogs.Last(), "question " + logic::kApplicationTitle +
                                    ": Work is still running. Cancel it and close the program?");
    EXPECT_TRUE(q.w.isVisible()); // closed once the work has stopped, after this event
    QTest::qWait(20);
    EXPECT_FALSE(q.w.isVisible());
}

#include "test_main_wiring.moc"
