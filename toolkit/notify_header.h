#pragma once
// The header every WM_NOTIFY carries (lParam points at it, or at a structure
// that begins with it). Laid out as platform::NMHDR, with a signed code so that
// the negative notification codes (NM_CLICK, LVN_ITEMCHANGED, ...) compare
// without casts.

#include <cstdint>

#include "platform/window_system.h"

namespace toolkit {

struct NMHDR {
  platform::HWND hwndFrom = nullptr;
  std::uintptr_t idFrom = 0;
  int code = 0;
};
static_assert(sizeof(NMHDR) == sizeof(platform::NMHDR));

}  // namespace toolkit
