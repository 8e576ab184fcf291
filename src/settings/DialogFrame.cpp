#include "settings/DialogFrame.h"

#include "resources/Skin.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

namespace pim {

QFont DialogFont(bool bold) {
    QFont font = SkinFont(true, 9, bold);
    font.setPixelSize(12);
    return font;
}

void ShowAsStars(QLineEdit* edit) {
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; "
                                       "lineedit-password-mask-delay: 0; }"));
}

void FrameDialog(QDialog& dialog, const QString& caption, int clientWidth, int clientHeight) {
    dialog.setWindowTitle(caption);
    dialog.setFont(DialogFont());
    dialog.setFixedSize(clientWidth, clientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dialog.move(screen->geometry().center() - dialog.rect().center());
}

} // namespace pim
