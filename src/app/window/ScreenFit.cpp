#include "app/window/ScreenFit.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QScreen>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>

namespace pim {

namespace {

// Below this the glyphs look squeezed; a smaller size reads better.
constexpr int kNarrowestStretch = 75;

// How far `r` lies from `point`: 0 inside.
int DistanceTo(const QRect& r, QPoint point) {
    const int dx = std::max({r.left() - point.x(), 0, point.x() - r.right()});
    const int dy = std::max({r.top() - point.y(), 0, point.y() - r.bottom()});
    return dx + dy;
}

} // namespace

int TreeRowHeight(QTreeWidget* tree, const QString& text, const QIcon& icon) {
    auto* probe = new QTreeWidgetItem(tree, QStringList(text));
    probe->setIcon(0, icon);
    const int height = tree->sizeHintForRow(tree->indexOfTopLevelItem(probe));
    delete probe;
    return height;
}

QFont FontFitting(QFont font, const QStringList& texts, int width, const QWidget* device) {
    const auto widest = [&](const QFont& f) {
        const QFontMetricsF metrics(f, device);
        qreal most = 0;
        for (const QString& text : texts)
            most = std::max(most, metrics.horizontalAdvance(text));
        return most;
    };
    const qreal natural = widest(font);
    if (natural <= width)
        return font;
    // Narrower glyphs of the same height first: a condensed face where the
    // system has one, else Qt stretches the glyphs.
    for (int stretch = static_cast<int>(100 * width / natural); stretch >= kNarrowestStretch;
         --stretch) {
        font.setStretch(stretch);
        if (widest(font) <= width)
            return font;
    }
    font.setStretch(QFont::Unstretched);
    while (font.pixelSize() > 1 && widest(font) > width)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}

QList<QRect> AvailableAreas() {
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        QRect area = screen->availableGeometry();
        // At a fractional scale Qt rounds the area to its whole pixels, and
        // the last of them may lie partly past the screen's edge.
        const qreal ratio = screen->devicePixelRatio();
        if (ratio != std::floor(ratio))
            area.adjust(0, 0, -1, -1);
        areas.append(area);
    }
    return areas;
}

QPoint PlaceOnScreen(const QRect& window, const QList<QRect>& available) {
    QRegion screens;
    for (const QRect& area : available)
        screens += area;
    if (available.isEmpty() || (QRegion(window) - screens).isEmpty())
        return window.topLeft();
    // The screen that shows most of it, else the one closest to its middle.
    const auto nearest =
        std::max_element(available.begin(), available.end(), [&](const QRect& a, const QRect& b) {
            const QRect inA = a & window, inB = b & window;
            const qint64 areaA = qint64(inA.width()) * inA.height();
            const qint64 areaB = qint64(inB.width()) * inB.height();
            if (areaA != areaB)
                return areaA < areaB;
            return DistanceTo(a, window.center()) > DistanceTo(b, window.center());
        });
    // Larger than the screen: its top left corner, where the caption is, stays on it.
    const QRect& area = *nearest;
    return {std::max(area.left(), std::min(window.left(), area.right() + 1 - window.width())),
            std::max(area.top(), std::min(window.top(), area.bottom() + 1 - window.height()))};
}

void RepaintUncovered(QWidget* window, const QRegion& uncovered) {
    if (uncovered.isEmpty())
        return;
    window->update(uncovered);
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (child->window() != window || !child->isVisible())
            continue;
        const QRegion part =
            uncovered.translated(-child->mapTo(window, QPoint(0, 0))) & child->rect();
        if (!part.isEmpty())
            child->update(part);
    }
}

} // namespace pim
