#include "app/PictureButton.h"

#include <QMouseEvent>
#include <QPainter>

namespace pim {

PictureButton::PictureButton(QWidget* parent, const QRect& at, const QString& hint)
    : QWidget(parent), home_(at.topLeft()) {
    setGeometry(at);
    setToolTip(hint);
    setAttribute(Qt::WA_TranslucentBackground);
}

void PictureButton::SetPictures(const QPixmap& released, const QPixmap& pressed) {
    released_ = released;
    down_ = pressed;
    update();
}

void PictureButton::paintEvent(QPaintEvent*) {
    const QPixmap& picture = pressed_ && !down_.isNull() ? down_ : released_;
    if (picture.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // A picture of another size (the mail program's icon) is stretched to fit.
    painter.drawPixmap(rect(), picture);
}

void PictureButton::Press() {
    pressed_ = true;
    if (down_.isNull())
        move(home_ + QPoint(1, 1));
    update();
}

void PictureButton::Release() {
    pressed_ = false;
    move(home_);
    update();
}

void PictureButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        Press();
}

void PictureButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        Press();
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_)
        return;
    Release();
    // Released elsewhere: the user changed his mind. The position is taken in
    // the button's home place, since it has just moved back.
    if (rect().contains(event->position().toPoint() + (down_.isNull() ? QPoint(1, 1) : QPoint())))
        emit clicked();
}

void PictureButton::changeEvent(QEvent* event) {
    // Disabled in the middle of a press (the information button during its
    // animation): nothing is left shifted or dark.
    if (event->type() == QEvent::EnabledChange && !isEnabled() && pressed_)
        Release();
    QWidget::changeEvent(event);
}

} // namespace pim
