// The keyboard focus on the skinned window's own controls.
#pragma once

#include "platform/CurrentWhileFocused.h"

#include <QPointer>
#include <QTreeWidget>

class QPainter;

namespace pim {

// When `owner` has the keyboard focus: a dotted frame, black and white by turns,
// along the inside of `frame`, which reads on the dark wells, the light caption
// and the white trees alike. Drawn only once the keyboard has moved the focus in
// the window, as Qt's own styles do, so that a click shows none.
void DrawKeyFocus(QPainter& painter, const QWidget& owner, const QRect& frame);

// The control that has the keyboard focus in a window, given back to it after
// something took it away: a window disabled under a modal dialog loses its
// focus, and Qt then gives it to the first control; a window made anew has none.
class FocusKeeper {
public:
    explicit FocusKeeper(const QWidget& window) : widget_(window.focusWidget()) {}
    // Only to a control still there that can take it.
    void Restore() const;

private:
    QPointer<QWidget> widget_;
};

// A tree whose keyboard focus shows as that frame around its lines: the style's
// own mark on the current line hardly shows on the selection's colour.
class KeyFocusTree : public CurrentWhileFocused<QTreeWidget> {
    Q_OBJECT
public:
    using CurrentWhileFocused::CurrentWhileFocused;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
};

} // namespace pim
