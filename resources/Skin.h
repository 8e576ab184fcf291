// The skin's images, drawn by tools/skin-gen at build time and compiled in as
// ":/skin/NAME" (MAIN_ICON_1, OPTION_ICON_3, ...).
#pragma once

#include <QFont>
#include <QPixmap>
#include <QString>

namespace pim {

// Makes the images reachable by name; call once before the first use.
void InitSkin();

// An image of the skin by its name; with `lime` the lime pixels are transparent.
QPixmap SkinPixmap(const QString& name, bool lime = false);

// The designed fonts ("ＭＳ Ｐゴシック" proportional, "ＭＳ ゴシック" fixed), then
// what Linux has in their place.
QFont SkinFont(bool proportional, int pointSize, bool bold = false);

} // namespace pim
