// What the options dialog's source files share.
#pragma once

#include <QFont>
#include <QString>
#include <Qt>
#include <string>

namespace pim::option_parts {

// CP932 to the widgets and back.
QString U(const std::string& cp932Text);
std::string B(const QString& text);
// The text of an edit as bytes; the original bytes while the text still reads
// as they do. Not every CP932 byte string survives a trip through Unicode (a
// hand-edited password may hold any byte), and an untouched field must not change.
std::string Kept(const QString& text, const std::string& original);

// What an account list item carries besides its text: the slot of the
// program's Accounts it stands for (-1: added in the dialog), and whether a
// password was typed (or a sign-in made) for it since the last Apply.
inline constexpr int kOriginRole = Qt::UserRole;
inline constexpr int kPasswordTypedRole = Qt::UserRole + 1;

} // namespace pim::option_parts
