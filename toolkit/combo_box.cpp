// The drop-down list. The window's text is what the closed control shows: the
// selected entry's text, or for CBS_DROPDOWN whatever the user typed into the
// edit part.

#include <algorithm>

#include "toolkit/control_internal.h"
#include "toolkit/controls.h"
#include "toolkit/item_list.h"
#include "toolkit/renderer.h"

namespace toolkit::control_internal {
namespace pw = platform;
namespace {

bool HasEditPart(HWND hwnd) { return (StyleOf(hwnd) & 0x3) == CBS_DROPDOWN; }

void ShowText(HWND hwnd, const std::u16string& text) {
  if (pw::GetWindowText(hwnd) != text)
    pw::DefWindowProc(hwnd, pw::WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// Selects index (-1: none) and shows its text; false when out of range.
bool Select(HWND hwnd, ItemList& list, std::intptr_t index) {
  if (index != -1 && (index < 0 || index >= list.count())) return false;
  list.selected = static_cast<int>(index);
  if (index >= 0)
    ShowText(hwnd, list.items[static_cast<std::size_t>(index)].text);
  else if (!HasEditPart(hwnd))
    ShowText(hwnd, u"");
  return true;
}

void UserSelect(HWND hwnd, ItemList& list, std::intptr_t index) {
  if (!AcceptsUserInput(hwnd) || index < 0 || index >= list.count() || index == list.selected) return;
  Select(hwnd, list, index);
  NotifyControlChanged(hwnd);
  SendCommand(hwnd, CBN_SELCHANGE);
}

LRESULT ComboProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == pw::WM_CREATE) {
    MakeState<ItemList>(hwnd);
    NotifyControlChanged(hwnd);
    return 0;
  }
  if (msg == pw::WM_DESTROY) {
    DropUserTexts(hwnd);
    FreeState<ItemList>(hwnd);
    return 0;
  }
  auto* list = StateOf<ItemList>(hwnd);
  if (!list) return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  auto index = static_cast<std::intptr_t>(wparam);
  switch (msg) {
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
      if (!lparam) return CB_ERR;
      int at = msg == CB_ADDSTRING ? list->Add(TextAt(lparam), StyleOf(hwnd) & CBS_SORT)
                                   : list->Insert(index, TextAt(lparam));
      if (at >= 0) NotifyControlChanged(hwnd);
      return at < 0 ? CB_ERR : at;
    }
    case CB_DELETESTRING: {
      bool was_selected = list->selected >= 0 && static_cast<WPARAM>(list->selected) == wparam;
      if (!list->Delete(wparam)) return CB_ERR;
      if (was_selected) Select(hwnd, *list, -1);
      NotifyControlChanged(hwnd);
      return list->count();
    }
    case CB_RESETCONTENT:
      list->Clear();
      Select(hwnd, *list, -1);
      NotifyControlChanged(hwnd);
      return 0;
    case CB_GETCOUNT:
      return list->count();
    case CB_GETCURSEL:
      return list->selected;
    case CB_SETCURSEL:
      if (!Select(hwnd, *list, index)) return CB_ERR;
      NotifyControlChanged(hwnd);
      return index;
    case CB_GETLBTEXTLEN:
      return list->valid(wparam) ? static_cast<LRESULT>(list->items[wparam].text.size()) : CB_ERR;
    case CB_GETLBTEXT: {
      // The caller's buffer holds CB_GETLBTEXTLEN + 1 characters: the message carries no size.
      if (!list->valid(wparam) || !lparam) return CB_ERR;
      const std::u16string& text = list->items[wparam].text;
      return static_cast<LRESULT>(CopyOut(text, reinterpret_cast<char16_t*>(lparam), text.size() + 1));
    }
    case CB_GETITEMDATA:
      return list->valid(wparam) ? list->items[wparam].data : CB_ERR;
    case CB_SETITEMDATA:
      if (!list->valid(wparam)) return CB_ERR;
      list->items[wparam].data = lparam;
      return 1;
    case CB_FINDSTRINGEXACT:
      if (!lparam) return CB_ERR;
      return list->FindExact(index, TextAt(lparam));
    case CB_GETEDITSEL: {
      auto end = static_cast<std::uint16_t>(std::min<std::size_t>(pw::GetWindowText(hwnd).size(), 0xFFFF));
      return pw::MAKELPARAM(end, end);
    }
    case pw::WM_SETTEXT:
      // Only the edit part takes a text of its own.
      if (!HasEditPart(hwnd)) return CB_ERR;
      ShowText(hwnd, TextAt(lparam));
      NotifyControlChanged(hwnd);
      return 1;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case pw::WM_KEYDOWN:
      if (wparam == VK_UP || wparam == VK_DOWN) {
        int next = list->selected + (wparam == VK_DOWN ? 1 : -1);
        if (list->selected < 0) next = 0;
        UserSelect(hwnd, *list, next);
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
      SendCommand(hwnd, msg == pw::WM_SETFOCUS ? CBN_SETFOCUS : CBN_KILLFOCUS);
      return 0;
    case TKM_USER_SELECT:
      UserSelect(hwnd, *list, lparam);
      return 0;
    case TKM_USER_TEXT: {
      std::optional<std::u16string> text = TakeUserText(hwnd, lparam);
      if (text && HasEditPart(hwnd) && AcceptsUserInput(hwnd) && pw::GetWindowText(hwnd) != *text) {
        ShowText(hwnd, *text);
        NotifyControlChanged(hwnd);
        SendCommand(hwnd, CBN_EDITCHANGE);
      } else {
        NotifyControlChanged(hwnd);  // the renderer shows what the control kept
      }
      return 0;
    }
    case TKM_USER_FOCUS:
      TakeUserFocus(hwnd);
      return 0;
    default:
      return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  }
}

}  // namespace

void RegisterComboBoxClass() { RegisterControl(kComboBoxClass, ComboProc); }

}  // namespace toolkit::control_internal
