// What a real screen asks of the skinned window beyond its design's pixels:
// rows and labels sized from the fonts the system has, a window kept on a
// screen that is there, and areas a growing outline uncovers painted whole.
#pragma once

#include <QFont>
#include <QList>
#include <QRect>
#include <QRegion>
#include <QStringList>

class QIcon;
class QTreeWidget;
class QWidget;

namespace pim {

// The height of a row of `tree` holding `text` with `icon`, as its delegate,
// style and font draw it.
int TreeRowHeight(QTreeWidget* tree, const QString& text, const QIcon& icon);

// `font`, narrowed until each of `texts` fits `width` pixels of `device`;
// unchanged when they fit already.
QFont FontFitting(QFont font, const QStringList& texts, int width, const QWidget* device);

// The screens' areas for windows (without panels), in whole pixels of Qt's
// that lie on the screen.
QList<QRect> AvailableAreas();

// Where a window at `window` goes: left where it is when it lies whole within
// the screens' `available` areas, else moved into the nearest of them.
QPoint PlaceOnScreen(const QRect& window, const QList<QRect>& available);

// Repaints `uncovered` of `window` and of every widget in it. A widget painted
// while the outline hid part of it kept that part blank, and Qt would repaint
// only the window itself there.
void RepaintUncovered(QWidget* window, const QRegion& uncovered);

} // namespace pim
