#include "toolkit/display.h"

#include <mutex>

namespace toolkit {
namespace {

std::mutex g_mu;
DisplayMetrics g_metrics;

}  // namespace

void SetDisplayMetrics(const DisplayMetrics& metrics) {
  std::lock_guard lock(g_mu);
  g_metrics = metrics;
  if (g_metrics.dpi <= 0) g_metrics.dpi = 96;
}

DisplayMetrics GetDisplayMetrics() {
  std::lock_guard lock(g_mu);
  return g_metrics;
}

int Scale(int pixels_at_96_dpi) {
  int dpi = GetDisplayMetrics().dpi;
  long long scaled = static_cast<long long>(pixels_at_96_dpi) * dpi;
  // Rounded to nearest, halves away from zero.
  return static_cast<int>(scaled >= 0 ? (scaled + 48) / 96 : -((-scaled + 48) / 96));
}

bool GetWorkArea(RECT* area) {
  DisplayMetrics m = GetDisplayMetrics();
  if (m.work_area.right <= m.work_area.left || m.work_area.bottom <= m.work_area.top) return false;
  if (area) *area = m.work_area;
  return true;
}

int GetSystemMetrics(int index) {
  DisplayMetrics m = GetDisplayMetrics();
  switch (index) {
    case SM_CXSCREEN:
      return m.screen_width;
    case SM_CYSCREEN:
      return m.screen_height;
    case SM_CXVSCROLL:
      return Scale(m.vertical_scroll_width);
    case SM_CYHSCROLL:
      return Scale(m.horizontal_scroll_height);
    default:
      return 0;
  }
}

}  // namespace toolkit
