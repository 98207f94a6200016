// A label that behaves as a link: in the theme's link colour, underlined, hand cursor; clicked
// with the mouse or, when it has the focus, with Enter or Space. Assistive technology sees a
// link, named by its text, that it can press.
#pragma once

#include <QLabel>

namespace kvb::ui {

class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLinkLabel(const QString &text, QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // With the focus, the label draws the platform's focus frame, so that keyboard users see
    // where they are.
    void paintEvent(QPaintEvent *event) override;
};

} // namespace kvb::ui
