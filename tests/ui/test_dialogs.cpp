// The Qt face's own dialogs, driven as a user would: the list a plan is confirmed with.
#include "ui/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace kvb;

TEST(Dialogs, ConfirmListShowsEveryRowUnderItsColumnsAndEnterIsOkEscapeCancel)
{
    ui::QtDialogs dialogs(nullptr);
    logic::TListQuestion question;
    question.Caption = "Update from folder";
    question.Text = "Two entries change. Continue?";
    question.Columns = {"Record", "Entry", "New size"};
    question.Rows = {{"2", "PIC.TEX", "536"}, {"3", "TWO.BIN", "1"}};

    for (const auto &[key, answer] :
         {std::pair{Qt::Key_Return, true}, std::pair{Qt::Key_Escape, false}}) {
        QStringList seen;
        QTimer::singleShot(0, [&, key = key] {
            auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen << box->objectName() << box->windowTitle();
            const auto *list = box->findChild<QTreeWidget *>("lstConfirm");
            ASSERT_NE(list, nullptr);
            seen << list->headerItem()->text(1) << QString::number(list->topLevelItemCount())
                 << list->topLevelItem(1)->text(1) << list->topLevelItem(1)->text(2);
            QTest::keyClick(box, key);
        });
        EXPECT_EQ(dialogs.ConfirmList(question), answer);
        EXPECT_EQ(seen,
                  (QStringList{"dlgConfirmList", "Update from folder", "Entry", "2", "TWO.BIN", "1"}));
    }
}
