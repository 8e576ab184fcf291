#include "app/window/KeyFocus.h"

#include <QPainter>

namespace pim {

void DrawKeyFocus(QPainter& painter, const QWidget& owner, const QRect& frame) {
    if (!owner.hasFocus() || !owner.window()->testAttribute(Qt::WA_KeyboardFocusChange))
        return;
    const QRect line = frame.adjusted(0, 0, -1, -1);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(line);
    QPen dots(Qt::black, 1, Qt::CustomDashLine);
    dots.setDashPattern({1, 1});
    painter.setPen(dots);
    painter.drawRect(line);
    painter.restore();
}

void FocusKeeper::Restore() const {
    if (widget_ && widget_->isEnabled() && widget_->isVisible() &&
        (widget_->focusPolicy() & Qt::TabFocus))
        widget_->setFocus(Qt::OtherFocusReason);
}

void KeyFocusTree::paintEvent(QPaintEvent* event) {
    QTreeWidget::paintEvent(event);
    QPainter painter(viewport());
    DrawKeyFocus(painter, *this, viewport()->rect());
}

// The frame is drawn whole: a focus change repaints only the current line.
void KeyFocusTree::focusInEvent(QFocusEvent* event) {
    CurrentWhileFocused::focusInEvent(event);
    viewport()->update();
}

void KeyFocusTree::focusOutEvent(QFocusEvent* event) {
    CurrentWhileFocused::focusOutEvent(event);
    viewport()->update();
}

// Scrolling moves what is drawn, the frame with it.
void KeyFocusTree::scrollContentsBy(int dx, int dy) {
    QTreeWidget::scrollContentsBy(dx, dy);
    if (hasFocus())
        viewport()->update();
}

} // namespace pim
