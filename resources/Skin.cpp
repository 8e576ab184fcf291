#include "resources/Skin.h"

#include <QBitmap>

// The images live in a static library: its resources must be asked for by name,
// and outside any namespace.
static void InitSkinResources() {
    Q_INIT_RESOURCE(skin);
}

namespace pim {

void InitSkin() {
    InitSkinResources();
}

QPixmap SkinPixmap(const QString& name, bool lime) {
    QPixmap pixmap(QStringLiteral(":/skin/") + name);
    if (lime && !pixmap.isNull())
        pixmap.setMask(pixmap.createMaskFromColor(QColor(0x00, 0xFF, 0x00)));
    return pixmap;
}

QIcon SkinMailIcon(int frame) {
    QIcon icon(QStringLiteral(":/skin/MAIN_ICON_%1").arg(frame + 1));
    icon.addFile(QStringLiteral(":/skin/TASK_ICON_%1").arg(frame + 1));
    return icon;
}

// The fixed font shows digits only (the mail count and the date): a small Latin
// monospace before the CJK one, whose tables alone would cost a resident
// Pim some 2.5 MB.
QFont SkinFont(bool proportional, int pointSize, bool bold) {
    QFont font;
    font.setFamilies(proportional ? QStringList{"MS PGothic", "IPAPGothic", "Noto Sans CJK JP"}
                                  : QStringList{"MS Gothic", "IPAGothic", "DejaVu Sans Mono",
                                                "Noto Sans Mono CJK JP"});
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace pim
