#include "toolkit/separator.h"

#include <mutex>

#include "toolkit/controls.h"

namespace toolkit {
namespace pw = platform;

bool InitSeparator() {
  static std::once_flag once;
  std::call_once(once, [] {
    pw::WNDCLASS wc;
    wc.lpfnWndProc = SeparatorProc;
    wc.hbrBackground = pw::GetStockObject(pw::WHITE_BRUSH);
    wc.lpszClassName = std::u16string(kSeparatorClass);
    wc.style = pw::CS_GLOBALCLASS;
    pw::RegisterClass(wc);
  });
  return pw::GetClassInfo(kSeparatorClass).has_value();
}

pw::LRESULT SeparatorProc(pw::HWND hwnd, pw::UINT msg, pw::WPARAM wparam, pw::LPARAM lparam) {
  switch (msg) {
    case WM_GETDLGCODE:
      return DLGC_STATIC;
    default:
      return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  }
}

}  // namespace toolkit
