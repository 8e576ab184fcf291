// A button of the skin: a picture that reacts to the left mouse button, and to
// Space and Enter once Tab has given it the focus. It either shows a second
// picture while pressed or moves one pixel right and down.
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

namespace pim {

class PictureButton : public QWidget {
    Q_OBJECT
public:
    PictureButton(QWidget* parent, const QRect& at, const QString& hint);

    // With a pressed picture the button stays put while pressed; without one it shifts.
    void SetPictures(const QPixmap& released, const QPixmap& pressed = QPixmap());
    bool Pressed() const { return pressed_; }
    // What a click does, for a screen reader's press (nothing while disabled).
    void Click();
    // Out of use for a while (the information button during its animation).
    // The keyboard focus it had to give up comes back with it, unless the user
    // has moved it elsewhere meanwhile.
    void SetUsable(bool usable);

signals:
    // A click or a double-click: each ends with the button's release over it.
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Press();
    void Release();

    QPixmap released_;
    QPixmap down_;
    QPoint home_;
    bool pressed_ = false;
    bool keyDown_ = false; // pressed by Space or Enter, not the mouse
    bool focusLent_ = false;
    QPointer<QWidget> focusHeir_;
};

} // namespace pim
