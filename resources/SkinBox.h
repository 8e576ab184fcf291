// The black boxes of the window's panel, behind the status strip, the count,
// the date and the trees: drawn into the skin's background, and over it by the
// window where a box follows a control sized at run time.
#pragma once

#include <QPainter>

namespace pim {

inline void DrawSkinBox(QPainter& p, const QRectF& box) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xF4, 0xF4, 0xF8), 1));
    p.setBrush(Qt::black);
    p.drawRoundedRect(box, 2, 2);
    p.restore();
}

} // namespace pim
