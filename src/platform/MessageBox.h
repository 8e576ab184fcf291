// Message boxes with the caption "Pim", taking the flags and answering with the
// button numbers of the classic message box, so callers read like the design.
#pragma once

#include <functional>
#include <string_view>

class QWidget;

namespace pim {

namespace mb {
inline constexpr unsigned Ok = 0x0;
inline constexpr unsigned YesNo = 0x4;
inline constexpr unsigned IconQuestion = 0x20;
inline constexpr unsigned IconExclamation = 0x30;
inline constexpr unsigned IconInformation = 0x40;
inline constexpr unsigned DefButton2 = 0x100;
} // namespace mb

inline constexpr int IDOK = 1;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Shows `text` (CP932) modally and returns the button pressed.
int MessageBox(QWidget* parent, std::string_view text, unsigned flags);

// Tests answer message boxes through this; an empty handler restores the real box.
using MessageBoxHandler = std::function<int(std::string_view text, unsigned flags)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace pim
