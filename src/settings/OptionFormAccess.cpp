// The options dialog through a screen reader: each edit is named by its label,
// and the buttons that show a sign say what they do.
#include "common/UiText.h"
#include "settings/OptionForm.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

namespace pim {

void TOptionForm::SetUpAccess() {
    const std::pair<const char*, QWidget*> buddies[] = {
        {"laScheduleTimeout1", edScheduleTimeoutCount},
        {"laSoundWave", edSoundRecv},
        {"laMailerPath", edMailerPath},
        {"laMailerOption", edMailerOption},
        {"laCuDialLabel", cbCuDialSelect},
        {"laScheduleTime1", edScheduleTimeCount},
        {"laFPNPassword", edFPNPassword}};
    for (const auto& [label, control] : buddies)
        findChild<QLabel*>(QLatin1String(label))->setBuddy(control);
    // The hint says what "♪" and "…" do.
    for (QToolButton* b : {sbSoundTestRecv, sbSoundSearchRecv, sbMailerPathSearch})
        b->setAccessibleName(b->toolTip());
    const std::pair<QWidget*, QString> names[] = {
        {clAccount, UiString("OptionForm", "メールチェック アカウント")},
        {btAccountUp, UiString("OptionForm", "上へ移動")},
        {btAccountDown, UiString("OptionForm", "下へ移動")},
        {imMailerIcon, UiString("OptionForm", "起動アイコン")}};
    for (const auto& [widget, name] : names)
        widget->setAccessibleName(name);
    // Two buttons read "変更": each says what it changes.
    btSetting->setAccessibleDescription(UiString("OptionForm", "選択したアカウントを変更"));
    btMailerIconChange->setAccessibleDescription(UiString("OptionForm", "起動アイコンを変更"));
}

} // namespace pim
