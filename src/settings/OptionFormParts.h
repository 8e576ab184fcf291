// What the options dialog's source files share.
#pragma once

#include <QFont>
#include <QString>
#include <string>

namespace pim::option_parts {

QFont DialogFont(bool bold = false);
// CP932 to the widgets and back.
QString U(const std::string& cp932Text);
std::string B(const QString& text);

} // namespace pim::option_parts
