#pragma once
// The display as the toolkit sees it: screen size, work area and pixel density.
// Sizes in templates and layouts are pixels at 96 dpi; Scale turns them into
// pixels of the display. Without a renderer that knows better the display is a
// portrait handheld screen (platform::kDefaultScreenWidth x kDefaultScreenHeight)
// at 96 dpi whose work area is the whole screen. Any thread may call these.

#include "platform/window_system.h"

namespace toolkit {

using platform::RECT;

struct DisplayMetrics {
  int screen_width = platform::kDefaultScreenWidth;
  int screen_height = platform::kDefaultScreenHeight;
  int dpi = 96;
  // The display's real density, for choosing among pictures drawn at several
  // sizes; layouts stay in pixels at `dpi`.
  int device_dpi = 96;
  RECT work_area{0, 0, platform::kDefaultScreenWidth, platform::kDefaultScreenHeight};
  int vertical_scroll_width = 13;     // SM_CXVSCROLL at 96 dpi
  int horizontal_scroll_height = 13;  // SM_CYHSCROLL at 96 dpi
};

// Set by the renderer when it learns the display; the program's display scaling
// is initialised from it.
void SetDisplayMetrics(const DisplayMetrics& metrics);
DisplayMetrics GetDisplayMetrics();

// A length at 96 dpi in display pixels (rounded to nearest).
int Scale(int pixels_at_96_dpi);
// The work area (screen less the shell's bars); false when it is unknown (empty).
bool GetWorkArea(RECT* area);

inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;
inline constexpr int SM_CXVSCROLL = 2;
inline constexpr int SM_CYHSCROLL = 3;
int GetSystemMetrics(int index);

}  // namespace toolkit
