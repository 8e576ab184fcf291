// Where the window system shows a window, for saving its place and keeping it.
#pragma once

#include <QPoint>

class QWidget;

namespace pim {

// The top left corner of top-level `window` on the screen, in Qt's coordinates.
// Qt's own idea of it can be wrong on X11 for good: a window manager that puts
// a new window into its frame while Qt asks where the window is makes Qt take
// the frame's first place, often 0,0, and the next resize moves the window
// there. Elsewhere, and for a window not made yet, Qt's idea.
QPoint ShownPosition(const QWidget* window);

} // namespace pim
