// The keyboard focus on the skinned window's own controls.
#pragma once

#include <QTreeWidget>

class QPainter;

namespace pim {

// When `owner` has the keyboard focus: a dotted frame, black and white by turns,
// along the inside of `frame`, which reads on the dark wells, the light caption
// and the white trees alike. Drawn only once the keyboard has moved the focus in
// the window, as Qt's own styles do, so that a click shows none.
void DrawKeyFocus(QPainter& painter, const QWidget& owner, const QRect& frame);

// A tree whose keyboard focus shows as that frame around its lines: the style's
// own mark on the current line hardly shows on the selection's colour.
class KeyFocusTree : public QTreeWidget {
    Q_OBJECT
public:
    using QTreeWidget::QTreeWidget;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
};

} // namespace pim
