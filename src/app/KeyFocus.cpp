#include "app/KeyFocus.h"

#include <QPainter>
#include <QWidget>

namespace pim {

void DrawKeyFocus(QPainter& painter, const QWidget& widget) {
    if (!widget.hasFocus() || !widget.window()->testAttribute(Qt::WA_KeyboardFocusChange))
        return;
    const QRect frame = widget.rect().adjusted(0, 0, -1, -1);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(frame);
    QPen dots(Qt::black, 1, Qt::CustomDashLine);
    dots.setDashPattern({1, 1});
    painter.setPen(dots);
    painter.drawRect(frame);
    painter.restore();
}

} // namespace pim
