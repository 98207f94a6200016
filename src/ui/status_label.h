// The status line of long work: one line whatever its length, so that a long path neither
// wraps nor pushes the list up. Text too long for the width is cut in the middle, where a
// path's folders are and its file name is not, and the whole text is the tooltip then.
#pragma once

#include <QLabel>

namespace kvb::ui {

class TStatusLabel : public QLabel {
public:
    explicit TStatusLabel(QWidget *parent = nullptr);

    void SetFullText(const QString &text);
    const QString &FullText() const { return full_; }

    // As narrow as the layout likes: the text is cut to fit instead.
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void ShowFitted();

    QString full_;
};

} // namespace kvb::ui
