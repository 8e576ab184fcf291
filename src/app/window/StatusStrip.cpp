#include "app/window/StatusStrip.h"

#include "resources/Skin.h"

#include <QAccessible>
#include <QPainter>

namespace pim {

namespace {
const QString kPad(53, QLatin1Char(' '));
} // namespace

StatusStrip::StatusStrip(QWidget* parent) : QWidget(parent) {
    setFixedSize(kWidth, kHeight);
    setFont(SkinFont(true, 9, true));
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, &StatusStrip::tmStatusTimerTimer);
}

void StatusStrip::SetText(const QString& text) {
    if (text.isEmpty())
        return;
    timer_.stop();
    text_ = text;
    scrollText_.clear();
    ScrollX = 0;
    if (fontMetrics().horizontalAdvance(text) > kWidth) {
        scrollText_ = kPad + text + kPad;
        ScrollWidth = fontMetrics().horizontalAdvance(kPad + text);
        ScrollX = -kWidth;
        ScrollDelay = 5;
        if (seen_)
            timer_.start();
    }
    update();
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void StatusStrip::SetSeen(bool seen) {
    seen_ = seen;
    if (!seen)
        timer_.stop();
    else if (!scrollText_.isEmpty() && !timer_.isActive())
        timer_.start();
}

void StatusStrip::tmStatusTimerTimer() {
    if (ScrollDelay > 0) {
        --ScrollDelay;
        return;
    }
    ScrollX -= 4;
    if (ScrollX < -ScrollWidth)
        ScrollX = 0;
    update();
}

void StatusStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setPen(QColor(0x00, 0xFF, 0x00));
    const QRect line(0, 0, 4000, kHeight);
    // The scrolling text is drawn ScrollX pixels from the left, as a window
    // scrolled to the right (the first frames show the blank lead-in).
    if (scrollText_.isEmpty() || ScrollDelay > 0)
        painter.drawText(line, Qt::AlignVCenter | Qt::AlignLeft, text_);
    else
        painter.drawText(line.translated(ScrollX, 0), Qt::AlignVCenter | Qt::AlignLeft,
                         scrollText_);
}

} // namespace pim
