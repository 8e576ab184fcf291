// The skinned window's outline and its opening and folding animation: an upper
// part U (caption and buttons) and a lower part L (the mailbox information),
// each made of round rectangles and a slanted joint. The window with the lists
// may be made larger than designed; the compact one keeps its size.
#pragma once

#include <QObject>
#include <QRegion>
#include <QSize>
#include <QTimer>
#include <functional>

namespace pim {

// A round rectangle as the window system makes it: left/top inclusive,
// right/bottom exclusive, corners of an 18 x 18 ellipse.
QRegion RoundRect(int left, int top, int right, int bottom);
QRegion UpperPart(int width = 350);
QRegion LowerPart(int width = 350, int height = 300);

class WindowShape : public QObject {
    Q_OBJECT
public:
    enum Mode : uint8_t { OpenCompact = 0, OpenFull = 1, Unfold = 2, Fold = 3 };

    static constexpr int kFullWidth = 350;
    static constexpr int kFullHeight = 300;
    static constexpr int kCompactHeight = kFullHeight - 210;
    static constexpr QSize kCompactSize{kFullWidth, kCompactHeight};
    static constexpr int kStepMs = 20;

    WindowShape();

    std::function<void(const QRegion&)> ApplyRegion;
    std::function<void(QSize size)> SetSize;
    std::function<void()> EnableInformationButton;

    // Starts an opening, unfolding or folding; a chain still pending stops, so
    // only one runs at a time. Without animation the final shape comes at once.
    void StartRegionAnimation(Mode mode, bool animate);
    void RegionAnimationStep();

    // The region of `mode` at step `step` with the lists at `full`, and whether
    // that step is the last.
    static QRegion RegionAt(Mode mode, int step, bool* last = nullptr,
                            QSize full = {kFullWidth, kFullHeight});
    // The size of the window with the lists, at least the designed one; the
    // outline follows at once where no animation runs.
    void SetFullSize(QSize size);
    QSize FullSize() const { return full_; }

    bool Pending() const { return timer_.isActive(); }
    Mode RegionMode = OpenCompact;
    int RegionStep = 0;

private:
    QTimer timer_;
    QSize full_{kFullWidth, kFullHeight};
};

} // namespace pim
