#include "toolkit/menu_bar.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "platform/text.h"
#include "toolkit/controls.h"
#include "toolkit/display.h"
#include "toolkit/renderer.h"

namespace toolkit {
namespace pw = platform;
using platform::LPARAM;
using platform::LRESULT;
using platform::WPARAM;

namespace {

void RegisterBarClass(pw::WNDPROC proc) {
  static std::once_flag once;
  std::call_once(once, [proc] {
    pw::WNDCLASS wc;
    wc.lpfnWndProc = proc;
    wc.hbrBackground = pw::GetStockObject(pw::LTGRAY_BRUSH);
    wc.lpszClassName = std::u16string(kMenuBarClass);
    pw::RegisterClass(wc);
  });
}

bool IsBar(HWND hwnd) { return hwnd && pw::EqualsIgnoreAsciiCase(pw::GetClassName(hwnd), kMenuBarClass); }

}  // namespace

CMenuBar::~CMenuBar() { Destroy(); }

bool CMenuBar::Create(HWND owner, UINT bar_id, DWORD soft_key_mode) {
  if (bar_ && pw::IsWindow(bar_)) return false;
  if (!owner || pw::GetWindowThreadId(owner) != pw::GetCurrentThreadId()) return false;
  auto resource = FindMenuBar(bar_id);
  if (!resource) return false;
  RegisterControlClasses();
  RegisterBarClass(BarProc);

  keys_.clear();
  key_windows_.clear();
  for (const SoftKeyResource& key : resource->keys)
    keys_.push_back(CMenuBarItem{key.text, key.command, key.popup_id, true, key.popup});

  RECT client;
  pw::GetClientRect(owner, &client);
  int height = Scale(kMenuBarHeight);
  HWND bar = pw::CreateWindowEx(0, kMenuBarClass, u"", pw::WS_CHILD | pw::WS_VISIBLE, 0, client.bottom - height,
                                client.right, height, owner, bar_id, nullptr);
  if (!bar) return false;
  pw::SetWindowLongPtr(bar, pw::GWLP_USERDATA, reinterpret_cast<std::intptr_t>(this));
  owner_ = owner;
  bar_ = bar;
  bar_id_ = bar_id;
  mode_ = soft_key_mode;
  int count = static_cast<int>(keys_.size());
  for (int i = 0; i < count; ++i) {
    const CMenuBarItem& key = keys_[static_cast<std::size_t>(i)];
    int left = client.right * i / count, right = client.right * (i + 1) / count;
    UINT id = key.command ? key.command : key.popup_id;
    HWND window = pw::CreateWindowEx(0, kButtonClass, key.text, pw::WS_CHILD | pw::WS_VISIBLE | BS_PUSHBUTTON, left, 0,
                                     right - left, height, bar, id, nullptr);
    key_windows_.push_back(window);
  }
  return true;
}

void CMenuBar::Destroy() {
  HWND bar = std::exchange(bar_, nullptr);
  if (bar && FromWindow(bar) == this) {
    pw::SetWindowLongPtr(bar, pw::GWLP_USERDATA, 0);
    if (pw::GetWindowThreadId(bar) == pw::GetCurrentThreadId()) pw::DestroyWindow(bar);
  }
  key_windows_.clear();
  keys_.clear();
  owner_ = nullptr;
}

std::optional<CMenuBarItem> CMenuBar::GetKey(std::size_t index) const {
  if (index >= keys_.size()) return std::nullopt;
  return keys_[index];
}

HWND CMenuBar::GetKeyWindow(std::size_t index) const {
  return index < key_windows_.size() ? key_windows_[index] : nullptr;
}

bool CMenuBar::EnableKey(UINT command, bool enable) {
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i].command != command && keys_[i].popup_id != command) continue;
    keys_[i].enabled = enable;
    if (HWND window = GetKeyWindow(i)) pw::EnableWindow(window, enable);
    return true;
  }
  return false;
}

bool CMenuBar::SetKeyText(UINT command, std::u16string_view text) {
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i].command != command && keys_[i].popup_id != command) continue;
    keys_[i].text = text;
    if (HWND window = GetKeyWindow(i)) pw::SetWindowText(window, text);
    return true;
  }
  return false;
}

bool CMenuBar::EnableItem(UINT command, bool enable) {
  if (command == 0) return false;  // separators are never chosen
  bool found = false;
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    bool changed = false;
    for (MenuItemResource& item : keys_[i].popup) {
      if (item.command != command) continue;
      found = true;
      changed |= item.grayed == enable;
      item.grayed = !enable;
    }
    // The renderer reads the popup again from the key's control.
    HWND window = GetKeyWindow(i);
    if (changed && window && pw::IsWindow(window)) NotifyControlChanged(window);
  }
  return found;
}

bool CMenuBar::IsItemEnabled(UINT command) const {
  if (command == 0) return false;
  for (const CMenuBarItem& key : keys_)
    for (const MenuItemResource& item : key.popup)
      if (item.command == command && !item.grayed) return true;
  return false;
}

bool CMenuBar::PressKey(std::size_t index) {
  if (index >= keys_.size() || !keys_[index].enabled || !keys_[index].command) return false;
  HWND window = GetKeyWindow(index);
  if (!window || !pw::IsWindow(window)) return false;
  pw::SendMessage(window, BM_CLICK, 0, 0);
  return true;
}

bool CMenuBar::ChoosePopupItem(std::size_t index, UINT command) {
  if (index >= keys_.size() || !keys_[index].enabled || command == 0) return false;
  const auto& popup = keys_[index].popup;
  if (std::none_of(popup.begin(), popup.end(),
                   [&](const MenuItemResource& item) { return item.command == command && !item.grayed; }))
    return false;
  if (!owner_ || !pw::IsWindow(owner_)) return false;
  pw::SendMessage(owner_, pw::WM_COMMAND, pw::MAKEWPARAM(static_cast<std::uint16_t>(command), 0), 0);
  return true;
}

CMenuBar* CMenuBar::FromWindow(HWND bar) {
  if (!IsBar(bar)) return nullptr;
  return reinterpret_cast<CMenuBar*>(pw::GetWindowLongPtr(bar, pw::GWLP_USERDATA));
}

void CMenuBar::OnKeyClicked(UINT id) {
  for (const CMenuBarItem& key : keys_) {
    if (key.command != id || id == 0) continue;
    if (!key.enabled) return;
    // The owner may destroy the bar while it handles the command: nothing after it.
    pw::SendMessage(owner_, pw::WM_COMMAND, pw::MAKEWPARAM(static_cast<std::uint16_t>(id), 0), 0);
    return;
  }
}

LRESULT CMenuBar::BarProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case pw::WM_COMMAND:
      if (pw::HIWORD(wparam) == BN_CLICKED && lparam != 0)
        if (CMenuBar* bar = FromWindow(hwnd)) bar->OnKeyClicked(pw::LOWORD(wparam));
      return 0;
    case pw::WM_KEYDOWN:
    case pw::WM_KEYUP:
    case pw::WM_CHAR:
      // Keys pressed on a soft key belong to the bar's owner.
      if (HWND owner = pw::GetParent(hwnd)) return pw::SendMessage(owner, msg, wparam, lparam);
      return 0;
    default:
      return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  }
}

}  // namespace toolkit
