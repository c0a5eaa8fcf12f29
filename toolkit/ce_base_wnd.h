#pragma once
// CeBaseWnd: one window handle and thin wrappers around the window functions.
// It owns nothing: destroying the object leaves the window alone.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/window_system.h"

namespace toolkit {

using platform::DWORD;
using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::RECT;
using platform::TIMERPROC;
using platform::UINT;
using platform::WPARAM;

class CeBaseWnd {
 public:
  CeBaseWnd() = default;
  explicit CeBaseWnd(HWND hwnd) : hwnd_(hwnd) {}
  virtual ~CeBaseWnd() = default;
  CeBaseWnd(const CeBaseWnd&) = delete;
  CeBaseWnd& operator=(const CeBaseWnd&) = delete;

  HWND GetSafeHwnd() const { return hwnd_; }
  operator HWND() const { return hwnd_; }

  // Takes a handle into an empty object (false when it already holds one).
  bool Attach(HWND hwnd);
  // Gives the handle up and returns it.
  HWND Detach();

  bool IsWindow() const;
  bool DestroyWindow();

  std::u16string GetWindowTextW() const;
  bool SetWindowTextW(std::u16string_view text);
  // Copies at most buffer.size() - 1 characters and a terminator; returns the count.
  std::size_t CopyWindowText(std::span<char16_t> buffer) const;
  std::u16string GetDlgItemTextW(int id) const;
  bool SetDlgItemTextW(int id, std::u16string_view text);

  bool MoveWindow(int x, int y, int width, int height, bool repaint = true);
  bool MoveWindow(const RECT& rect, bool repaint = true);
  bool GetWindowRect(RECT* rect) const;
  bool GetClientRect(RECT* rect) const;
  // Centres the window over another (default: its parent, or the work area).
  bool CenterWindow(HWND center_on = nullptr);

  bool PostMessageW(UINT msg, WPARAM wparam = 0, LPARAM lparam = 0) const;
  LRESULT SendMessageW(UINT msg, WPARAM wparam = 0, LPARAM lparam = 0) const;

  std::uintptr_t SetTimer(std::uintptr_t id, UINT interval_ms, TIMERPROC proc = nullptr);
  bool KillTimer(std::uintptr_t id);

  bool EnableWindow(bool enable = true);  // returns whether it was disabled
  bool IsWindowEnabled() const;
  bool ShowWindow(int command);           // returns whether it was visible
  bool IsWindowVisible() const;
  HWND SetFocus();
  bool SetForegroundWindow();

  HWND GetParent() const;
  HWND GetTopLevelWindow() const;
  HWND GetDlgItem(int id) const;
  int GetDlgCtrlID() const;

  DWORD GetStyle() const;
  DWORD GetExStyle() const;
  // Removes and adds style bits; returns whether the style changed.
  bool ModifyStyle(DWORD remove, DWORD add);
  bool ModifyStyleEx(DWORD remove, DWORD add);

  std::intptr_t GetWindowLongPtr(int index) const;
  std::intptr_t SetWindowLongPtr(int index, std::intptr_t value);

 protected:
  HWND hwnd_ = nullptr;
};

}  // namespace toolkit
