#include "toolkit/ce_base_wnd.h"

#include <algorithm>
#include <utility>

#include "toolkit/display.h"

namespace toolkit {

namespace pw = platform;

bool CeBaseWnd::Attach(HWND hwnd) {
  if (hwnd_ || !hwnd) return false;
  hwnd_ = hwnd;
  return true;
}

HWND CeBaseWnd::Detach() { return std::exchange(hwnd_, nullptr); }

bool CeBaseWnd::IsWindow() const { return pw::IsWindow(hwnd_); }
bool CeBaseWnd::DestroyWindow() { return pw::DestroyWindow(hwnd_); }

std::u16string CeBaseWnd::GetWindowTextW() const { return pw::GetWindowText(hwnd_); }
bool CeBaseWnd::SetWindowTextW(std::u16string_view text) { return pw::SetWindowText(hwnd_, text); }

std::size_t CeBaseWnd::CopyWindowText(std::span<char16_t> buffer) const {
  if (buffer.empty()) return 0;
  std::u16string text = GetWindowTextW();
  std::size_t count = std::min(text.size(), buffer.size() - 1);
  std::copy_n(text.begin(), count, buffer.begin());
  buffer[count] = u'\0';
  return count;
}

std::u16string CeBaseWnd::GetDlgItemTextW(int id) const { return pw::GetWindowText(GetDlgItem(id)); }
bool CeBaseWnd::SetDlgItemTextW(int id, std::u16string_view text) {
  return pw::SetWindowText(GetDlgItem(id), text);
}

bool CeBaseWnd::MoveWindow(int x, int y, int width, int height, bool repaint) {
  return pw::MoveWindow(hwnd_, x, y, width, height, repaint);
}

bool CeBaseWnd::MoveWindow(const RECT& rect, bool repaint) {
  return MoveWindow(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, repaint);
}

bool CeBaseWnd::GetWindowRect(RECT* rect) const { return pw::GetWindowRect(hwnd_, rect); }
bool CeBaseWnd::GetClientRect(RECT* rect) const { return pw::GetClientRect(hwnd_, rect); }

bool CeBaseWnd::CenterWindow(HWND center_on) {
  RECT own;
  if (!GetWindowRect(&own)) return false;
  if (!center_on) center_on = GetParent();
  RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (center_on)
    pw::GetWindowRect(center_on, &area);
  else
    GetWorkArea(&area);
  int width = own.right - own.left, height = own.bottom - own.top;
  int x = area.left + (area.right - area.left - width) / 2;
  int y = area.top + (area.bottom - area.top - height) / 2;
  // Child positions are relative to the parent.
  if (HWND parent = GetParent(); parent && (GetStyle() & pw::WS_CHILD)) {
    RECT parent_rect;
    pw::GetWindowRect(parent, &parent_rect);
    x -= parent_rect.left;
    y -= parent_rect.top;
  }
  return MoveWindow(x, y, width, height);
}

bool CeBaseWnd::PostMessageW(UINT msg, WPARAM wparam, LPARAM lparam) const {
  return hwnd_ && pw::PostMessage(hwnd_, msg, wparam, lparam);
}

LRESULT CeBaseWnd::SendMessageW(UINT msg, WPARAM wparam, LPARAM lparam) const {
  return pw::SendMessage(hwnd_, msg, wparam, lparam);
}

std::uintptr_t CeBaseWnd::SetTimer(std::uintptr_t id, UINT interval_ms, TIMERPROC proc) {
  return hwnd_ ? pw::SetTimer(hwnd_, id, interval_ms, proc) : 0;
}

bool CeBaseWnd::KillTimer(std::uintptr_t id) { return hwnd_ && pw::KillTimer(hwnd_, id); }

bool CeBaseWnd::EnableWindow(bool enable) { return pw::EnableWindow(hwnd_, enable); }
bool CeBaseWnd::IsWindowEnabled() const { return pw::IsWindowEnabled(hwnd_); }
bool CeBaseWnd::ShowWindow(int command) { return pw::ShowWindow(hwnd_, command); }
bool CeBaseWnd::IsWindowVisible() const { return pw::IsWindowVisible(hwnd_); }
HWND CeBaseWnd::SetFocus() { return pw::SetFocus(hwnd_); }
bool CeBaseWnd::SetForegroundWindow() { return pw::SetForegroundWindow(hwnd_); }

HWND CeBaseWnd::GetParent() const { return pw::GetParent(hwnd_); }
HWND CeBaseWnd::GetTopLevelWindow() const { return pw::GetTopLevelWindow(hwnd_); }
HWND CeBaseWnd::GetDlgItem(int id) const { return pw::GetDlgItem(hwnd_, id); }
int CeBaseWnd::GetDlgCtrlID() const { return pw::GetDlgCtrlID(hwnd_); }

DWORD CeBaseWnd::GetStyle() const { return static_cast<DWORD>(pw::GetWindowLongPtr(hwnd_, pw::GWL_STYLE)); }
DWORD CeBaseWnd::GetExStyle() const { return static_cast<DWORD>(pw::GetWindowLongPtr(hwnd_, pw::GWL_EXSTYLE)); }

bool CeBaseWnd::ModifyStyle(DWORD remove, DWORD add) {
  DWORD style = GetStyle();
  DWORD changed = (style & ~remove) | add;
  if (!hwnd_ || changed == style) return false;
  pw::SetWindowLongPtr(hwnd_, pw::GWL_STYLE, changed);
  return true;
}

bool CeBaseWnd::ModifyStyleEx(DWORD remove, DWORD add) {
  DWORD style = GetExStyle();
  DWORD changed = (style & ~remove) | add;
  if (!hwnd_ || changed == style) return false;
  pw::SetWindowLongPtr(hwnd_, pw::GWL_EXSTYLE, changed);
  return true;
}

std::intptr_t CeBaseWnd::GetWindowLongPtr(int index) const { return pw::GetWindowLongPtr(hwnd_, index); }
std::intptr_t CeBaseWnd::SetWindowLongPtr(int index, std::intptr_t value) {
  return pw::SetWindowLongPtr(hwnd_, index, value);
}

}  // namespace toolkit
