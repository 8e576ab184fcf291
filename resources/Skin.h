// The skin's images, drawn by tools/skin-gen at build time and compiled in as
// ":/skin/NAME" (MAIN_ICON_1, OPTION_ICON_3, ...).
#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace pim {

// Makes the images reachable by name; call once before the first use.
void InitSkin();

// An image of the skin by its name; with `lime` the lime pixels are transparent.
QPixmap SkinPixmap(const QString& name, bool lime = false);

// Pim's icon, the sphere with a letter, at `frame` (0 idle, 1..7 busy, 8..12
// mail waiting), for the window and the tray.
QIcon SkinMailIcon(int frame);

// The designed fonts ("ＭＳ Ｐゴシック" proportional, "ＭＳ ゴシック" fixed), then
// what Linux has in their place.
QFont SkinFont(bool proportional, int pointSize, bool bold = false);

} // namespace pim
