// A report list of the windows; the main window's entry list lets its rows be dragged out to a
// file manager or the desktop, which then receive the extracted file.
#pragma once

#include <QTreeWidget>

#include <functional>

namespace kvb::ui {

class TEntryList : public QTreeWidget {
    Q_OBJECT
public:
    explicit TEntryList(QWidget *parent = nullptr);

    // Rows may be dragged out: extract makes the file of a row (by its number) and returns its
    // path, raising on failure; failed shows why, since a drag cannot raise into Qt's loop.
    void AllowDragging(std::function<std::string(int row)> extract,
                       std::function<void(const std::exception &)> failed);

    // Set by AllowDragging; without it nothing can be dragged.
    std::function<std::string(int row)> ExtractForDrag;
    // Shows what went wrong with a drag; a drag cannot raise into Qt's event loop.
    std::function<void(const std::exception &)> DragFailed;

    // What a drag of these rows delivers: the extracted file's URL; nullptr when there is none.
    QMimeData *mimeData(const QList<QTreeWidgetItem *> &items) const override;

protected:
    QStringList mimeTypes() const override;
};

} // namespace kvb::ui
