#include "app/window/PictureButton.h"

#include "app/window/KeyFocus.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace pim {

PictureButton::PictureButton(QWidget* parent, const QRect& at, const QString& hint)
    : QWidget(parent), home_(at.topLeft()) {
    setGeometry(at);
    setToolTip(hint);
    setAttribute(Qt::WA_TranslucentBackground);
    // Tab only: a click leaves the focus where it was.
    setFocusPolicy(Qt::TabFocus);
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
    DrawKeyFocus(painter, *this, rect());
}

void PictureButton::Press() {
    pressed_ = true;
    if (down_.isNull())
        move(home_ + QPoint(1, 1));
    update();
}

void PictureButton::Release() {
    pressed_ = false;
    keyDown_ = false;
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

namespace {

bool PressKey(const QKeyEvent* event) {
    const int key = event->key();
    return (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) &&
           !(event->modifiers() & ~Qt::KeypadModifier);
}

} // namespace

// Down while the key is down, a click when it comes up, as a mouse button does;
// a held key's repeats are no further clicks.
void PictureButton::keyPressEvent(QKeyEvent* event) {
    if (!PressKey(event)) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (!event->isAutoRepeat() && !pressed_) {
        keyDown_ = true;
        Press();
    }
}

void PictureButton::keyReleaseEvent(QKeyEvent* event) {
    if (!PressKey(event)) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    if (event->isAutoRepeat() || !keyDown_)
        return;
    Release();
    emit clicked();
}

void PictureButton::focusOutEvent(QFocusEvent* event) {
    // The key comes up elsewhere: no click.
    if (keyDown_)
        Release();
    QWidget::focusOutEvent(event);
}

void PictureButton::Click() {
    if (isEnabled())
        emit clicked();
}

void PictureButton::SetUsable(bool usable) {
    QWidget* window = this->window();
    if (!usable) {
        const bool hadFocus = window->focusWidget() == this;
        setEnabled(false);
        focusLent_ = hadFocus;
        focusHeir_ = hadFocus ? window->focusWidget() : nullptr;
        return;
    }
    setEnabled(true);
    if (focusLent_ && window->focusWidget() == focusHeir_)
        setFocus(Qt::OtherFocusReason);
    focusLent_ = false;
    focusHeir_ = nullptr;
}

void PictureButton::changeEvent(QEvent* event) {
    // Disabled in the middle of a press (the information button during its
    // animation): nothing is left shifted or dark.
    if (event->type() == QEvent::EnabledChange && !isEnabled() && pressed_)
        Release();
    QWidget::changeEvent(event);
}

} // namespace pim
