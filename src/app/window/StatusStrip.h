// The status strip: lime on black, and a text too wide for it scrolls by after
// a short wait, 4 pixels every 100 ms, while the strip can be seen.
#pragma once

#include <QTimer>
#include <QWidget>

namespace pim {

class StatusStrip : public QWidget {
    Q_OBJECT
public:
    explicit StatusStrip(QWidget* parent = nullptr);

    void SetText(const QString& text);
    // Whether anybody can see the strip (its window shown, not minimised): the
    // marquee only draws, so it waits meanwhile where it stopped.
    void SetSeen(bool seen);
    const QString& Text() const { return text_; }
    // One marquee step (the 100 ms timer calls it).
    void tmStatusTimerTimer();

    bool Scrolling() const { return timer_.isActive(); }
    int ScrollX = 0;
    int ScrollWidth = 0;
    int ScrollDelay = 0;

    static constexpr int kWidth = 265;
    static constexpr int kHeight = 12;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QString scrollText_;
    QTimer timer_;
    bool seen_ = false;
};

} // namespace pim
