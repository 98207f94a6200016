// Checks that a Qt window draws its description: every control there under its name with its
// caption, accessible name and first state, and Tab moving through the controls in the described
// order.
#pragma once

#include "logic/window_description.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QWidget>

#include <gtest/gtest.h>

namespace kvb::test {

template <typename Logic>
void ExpectDrawn(QWidget &window, const logic::TWindowDescription<Logic> &description)
{
    EXPECT_EQ(window.objectName().toStdString(), description.Name);
    for (const logic::TControl<Logic> &c : description.Controls) {
        SCOPED_TRACE(c.Name);
        auto *w = window.findChild<QWidget *>(QString::fromStdString(c.Name));
        ASSERT_NE(w, nullptr);
        // Braced: an EXPECT_EQ is an if-else of its own.
        if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            EXPECT_EQ(button->text().toStdString(), c.Caption);
        }
        if (auto *label = qobject_cast<QLabel *>(w)) {
            EXPECT_EQ(label->text().toStdString(), c.Caption);
        }
        if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            EXPECT_EQ(edit->placeholderText().toStdString(), c.Caption);
        }
        if (auto *box = qobject_cast<QCheckBox *>(w)) {
            EXPECT_EQ(box->isChecked(), c.Checked);
        }
        if (auto *list = qobject_cast<QTreeWidget *>(w)) {
            ASSERT_EQ(list->columnCount(), int(c.Columns.size()));
            for (size_t i = 0; i < c.Columns.size(); ++i)
                EXPECT_EQ(list->headerItem()->text(int(i)).toStdString(), c.Columns[i].Caption);
        }
        // What a screen reader calls it; text shown is named by what it shows.
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(accessible, nullptr);
        if (!logic::ShowsItsName(c.Kind) || !c.AccessibleName.empty()) {
            EXPECT_EQ(accessible->text(QAccessible::Name).toStdString(), logic::AccessibleNameOf(c));
        }
        EXPECT_EQ(w->isEnabled(), c.DuringWork != logic::TDuringWork::OnlyThen);
        EXPECT_EQ(w->isHidden(), c.Hidden);
    }
    // The focus chain, from the first control on, as far as it goes through described controls.
    const std::vector<std::string> order = description.TabOrder();
    if (order.empty())
        return;
    std::vector<std::string> chain;
    QWidget *first = window.findChild<QWidget *>(QString::fromStdString(order.front()));
    QWidget *w = first;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && description.Find(w->objectName().toStdString()))
            chain.push_back(w->objectName().toStdString());
        w = w->nextInFocusChain();
    } while (w != first && chain.size() <= order.size());
    EXPECT_EQ(chain, order);
}

} // namespace kvb::test
