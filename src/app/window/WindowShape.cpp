#include "app/window/WindowShape.h"

#include <QPolygon>

namespace pim {

namespace {

constexpr int kCorner = 18;

QRegion Polygon(std::initializer_list<QPoint> points) {
    return QRegion(QPolygon(QList<QPoint>(points)), Qt::WindingFill);
}

} // namespace

QRegion RoundRect(int left, int top, int right, int bottom) {
    const int width = right - left;
    const int height = bottom - top;
    if (width <= 0 || height <= 0)
        return {};
    const int cw = std::min(kCorner, width);
    const int ch = std::min(kCorner, height);
    QRegion region(left + cw / 2, top, width - cw / 2 * 2, height);
    region += QRegion(left, top + ch / 2, width, height - ch / 2 * 2);
    region += QRegion(left, top, cw, ch, QRegion::Ellipse);
    region += QRegion(right - cw, top, cw, ch, QRegion::Ellipse);
    region += QRegion(left, bottom - ch, cw, ch, QRegion::Ellipse);
    region += QRegion(right - cw, bottom - ch, cw, ch, QRegion::Ellipse);
    return region;
}

QRegion UpperPart(int width) {
    return RoundRect(0, 0, 117, 91) + RoundRect(0, 0, width + 1, 60) +
           Polygon({{107, 90}, {116, 90}, {147, 59}, {107, 59}});
}

QRegion LowerPart(int width, int height) {
    // Where an edge of the lower part goes on from one of the upper part, the
    // two round corners would leave a notch in it: the edge runs straight on.
    const int right = width + 1, bottom = height + 1;
    return RoundRect(0, 90, right, bottom) + RoundRect(147, 59, right, bottom) +
           Polygon({{116, 90}, {147, 59}, {157, 59}, {157, 90}}) +
           QRegion(right - kCorner, 60 - kCorner / 2, kCorner, kCorner) +
           QRegion(0, 91 - kCorner / 2, kCorner, kCorner);
}

WindowShape::WindowShape() {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &WindowShape::RegionAnimationStep);
}

QRegion WindowShape::RegionAt(Mode mode, int s, bool* last, QSize full) {
    const int w = full.width(), h = full.height();
    const QRegion u = UpperPart(w);
    const QRegion l = LowerPart(w, h);
    // The band that opens grows from the same rows of a taller window.
    const auto band = [&](int middle, int half) {
        return RoundRect(0, (middle - half) * h / kFullHeight, w + 1,
                         (middle + half) * h / kFullHeight + 1);
    };
    bool end = false;
    QRegion region;
    switch (mode) {
    case OpenCompact:
        end = s >= 11;
        region = end ? UpperPart() : UpperPart() & RoundRect(0, 45 - 4 * s, 351, 46 + 4 * s);
        break;
    case OpenFull:
        end = s >= 11;
        region = end ? u + l : (u + l) & band(150, 15 * s);
        break;
    case Unfold:
        end = s >= 11;
        region = end ? u + l : u + (l & band(180, 12 * s));
        break;
    case Fold:
        end = s < 1;
        region = end ? UpperPart() : u + (l & band(180, 12 * s));
        break;
    }
    if (last)
        *last = end;
    return region;
}

void WindowShape::StartRegionAnimation(Mode mode, bool animate) {
    // One chain at a time; a fold or unfold cut short still gives the button back.
    const bool cutFolding = timer_.isActive() && (RegionMode == Fold || RegionMode == Unfold);
    timer_.stop();
    if (cutFolding && EnableInformationButton)
        EnableInformationButton();
    RegionMode = mode;
    if (mode == Fold)
        RegionStep = animate ? 10 : 0;
    else
        RegionStep = animate ? 1 : 11;
    RegionAnimationStep();
    if (!SetSize)
        return;
    if (mode == OpenCompact)
        SetSize(kCompactSize);
    else if (mode != Fold)
        SetSize(full_);
}

void WindowShape::SetFullSize(QSize size) {
    full_ = size.expandedTo({kFullWidth, kFullHeight});
    if (!timer_.isActive() && RegionMode != OpenCompact && RegionMode != Fold && ApplyRegion)
        ApplyRegion(RegionAt(RegionMode, 11, nullptr, full_));
}

void WindowShape::RegionAnimationStep() {
    bool last = false;
    const QRegion region = RegionAt(RegionMode, RegionStep, &last, full_);
    if (ApplyRegion)
        ApplyRegion(region);
    if (!last) {
        RegionStep += RegionMode == Fold ? -1 : 1;
        timer_.start(kStepMs);
        return;
    }
    if ((RegionMode == Unfold || RegionMode == Fold) && EnableInformationButton)
        EnableInformationButton();
    if (RegionMode == Fold && SetSize)
        SetSize(kCompactSize);
}

} // namespace pim
