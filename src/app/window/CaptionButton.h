// A flat button on the caption strip ("_", "×"): Tab reaches it, Space and
// Enter press it as a click does, and its keyboard focus shows on the skin.
#pragma once

#include <QToolButton>

namespace pim {

class CaptionButton : public QToolButton {
    Q_OBJECT
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};

} // namespace pim
