#include "toolkit/ce_icon_button.h"

#include <algorithm>
#include <mutex>

#include "toolkit/common_controls.h"
#include "toolkit/control_internal.h"
#include "toolkit/controls.h"
#include "toolkit/renderer.h"

namespace toolkit {
namespace pw = platform;

HWND CeIconButton::Create(HWND parent, UINT id, const RECT& rect, DWORD style) {
  static std::once_flag once;
  std::call_once(once, [] { RegisterClassW(kClassName, 0, 0, 0, 0, 0, 0, u""); });
  HWND hwnd = CeWnd::Create(ClassName(kClassName), u"", style | pw::WS_CHILD, rect, parent, id);
  if (hwnd) {
    Layout();
    Changed();
  }
  return hwnd;
}

int CeIconButton::CompareFunc(const CeIconButtonBase& a, const CeIconButtonBase& b) const {
  if (a.order != b.order) return a.order < b.order ? -1 : 1;
  return a.id < b.id ? -1 : (a.id > b.id ? 1 : 0);
}

bool CeIconButton::AddButton(const CeIconButtonBase& button) {
  if (button.id == 0 || Find(button.id)) return false;
  buttons_.push_back(button);
  buttons_.back().pressed = false;
  Sort();
  Layout();
  Changed();
  return true;
}

bool CeIconButton::RemoveButton(UINT id) {
  if (!Find(id)) return false;
  if (current_ == id) Release();
  std::erase_if(buttons_, [&](const CeIconButtonBase& b) { return b.id == id; });
  Layout();
  Changed();
  return true;
}

const CeIconButtonBase* CeIconButton::GetButton(UINT id) const {
  auto it = std::find_if(buttons_.begin(), buttons_.end(), [&](const CeIconButtonBase& b) { return b.id == id; });
  return it == buttons_.end() ? nullptr : &*it;
}

CeIconButtonBase* CeIconButton::Find(UINT id) { return const_cast<CeIconButtonBase*>(GetButton(id)); }

bool CeIconButton::SetCheck(UINT id, bool checked) {
  CeIconButtonBase* b = Find(id);
  if (!b) return false;
  if (b->checked != checked) {
    b->checked = checked;
    Changed();
  }
  return true;
}

bool CeIconButton::EnableButton(UINT id, bool enabled) {
  CeIconButtonBase* b = Find(id);
  if (!b) return false;
  if (b->enabled != enabled) {
    b->enabled = enabled;
    if (!enabled && current_ == id) Release();
    Changed();
  }
  return true;
}

bool CeIconButton::SetIcon(UINT id, std::u16string_view icon, std::u16string_view pressed_icon) {
  CeIconButtonBase* b = Find(id);
  if (!b) return false;
  b->icon = icon;
  b->pressed_icon = pressed_icon;
  Changed();
  return true;
}

UINT CeIconButton::HitTest(POINT point) const {
  for (const CeIconButtonBase& b : buttons_)
    if (b.enabled && point.x >= b.rect.left && point.x < b.rect.right && point.y >= b.rect.top &&
        point.y < b.rect.bottom)
      return b.id;
  return 0;
}

void CeIconButton::SetPadding(int padding) {
  padding_ = std::max(0, padding);
  Layout();
  Changed();
}

void CeIconButton::Sort() {
  std::stable_sort(buttons_.begin(), buttons_.end(),
                   [&](const CeIconButtonBase& a, const CeIconButtonBase& b) { return CompareFunc(a, b) < 0; });
}

void CeIconButton::Layout() {
  if (!hwnd_) return;
  RECT client;
  GetClientRect(&client);
  int height = std::max(0, client.bottom - 2 * padding_);
  int x = padding_;
  for (CeIconButtonBase& b : buttons_) {
    int width = b.width > 0 ? b.width : height;
    b.rect = RECT{x, padding_, x + width, padding_ + height};
    x += width + padding_;
  }
}

void CeIconButton::Press(UINT id) {
  Release();
  CeIconButtonBase* b = Find(id);
  if (!b) return;
  current_ = id;
  b->pressed = true;
  hold_fired_ = false;
  Changed();
  if (b->context) SetTimer(kHoldTimer, hold_ms_);
  if (b->repeat) {
    SetTimer(kRepeatTimer, repeat_first_ms_);
    Click(id);  // a repeat button acts at once
  }
}

void CeIconButton::Release() {
  KillTimer(kRepeatTimer);
  KillTimer(kHoldTimer);
  if (CeIconButtonBase* b = Find(current_)) b->pressed = false;
  if (current_) {
    current_ = 0;
    Changed();
  }
}

void CeIconButton::Click(UINT id) {
  CeIconButtonBase* b = Find(id);
  if (!b || !b->enabled) return;
  if (b->checkable) {
    b->checked = !b->checked;
    Changed();
  }
  Tell(id, BN_CLICKED);
}

void CeIconButton::Tell(UINT id, UINT code) {
  HWND parent = GetParent();
  if (!parent) return;
  pw::SendMessage(parent, pw::WM_COMMAND,
                  pw::MAKEWPARAM(static_cast<std::uint16_t>(id), static_cast<std::uint16_t>(code)),
                  reinterpret_cast<LPARAM>(hwnd_));
}

void CeIconButton::Changed() {
  if (hwnd_) NotifyControlChanged(hwnd_);
}

void CeIconButton::OnLButtonDown(UINT, POINT point, bool& handled) {
  handled = true;
  if (!control_internal::AcceptsUserInput(hwnd_)) return;
  if (UINT id = HitTest(point)) Press(id);
}

void CeIconButton::OnLButtonUp(UINT, POINT point, bool& handled) {
  handled = true;
  UINT id = current_;
  const CeIconButtonBase* b = GetButton(id);
  bool repeat = b && b->repeat;
  bool click = id && !hold_fired_ && !repeat && HitTest(point) == id;
  Release();
  // The parent may remove the button or destroy the bar while it hears the click.
  if (click) Click(id);
}

void CeIconButton::OnLButtonDblClk(UINT key_flags, POINT point, bool& handled) {
  handled = true;
  if (!control_internal::AcceptsUserInput(hwnd_)) return;
  UINT id = HitTest(point);
  const CeIconButtonBase* b = GetButton(id);
  if (b && b->double_click)
    Tell(id, BN_DOUBLECLICKED);
  else
    OnLButtonDown(key_flags, point, handled);
}

void CeIconButton::OnTimer(std::uintptr_t id, bool& handled) {
  handled = true;
  if (id == kRepeatTimer && current_) {
    SetTimer(kRepeatTimer, repeat_next_ms_);
    Click(current_);
  } else if (id == kHoldTimer && current_) {
    KillTimer(kHoldTimer);
    KillTimer(kRepeatTimer);
    hold_fired_ = true;
    Tell(current_, BN_CONTEXT);
  }
}

void CeIconButton::OnSize(UINT, int, int, bool& handled) {
  Layout();
  Changed();
  handled = true;
}

void CeIconButton::OnEnable(bool enabled, bool& handled) {
  if (!enabled) Release();
  handled = true;
}

LRESULT CeIconButton::OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) {
  switch (msg) {
    case IBM_GETBUTTONCOUNT:
      handled = true;
      return static_cast<LRESULT>(buttons_.size());
    case IBM_GETBUTTON:
      handled = true;
      if (wparam >= buttons_.size() || !lparam) return 0;
      *reinterpret_cast<CeIconButtonBase*>(lparam) = buttons_[wparam];
      return 1;
    case IBM_GETCURRENT:
      handled = true;
      return current_;
    case TKM_USER_ACTIVATE: {
      handled = true;
      if (lparam <= 0 || lparam > 0xFFFFFFFF) return 0;
      const CeIconButtonBase* b = GetButton(static_cast<UINT>(lparam));
      if (b && b->enabled && control_internal::AcceptsUserInput(hwnd_)) Click(b->id);
      return 0;
    }
    default:
      return CeWnd::OnMessage(msg, wparam, lparam, handled);
  }
}

}  // namespace toolkit
