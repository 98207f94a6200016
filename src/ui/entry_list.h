// The main window's list of entries: a report list whose rows can be dragged out to a file
// manager or the desktop, which then receive the extracted file.
#pragma once

#include <QTreeWidget>

#include <functional>

namespace kvb::ui {

class TEntryList : public QTreeWidget {
    Q_OBJECT
public:
    explicit TEntryList(QWidget *parent = nullptr);

    // Extracts the entry a row (by its number) stands for and returns the file's path; raises on
    // failure. Set by the window; without it nothing can be dragged.
    std::function<std::string(int row)> ExtractForDrag;
    // Shows what went wrong with a drag; a drag cannot raise into Qt's event loop.
    std::function<void(const std::exception &)> DragFailed;

    // What a drag of these rows delivers: the extracted file's URL; nullptr when there is none.
    QMimeData *mimeData(const QList<QTreeWidgetItem *> &items) const override;

protected:
    QStringList mimeTypes() const override;
};

} // namespace kvb::ui
