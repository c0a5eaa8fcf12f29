#include "toolkit/handler_guard.h"

#include "toolkit/crash_exit.h"
#include "toolkit/message_box.h"

namespace toolkit {

namespace {
constexpr std::size_t kMaxErrorWindowText = 255;
}  // namespace

std::u16string ErrorWindowText(HWND hwnd) {
  std::u16string text =
      hwnd && platform::IsWindow(hwnd) ? platform::GetWindowText(hwnd) : std::u16string(u"No Window");
  if (text.size() > kMaxErrorWindowText) text.resize(kMaxErrorWindowText);
  return text;
}

void ReportSoftwareError(const std::u16string& text) {
  MessageBoxW(nullptr, text, u"Software Error", MB_OK | MB_ICONERROR);
  CrashExit();
}

}  // namespace toolkit
