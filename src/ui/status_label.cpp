#include "ui/status_label.h"

#include <QFontMetrics>

namespace kvb::ui {

TStatusLabel::TStatusLabel(QWidget *parent) : QLabel(parent)
{
    setWordWrap(false);
    setTextFormat(Qt::PlainText);
}

void TStatusLabel::SetFullText(const QString &text)
{
    full_ = text;
    ShowFitted();
}

QSize TStatusLabel::minimumSizeHint() const
{
    return {0, fontMetrics().height()};
}

QSize TStatusLabel::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(full_), fontMetrics().height()};
}

void TStatusLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    ShowFitted();
}

void TStatusLabel::ShowFitted()
{
    const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, contentsRect().width());
    setText(shown);
    setToolTip(shown == full_ ? QString() : full_);
}

} // namespace kvb::ui
