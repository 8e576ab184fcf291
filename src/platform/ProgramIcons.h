// The icons that stand for the user's mail program, numbered from 0 like the icons
// of a program file, for the mail program's button.
#pragma once

#include <QIcon>
#include <QList>
#include <QString>

namespace pim {

// In order: the Icon= of a .desktop file; else those of the desktop entries whose
// Exec= names the program; else the theme icon named like the program. Only icons
// that can be shown are listed. Needs the application object (icons are pixmaps).
QList<QIcon> ProgramIcons(const QString& programPath);

// Icon `index` of ProgramIcons(), or a null icon when there is none with that number.
QIcon ProgramIcon(const QString& programPath, int index);

} // namespace pim
