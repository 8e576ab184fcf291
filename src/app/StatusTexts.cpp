#include "app/StatusTexts.h"

#include "common/Cp932.h"

namespace pim {

namespace texts {

PIM_CP932_TEXT(AutoCheckStopped, "自動チェック停止中")
PIM_CP932_TEXT(AutoCheckWaiting, "自動チェック待機中")
PIM_CP932_TEXT(ConfirmExit, "終了してもよろしいですか？")

} // namespace texts

std::string InitialStatusText(const TSettings& settings) {
    if (!settings.ScheduleTime)
        return texts::AutoCheckStopped();
    if (!settings.ScheduleTimeInfo || settings.Type != 1 || settings.SettingRunHide)
        return texts::AutoCheckWaiting();
    return texts::AutoCheckStopped();
}

} // namespace pim
