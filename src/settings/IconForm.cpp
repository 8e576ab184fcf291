#include "settings/IconForm.h"

namespace pim {

TIconForm::TIconForm(QWidget* parent) : QDialog(parent) {}
void TIconForm::Fill(const QString&) {}
void TIconForm::btOkClick() {}
void TIconForm::btCancelClick() {}

} // namespace pim
