#include "app/check/StatusTexts.h"

#include "common/UiText.h"

namespace pim {

namespace texts {

const std::string& AutoCheckStopped() {
    return UiText("StatusTexts", "自動チェック停止中");
}
const std::string& AutoCheckWaiting() {
    return UiText("StatusTexts", "自動チェック待機中");
}
const std::string& Pushing() {
    return UiText("StatusTexts", "プッシュ受信中");
}
const std::string& ConfirmExit() {
    return UiText("StatusTexts", "終了してもよろしいですか？");
}

const std::string& NoAccount() {
    return UiText("StatusTexts", "アカウント未設定 - 環境設定で追加");
}

} // namespace texts

std::string InitialStatusText(const TSettings& settings) {
    if (!settings.ScheduleTime)
        return texts::AutoCheckStopped();
    if (!settings.ScheduleTimeInfo || settings.Type != 1 || settings.SettingRunHide)
        return texts::AutoCheckWaiting();
    return texts::AutoCheckStopped();
}

} // namespace pim
