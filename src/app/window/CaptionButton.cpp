#include "app/window/CaptionButton.h"

#include "app/window/KeyFocus.h"

#include <QKeyEvent>
#include <QPainter>

namespace pim {

namespace {

// Enter does what Space does: a tool button knows only Space.
template <class Handler>
void AsSpace(QKeyEvent* event, Handler handler) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        handler(event);
        return;
    }
    QKeyEvent space(event->type(), Qt::Key_Space, event->modifiers(), QStringLiteral(" "),
                    event->isAutoRepeat());
    handler(&space);
    event->setAccepted(space.isAccepted());
}

} // namespace

void CaptionButton::paintEvent(QPaintEvent* event) {
    QToolButton::paintEvent(event);
    QPainter painter(this);
    DrawKeyFocus(painter, *this, rect());
}

void CaptionButton::keyPressEvent(QKeyEvent* event) {
    AsSpace(event, [this](QKeyEvent* e) { QToolButton::keyPressEvent(e); });
}

void CaptionButton::keyReleaseEvent(QKeyEvent* event) {
    AsSpace(event, [this](QKeyEvent* e) { QToolButton::keyReleaseEvent(e); });
}

} // namespace pim
