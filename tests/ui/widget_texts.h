// The texts a combo box or list box shows, for comparing in GUI tests.
#pragma once

#include <QComboBox>
#include <QListWidget>
#include <QStringList>

namespace kvb::test {

inline QStringList Texts(const QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

inline QStringList Texts(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

} // namespace kvb::test
