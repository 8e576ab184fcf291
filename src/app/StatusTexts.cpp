#include "app/StatusTexts.h"

#include "common/Cp932.h"

namespace pim {

namespace texts {

#define PIM_TEXT(name, utf8)                                                                       \
    const std::string& name() {                                                                    \
        static const std::string text = cp932::FromUtf8(utf8);                                     \
        return text;                                                                               \
    }

PIM_TEXT(AutoCheckStopped, "自動チェック停止中")
PIM_TEXT(AutoCheckWaiting, "自動チェック待機中")
PIM_TEXT(ConfirmExit, "終了してもよろしいですか？")

#undef PIM_TEXT

} // namespace texts

std::string InitialStatusText(const TSettings& settings) {
    if (!settings.ScheduleTime)
        return texts::AutoCheckStopped();
    if (!settings.ScheduleTimeInfo || settings.Type != 1 || settings.SettingRunHide)
        return texts::AutoCheckWaiting();
    return texts::AutoCheckStopped();
}

} // namespace pim
