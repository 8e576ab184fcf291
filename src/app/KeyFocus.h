// The keyboard focus on the skinned window's own controls.
#pragma once

class QPainter;
class QWidget;

namespace pim {

// A dotted frame, black and white by turns, along the inside of `widget`: it
// reads on the dark wells and the light caption alike. Drawn only once the
// keyboard has moved the focus in the window, as Qt's own styles do, so that a
// click shows none.
void DrawKeyFocus(QPainter& painter, const QWidget& widget);

} // namespace pim
