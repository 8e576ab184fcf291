#include "settings/OptionForm.h"

namespace pim {

TOptionForm::TOptionForm(OptionHost&, DialupPhonebook&, const std::string&, QWidget* parent)
    : QDialog(parent) {}
TOptionForm::~TOptionForm() = default;
void TOptionForm::ApplySettings() {}

} // namespace pim
