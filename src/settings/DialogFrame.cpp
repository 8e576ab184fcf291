#include "settings/DialogFrame.h"

#include "resources/Skin.h"

#include <QGuiApplication>
#include <QScreen>

namespace pim {

QFont DialogFont(bool bold) {
    QFont font = SkinFont(true, 9, bold);
    font.setPixelSize(12);
    return font;
}

void FrameDialog(QDialog& dialog, const QString& caption, int clientWidth, int clientHeight) {
    dialog.setWindowTitle(caption);
    dialog.setFont(DialogFont());
    dialog.setFixedSize(clientWidth, clientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dialog.move(screen->geometry().center() - dialog.rect().center());
}

} // namespace pim
