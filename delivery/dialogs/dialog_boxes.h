#pragma once
// The message boxes of the unsent-notes dialogs, all titled "Dictalo".

#include <string>
#include <string_view>

#include "platform/window_system.h"

namespace delivery::dialogs {

// A yes/no question with the question icon; true on Yes.
bool AskYesNo(platform::HWND owner, std::u16string_view text);
// A notice with the error icon.
void ShowError(platform::HWND owner, std::u16string_view text);

}  // namespace delivery::dialogs
