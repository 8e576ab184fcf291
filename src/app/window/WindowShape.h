// The skinned window's outline and its opening and folding animation: an upper
// part U (caption and buttons) and a lower part L (the mailbox information),
// each made of round rectangles and a slanted joint.
#pragma once

#include <QObject>
#include <QRegion>
#include <QTimer>
#include <functional>

namespace pim {

// A round rectangle as the window system makes it: left/top inclusive,
// right/bottom exclusive, corners of an 18 x 18 ellipse.
QRegion RoundRect(int left, int top, int right, int bottom);
QRegion UpperPart();
QRegion LowerPart();

class WindowShape : public QObject {
    Q_OBJECT
public:
    enum Mode : uint8_t { OpenCompact = 0, OpenFull = 1, Unfold = 2, Fold = 3 };

    static constexpr int kFullHeight = 300;
    static constexpr int kCompactHeight = kFullHeight - 210;
    static constexpr int kStepMs = 20;

    WindowShape();

    std::function<void(const QRegion&)> ApplyRegion;
    std::function<void(int height)> SetHeight;
    std::function<void()> EnableInformationButton;

    // Starts an opening, unfolding or folding; a chain still pending stops, so
    // only one runs at a time. Without animation the final shape comes at once.
    void StartRegionAnimation(Mode mode, bool animate);
    void RegionAnimationStep();

    // The region of `mode` at step `step`, and whether that step is the last.
    static QRegion RegionAt(Mode mode, int step, bool* last = nullptr);

    bool Pending() const { return timer_.isActive(); }
    Mode RegionMode = OpenCompact;
    int RegionStep = 0;

private:
    QTimer timer_;
};

} // namespace pim
