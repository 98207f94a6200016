// A report list of the windows; the main window's entry list lets its rows be dragged out to a
// file manager or the desktop, which then receive the extracted files.
#pragma once

#include <QTreeWidget>

#include <functional>
#include <string>
#include <vector>

namespace kvb::ui {

class TEntryList : public QTreeWidget {
    Q_OBJECT
public:
    explicit TEntryList(QWidget *parent = nullptr);

    // Rows may be dragged out: extract makes the files of rows (by their numbers) and returns
    // their paths, raising on failure; failed shows why, since a drag cannot raise into Qt's loop.
    using TExtract = std::function<std::vector<std::string>(const std::vector<int> &rows)>;
    void AllowDragging(TExtract extract, std::function<void(const std::exception &)> failed);

    // Set by AllowDragging; without it nothing can be dragged.
    TExtract ExtractForDrag;
    // Shows what went wrong with a drag; a drag cannot raise into Qt's event loop.
    std::function<void(const std::exception &)> DragFailed;

    // What a drag of these rows delivers: the extracted files' URLs, in the list's order; nullptr
    // when there are none.
    QMimeData *mimeData(const QList<QTreeWidgetItem *> &items) const override;

protected:
    QStringList mimeTypes() const override;
};

} // namespace kvb::ui
