#include "settings/AccountForm.h"

namespace pim {

TAccountForm::TAccountForm(QWidget* parent) : QDialog(parent) {}
void TAccountForm::btOkClick() {}
void TAccountForm::btCancelClick() {}

} // namespace pim
