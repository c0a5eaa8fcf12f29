// The list box: entries with a value each and at most one selected. With
// LBS_NOTIFY the parent hears the user's choices.

#include "toolkit/control_internal.h"
#include "toolkit/controls.h"
#include "toolkit/item_list.h"
#include "toolkit/renderer.h"

namespace toolkit::control_internal {
namespace pw = platform;
namespace {

void Tell(HWND hwnd, UINT code) {
  if (StyleOf(hwnd) & LBS_NOTIFY) SendCommand(hwnd, code);
}

// The user picks index; false when it is no entry.
// index -1: the user cleared the selection.
bool UserSelect(HWND hwnd, ItemList& list, std::intptr_t index) {
  if (!AcceptsUserInput(hwnd) || index < -1 || index >= list.count()) return false;
  if (index == list.selected) return true;
  list.selected = static_cast<int>(index);
  NotifyControlChanged(hwnd);
  Tell(hwnd, LBN_SELCHANGE);
  return true;
}

LRESULT ListBoxProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == pw::WM_CREATE) {
    MakeState<ItemList>(hwnd);
    NotifyControlChanged(hwnd);
    return 0;
  }
  if (msg == pw::WM_DESTROY) {
    FreeState<ItemList>(hwnd);
    return 0;
  }
  auto* list = StateOf<ItemList>(hwnd);
  if (!list) return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  auto index = static_cast<std::intptr_t>(wparam);
  switch (msg) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
      if (!lparam) return LB_ERR;
      int at = msg == LB_ADDSTRING ? list->Add(TextAt(lparam), StyleOf(hwnd) & LBS_SORT)
                                   : list->Insert(index, TextAt(lparam));
      if (at >= 0) NotifyControlChanged(hwnd);
      return at < 0 ? LB_ERR : at;
    }
    case LB_DELETESTRING:
      if (!list->Delete(wparam)) return LB_ERR;
      NotifyControlChanged(hwnd);
      return list->count();
    case LB_RESETCONTENT:
      list->Clear();
      NotifyControlChanged(hwnd);
      return 0;
    case LB_GETCOUNT:
      return list->count();
    case LB_GETCURSEL:
      return list->selected;
    case LB_SETCURSEL:
      if (index != -1 && !list->valid(wparam)) return LB_ERR;
      list->selected = static_cast<int>(index);
      NotifyControlChanged(hwnd);
      return index;
    case LB_GETTEXTLEN:
      return list->valid(wparam) ? static_cast<LRESULT>(list->items[wparam].text.size()) : LB_ERR;
    case LB_GETTEXT: {
      // The caller's buffer holds LB_GETTEXTLEN + 1 characters: the message carries no size.
      if (!list->valid(wparam) || !lparam) return LB_ERR;
      const std::u16string& text = list->items[wparam].text;
      return static_cast<LRESULT>(CopyOut(text, reinterpret_cast<char16_t*>(lparam), text.size() + 1));
    }
    case LB_GETITEMDATA:
      return list->valid(wparam) ? list->items[wparam].data : LB_ERR;
    case LB_SETITEMDATA:
      if (!list->valid(wparam)) return LB_ERR;
      list->items[wparam].data = lparam;
      return 1;
    case LB_SETITEMPARTS:
      if (!list->valid(wparam) || !lparam) return LB_ERR;
      list->items[wparam].parts = *reinterpret_cast<const ListItemParts*>(lparam);
      NotifyControlChanged(hwnd);
      return 1;
    case LB_GETITEMPARTS:
      if (!list->valid(wparam) || !lparam) return LB_ERR;
      *reinterpret_cast<ListItemParts*>(lparam) = list->items[wparam].parts;
      return 1;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case pw::WM_KEYDOWN:
      if (wparam == VK_UP || wparam == VK_DOWN) {
        UserSelect(hwnd, *list, list->selected < 0 ? 0 : list->selected + (wparam == VK_DOWN ? 1 : -1));
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
      UserSelect(hwnd, *list, lparam);
      return 0;
    case TKM_USER_ACTIVATE:
      // A double click picks the entry first.
      if (lparam >= 0 && UserSelect(hwnd, *list, lparam) && pw::IsWindow(hwnd)) Tell(hwnd, LBN_DBLCLK);
      return 0;
    case TKM_USER_FOCUS:
      TakeUserFocus(hwnd);
      return 0;
    default:
      return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  }
}

}  // namespace

void RegisterListBoxClass() { RegisterControl(kListBoxClass, ListBoxProc); }

}  // namespace toolkit::control_internal
