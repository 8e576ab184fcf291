#include "settings/VersionForm.h"

namespace pim {

TVersionForm::TVersionForm(QWidget* parent) : QDialog(parent) {}

} // namespace pim
