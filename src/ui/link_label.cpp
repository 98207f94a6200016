#include "ui/link_label.h"

#include "ui/form_helpers.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace kvb::ui {

namespace {

// A label is static text to assistive technology; this one is a link that can be pressed.
class TLinkAccessible : public QAccessibleWidget {
public:
    explicit TLinkAccessible(TLinkLabel *link) : QAccessibleWidget(link, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const TLinkLabel *>(widget())->text();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override
    {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override
    {
        if (action == pressAction() && widget()->isEnabled())
            emit static_cast<TLinkLabel *>(widget())->clicked();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface *LinkAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String(TLinkLabel::staticMetaObject.className()) && object->isWidgetType())
        return new TLinkAccessible(static_cast<TLinkLabel *>(object));
    return nullptr;
}

} // namespace

TLinkLabel::TLinkLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(LinkAccessible);
        return true;
    }();
    (void)installed;
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    // The theme's colour of links, where it can be read on the window's background (a dark
    // theme may keep the light one's blue).
    DerivePalette(this, [](QPalette &own, const QPalette &inherited) {
        for (auto group : {QPalette::Active, QPalette::Inactive})
            own.setColor(group, QPalette::WindowText,
                         ReadableOn(inherited.color(group, QPalette::Link),
                                    inherited.color(group, QPalette::Window),
                                    inherited.color(group, QPalette::WindowText)));
    });
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void TLinkLabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QStylePainter painter(this);
    QStyleOptionFocusRect frame;
    frame.initFrom(this);
    // Styles draw the frame only for focus that came from the keyboard; here it always shows.
    frame.state |= QStyle::State_KeyboardFocusChange;
    frame.backgroundColor = palette().color(QPalette::Window);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, frame);
}

void TLinkLabel::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Space) {
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

} // namespace kvb::ui
