#include "toolkit/ce_dialog.h"

#include <algorithm>

#include "platform/text.h"
#include "toolkit/display.h"
#include "toolkit/menu_bar.h"

namespace toolkit {
namespace pw = platform;

LRESULT CeDialog::OnInitDialog(HWND focus, LPARAM param, bool& handled) {
  LRESULT result = CeBaseDialog::OnInitDialog(focus, param, handled);
  RECT client;
  GetClientRect(&client);
  client_width_ = client.right;
  client_height_ = client.bottom;
  view_width_ = client.right;
  view_height_ = client.bottom;
  scroll_x_ = scroll_y_ = 0;
  RECT window;
  GetWindowRect(&window);
  if (!sh_init_flags_) {
    default_width_ = window.right - window.left;
    default_height_ = window.bottom - window.top;
  }
  initialised_ = true;
  if (fixed_width_ || fixed_height_) {
    int width = fixed_width_ ? fixed_width_ + GetSystemMetrics(SM_CXVSCROLL) : window.right - window.left;
    int height = fixed_height_ ? fixed_height_ + GetSystemMetrics(SM_CYHSCROLL) : window.bottom - window.top;
    int x = window.left, y = window.top;
    if (HWND parent = GetParent(); parent && (GetStyle() & pw::WS_CHILD)) {
      RECT parent_rect;
      pw::GetWindowRect(parent, &parent_rect);
      x -= parent_rect.left;
      y -= parent_rect.top;
    }
    MoveWindow(x, y, width, height);
  }
  return result;
}

void CeDialog::OnSize(UINT type, int width, int height, bool& handled) {
  CeBaseDialog::OnSize(type, width, height, handled);
  view_width_ = width;
  view_height_ = height;
  if (!initialised_) return;
  ScrollTo(SB_HORZ, scroll_x_);
  ScrollTo(SB_VERT, scroll_y_);
}

LRESULT CeDialog::OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) {
  if ((msg == pw::WM_HSCROLL || msg == pw::WM_VSCROLL) && lparam == 0 && initialised_) {
    HandleScroll(msg == pw::WM_HSCROLL ? SB_HORZ : SB_VERT, pw::LOWORD(wparam),
                 static_cast<std::int16_t>(pw::HIWORD(wparam)));
    handled = true;
    return 0;
  }
  return CeBaseDialog::OnMessage(msg, wparam, lparam, handled);
}

int CeDialog::GetScrollLimit(int bar) const {
  return bar == SB_HORZ ? std::max(0, client_width_ - view_width_) : std::max(0, client_height_ - view_height_);
}

int CeDialog::ScrollTo(int bar, int pos) {
  int& current = bar == SB_HORZ ? scroll_x_ : scroll_y_;
  int target = std::clamp(pos, 0, GetScrollLimit(bar));
  int delta = current - target;
  current = target;
  if (delta == 0 || !hwnd_) return target;
  RECT dialog_rect;
  GetWindowRect(&dialog_rect);
  for (HWND child : pw::GetChildWindows(hwnd_)) {
    if (pw::EqualsIgnoreAsciiCase(pw::GetClassName(child), kMenuBarClass)) continue;
    RECT r;
    if (!pw::GetWindowRect(child, &r)) continue;
    int x = r.left - dialog_rect.left + (bar == SB_HORZ ? delta : 0);
    int y = r.top - dialog_rect.top + (bar == SB_VERT ? delta : 0);
    pw::MoveWindow(child, x, y, r.right - r.left, r.bottom - r.top, true);
  }
  return target;
}

void CeDialog::HandleScroll(int bar, UINT request, int thumb) {
  int pos = GetScrollPos(bar);
  int page = bar == SB_HORZ ? view_width_ : view_height_;
  switch (request) {
    case SB_LINEUP:
      pos -= kLineStep;
      break;
    case SB_LINEDOWN:
      pos += kLineStep;
      break;
    case SB_PAGEUP:
      pos -= page;
      break;
    case SB_PAGEDOWN:
      pos += page;
      break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
      pos = thumb;
      break;
    case SB_TOP:
      pos = 0;
      break;
    case SB_BOTTOM:
      pos = GetScrollLimit(bar);
      break;
    default:
      return;
  }
  ScrollTo(bar, pos);
}

}  // namespace toolkit
