#pragma once
// Message handlers of windows and dialogs run under a guard: an exception
// escaping one shows the "Software Error" box and ends the program (CrashExit).

#include <exception>
#include <string>

#include "platform/window_system.h"

namespace toolkit {

using platform::HWND;
using platform::LRESULT;

// The window's text as the box names it: "No Window" when the window is gone,
// at most 255 characters.
std::u16string ErrorWindowText(HWND hwnd);

// Shows the "Software Error" box with `text`, then ends the program.
[[noreturn]] void ReportSoftwareError(const std::u16string& text);

// Runs `handler`; an escaping exception ends the program with the box whose
// text `describe(window_text, what)` makes.
template <typename Describe, typename Handler>
LRESULT GuardHandler(HWND hwnd, Describe describe, Handler&& handler) {
  try {
    return handler();
  } catch (const std::exception& e) {
    ReportSoftwareError(describe(ErrorWindowText(hwnd), e.what()));
  } catch (...) {
    ReportSoftwareError(describe(ErrorWindowText(hwnd), "unknown exception"));
  }
}

}  // namespace toolkit
