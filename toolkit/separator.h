#pragma once
// "PLSEPARATOR": a separator line between groups of a dialog, with an optional
// heading as its window text. It takes no input; the renderer
// draws the line (the window's text before it when there is one).

#include <string_view>

#include "platform/window_system.h"

namespace toolkit {

inline constexpr std::u16string_view kSeparatorClass = u"PLSEPARATOR";

// Registers the class once per process; true when it is registered.
bool InitSeparator();
platform::LRESULT SeparatorProc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wparam,
                                platform::LPARAM lparam);

}  // namespace toolkit
