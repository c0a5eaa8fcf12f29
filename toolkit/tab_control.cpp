// The tab control: tabs with a text and a value, one of them current once there
// are any. The user's change asks the parent first (TCN_SELCHANGING).

#include <algorithm>
#include <string>
#include <vector>

#include "toolkit/control_internal.h"
#include "toolkit/controls.h"
#include "toolkit/renderer.h"

namespace toolkit::control_internal {
namespace pw = platform;
namespace {

struct Tab {
  std::u16string text;
  LPARAM param = 0;
};

struct TabState {
  std::vector<Tab> tabs;
  int current = -1;
  int count() const { return static_cast<int>(tabs.size()); }
};

void UserSelect(HWND hwnd, TabState& s, std::intptr_t tab) {
  if (!AcceptsUserInput(hwnd) || tab < 0 || tab >= s.count() || tab == s.current) return;
  NMHDR asking;
  asking.code = TCN_SELCHANGING;
  if (SendNotify(hwnd, asking) != 0 || !pw::IsWindow(hwnd)) {
    NotifyControlChanged(hwnd);  // the renderer goes back to the current tab
    return;
  }
  auto* now = StateOf<TabState>(hwnd);
  if (!now || tab >= now->count()) return;
  now->current = static_cast<int>(tab);
  NotifyControlChanged(hwnd);
  NMHDR changed;
  changed.code = TCN_SELCHANGE;
  SendNotify(hwnd, changed);
}

LRESULT TabProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == pw::WM_CREATE) {
    MakeState<TabState>(hwnd);
    NotifyControlChanged(hwnd);
    return 0;
  }
  if (msg == pw::WM_DESTROY) {
    FreeState<TabState>(hwnd);
    return 0;
  }
  auto* s = StateOf<TabState>(hwnd);
  if (!s) return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  auto index = static_cast<std::intptr_t>(wparam);
  bool valid = index >= 0 && index < s->count();
  switch (msg) {
    case TCM_GETITEMCOUNT:
      return s->count();
    case TCM_INSERTITEMW: {
      const auto* item = reinterpret_cast<const TCITEMW*>(lparam);
      if (!item || index < 0) return -1;
      int at = static_cast<int>(std::min<std::intptr_t>(index, s->count()));
      Tab tab;
      if (item->mask & TCIF_TEXT) tab.text = TextAt(item->pszText);
      if (item->mask & TCIF_PARAM) tab.param = item->lParam;
      s->tabs.insert(s->tabs.begin() + at, std::move(tab));
      if (s->current < 0)
        s->current = 0;  // the first tab shows as soon as there is one
      else if (s->current >= at)
        ++s->current;
      NotifyControlChanged(hwnd);
      return at;
    }
    case TCM_DELETEITEM:
      if (!valid) return 0;
      s->tabs.erase(s->tabs.begin() + index);
      if (s->current == index)
        s->current = s->tabs.empty() ? -1 : std::min(static_cast<int>(index), s->count() - 1);
      else if (s->current > index)
        --s->current;
      NotifyControlChanged(hwnd);
      return 1;
    case TCM_DELETEALLITEMS:
      s->tabs.clear();
      s->current = -1;
      NotifyControlChanged(hwnd);
      return 1;
    case TCM_GETCURSEL:
      return s->current;
    case TCM_SETCURSEL: {
      if (!valid) return -1;
      int previous = s->current;
      s->current = static_cast<int>(index);
      if (previous != s->current) NotifyControlChanged(hwnd);
      return previous;
    }
    case TCM_GETITEMW: {
      auto* item = reinterpret_cast<TCITEMW*>(lparam);
      if (!item || !valid) return 0;
      const Tab& tab = s->tabs[static_cast<std::size_t>(index)];
      if (item->mask & TCIF_TEXT)
        CopyOut(tab.text, item->pszText, static_cast<std::size_t>(std::max(item->cchTextMax, 0)));
      if (item->mask & TCIF_PARAM) item->lParam = tab.param;
      return 1;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case pw::WM_KEYDOWN:
      if (wparam == VK_LEFT || wparam == VK_RIGHT) {
        UserSelect(hwnd, *s, s->current + (wparam == VK_RIGHT ? 1 : -1));
        return 0;
      }
      if (HWND parent = pw::GetParent(hwnd)) return pw::SendMessage(parent, msg, wparam, lparam);
      return 0;
    case pw::WM_LBUTTONDOWN:
      TakeUserFocus(hwnd);
      return 0;
    case pw::WM_SETFOCUS:
    case pw::WM_KILLFOCUS:
      NotifyControlChanged(hwnd);
      return 0;
    case TKM_USER_SELECT:
      UserSelect(hwnd, *s, lparam);
      return 0;
    case TKM_USER_FOCUS:
      TakeUserFocus(hwnd);
      return 0;
    default:
      return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  }
}

}  // namespace

void RegisterTabControlClass() { RegisterControl(kTabControlClass, TabProc); }

}  // namespace toolkit::control_internal
