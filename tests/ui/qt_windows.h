// The Qt windows over the scripted dialogs and player of the logic's tests, and the texts their
// controls show, for the wiring tests.
#pragma once

#include "logic/scripted_face.h"
#include "ui/app_windows.h"

#include <QComboBox>
#include <QListWidget>
#include <QStringList>
#include <QTreeWidget>

#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList &l, std::ostream *os)
{
    *os << '{' << l.join("\", \"").toStdString() << '}';
}

namespace kvb::test {

struct QtWindows {
    TempDir dir;
    ScriptedDialogs dialogs;
    ScriptedPlayer player;
    ui::TAppWindows windows = ui::CreateAppWindows(dialogs, player);
    ui::TfrmKVBEditor &w = *windows.frmKVBEditor;
    ui::TfrmAdvanced &a = *windows.frmAdvanced;
    ui::TfrmTexView &t = *windows.frmTexView;
    ui::TfrmCompare &c = *windows.frmCompare;
    ui::TfrmGallery &g = *windows.frmGallery;
    ui::TfrmReport &r = *windows.frmReport;

    // Writes archive as a.kvb and opens it in the main window.
    std::string Open(const std::string &archive)
    {
        WriteFile(dir / "a.kvb", archive);
        w.Logic().OpenArchive(dir / "a.kvb");
        return dir / "a.kvb";
    }
    static void Choose(QComboBox *combo, int index)
    {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    // A click on the row: it alone is selected.
    static void Select(QTreeWidget *list, int row)
    {
        list->setCurrentItem(list->topLevelItem(row), 0,
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
};

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

inline QStringList Row(const QTreeWidget *list, int row)
{
    QStringList texts;
    for (int c = 0; c < list->columnCount(); ++c)
        texts << list->topLevelItem(row)->text(c);
    return texts;
}

} // namespace kvb::test
