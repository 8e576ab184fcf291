#include "resources/Skin.h"

#include <QBitmap>
#include <QPixmapCache>

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
    // Found again by name: a pixmap loaded by its path is looked up with the
    // resource's time, and making that time reads the time zone file, at every
    // paint of the window.
    const QString key = QStringLiteral("pim-skin:") + name;
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap.load(QStringLiteral(":/skin/") + name);
        QPixmapCache::insert(key, pixmap);
    }
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
