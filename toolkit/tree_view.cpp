// The tree view: items with a text, a value and their children, one selected
// item, open and closed branches. Handles are numbers never given twice, so a
// stale handle is simply unknown. The parent hears of selection changes (the
// program's and the user's) and is asked before the user opens or closes a
// branch, so it can fill the children then.

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "toolkit/control_internal.h"
#include "toolkit/controls.h"
#include "toolkit/renderer.h"

namespace toolkit::control_internal {
namespace pw = platform;
namespace {

struct TreeItem {
  HTREEITEM parent = 0;  // 0: at the top
  std::vector<HTREEITEM> children;
  std::u16string text;
  LPARAM param = 0;
  bool expanded = false;
  int declared_children = 0;  // cChildren: 1 shows a button before children exist
};

struct TreeState {
  std::map<HTREEITEM, TreeItem> items;
  std::vector<HTREEITEM> top;
  HTREEITEM selected = 0;
  HTREEITEM next_handle = 1;

  TreeItem* Find(HTREEITEM h) {
    auto it = items.find(h);
    return it == items.end() ? nullptr : &it->second;
  }
  std::vector<HTREEITEM>& SiblingsOf(HTREEITEM parent) { return parent ? items[parent].children : top; }
  bool IsInside(HTREEITEM h, HTREEITEM ancestor) {
    for (TreeItem* x = Find(h); x; h = x->parent, x = Find(h))
      if (h == ancestor) return true;
    return false;
  }
};

bool IsTopHandle(HTREEITEM h) { return h == 0 || h == TVI_ROOT; }

TVITEMW Describe(TreeState& s, HTREEITEM h) {
  TVITEMW item;
  item.mask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM;
  item.hItem = h;
  if (TreeItem* x = s.Find(h)) {
    item.state = (x->expanded ? TVIS_EXPANDED : 0) | (s.selected == h ? TVIS_SELECTED : 0);
    item.lParam = x->param;
  }
  return item;
}

// Selects h (0: nothing) and tells the parent; false when h is unknown.
bool Select(HWND hwnd, TreeState& s, HTREEITEM h, UINT action) {
  if (h && !s.Find(h)) return false;
  if (h == s.selected) return true;
  NMTREEVIEWW nm;
  nm.hdr.code = TVN_SELCHANGEDW;
  nm.action = action;
  nm.itemOld = Describe(s, s.selected);
  s.selected = h;
  // The selected item shows: its branches open.
  for (TreeItem* x = s.Find(h); x && x->parent; x = s.Find(x->parent)) s.items[x->parent].expanded = true;
  nm.itemNew = Describe(s, h);
  NotifyControlChanged(hwnd);
  SendNotify(hwnd, nm.hdr);
  return true;
}

HTREEITEM Insert(TreeState& s, const TVINSERTSTRUCTW& in) {
  HTREEITEM parent = IsTopHandle(in.hParent) ? 0 : in.hParent;
  if (parent && !s.Find(parent)) return 0;
  std::vector<HTREEITEM>& siblings = s.SiblingsOf(parent);
  std::u16string text = (in.item.mask & TVIF_TEXT) ? TextAt(in.item.pszText) : std::u16string();
  std::size_t at;
  if (in.hInsertAfter == TVI_FIRST) {
    at = 0;
  } else if (in.hInsertAfter == TVI_LAST || in.hInsertAfter == 0) {
    at = siblings.size();
  } else if (in.hInsertAfter == TVI_SORT) {
    at = 0;
    while (at < siblings.size() && CompareItemText(s.items[siblings[at]].text, text) <= 0) ++at;
  } else {
    auto it = std::find(siblings.begin(), siblings.end(), in.hInsertAfter);
    if (it == siblings.end()) return 0;  // not a sibling: no place to put it
    at = static_cast<std::size_t>(it - siblings.begin()) + 1;
  }
  HTREEITEM h = s.next_handle++;
  TreeItem item;
  item.parent = parent;
  item.text = std::move(text);
  if (in.item.mask & TVIF_PARAM) item.param = in.item.lParam;
  if (in.item.mask & TVIF_CHILDREN) item.declared_children = in.item.cChildren;
  if ((in.item.mask & TVIF_STATE) && (in.item.stateMask & TVIS_EXPANDED))
    item.expanded = (in.item.state & TVIS_EXPANDED) != 0;
  siblings.insert(siblings.begin() + static_cast<std::ptrdiff_t>(at), h);
  s.items.emplace(h, std::move(item));
  return h;
}

void EraseSubtree(TreeState& s, HTREEITEM h) {
  TreeItem* x = s.Find(h);
  if (!x) return;
  std::vector<HTREEITEM> children = x->children;
  for (HTREEITEM child : children) EraseSubtree(s, child);
  s.items.erase(h);
}

bool Delete(HWND hwnd, TreeState& s, HTREEITEM h) {
  bool selection_goes;
  if (IsTopHandle(h)) {
    selection_goes = s.selected != 0;
    s.items.clear();
    s.top.clear();
  } else {
    TreeItem* x = s.Find(h);
    if (!x) return false;
    selection_goes = s.selected && s.IsInside(s.selected, h);
    std::erase(s.SiblingsOf(x->parent), h);
    EraseSubtree(s, h);
  }
  NotifyControlChanged(hwnd);
  if (selection_goes) {
    // Nothing is selected after the selected item goes; the parent hears it.
    NMTREEVIEWW nm;
    nm.hdr.code = TVN_SELCHANGEDW;
    nm.action = TVC_UNKNOWN;
    nm.itemOld.mask = TVIF_HANDLE;
    nm.itemOld.hItem = s.selected;
    s.selected = 0;
    SendNotify(hwnd, nm.hdr);
  }
  return true;
}

bool HasChildren(const TreeItem& x) { return !x.children.empty() || x.declared_children > 0; }

HTREEITEM Next(TreeState& s, UINT code, HTREEITEM h) {
  auto sibling = [&](int step) -> HTREEITEM {
    TreeItem* x = s.Find(h);
    if (!x) return 0;
    std::vector<HTREEITEM>& siblings = s.SiblingsOf(x->parent);
    auto it = std::find(siblings.begin(), siblings.end(), h);
    auto at = static_cast<std::ptrdiff_t>(it - siblings.begin()) + step;
    return at >= 0 && at < static_cast<std::ptrdiff_t>(siblings.size()) ? siblings[static_cast<std::size_t>(at)] : 0;
  };
  switch (code) {
    case TVGN_ROOT:
      return s.top.empty() ? 0 : s.top.front();
    case TVGN_NEXT:
      return sibling(1);
    case TVGN_PREVIOUS:
      return sibling(-1);
    case TVGN_PARENT: {
      TreeItem* x = s.Find(h);
      return x ? x->parent : 0;
    }
    case TVGN_CHILD: {
      if (IsTopHandle(h)) return s.top.empty() ? 0 : s.top.front();
      TreeItem* x = s.Find(h);
      return x && !x->children.empty() ? x->children.front() : 0;
    }
    case TVGN_CARET:
      return s.selected;
    default:
      return 0;
  }
}

bool GetItem(TreeState& s, TVITEMW& item) {
  TreeItem* x = s.Find(item.hItem);
  if (!x) return false;
  if (item.mask & TVIF_TEXT) CopyOut(x->text, item.pszText, static_cast<std::size_t>(std::max(item.cchTextMax, 0)));
  if (item.mask & TVIF_STATE)
    item.state = ((x->expanded ? TVIS_EXPANDED : 0) | (s.selected == item.hItem ? TVIS_SELECTED : 0)) & item.stateMask;
  if (item.mask & TVIF_PARAM) item.lParam = x->param;
  if (item.mask & TVIF_CHILDREN) item.cChildren = HasChildren(*x) ? 1 : 0;
  return true;
}

bool SetItem(TreeState& s, const TVITEMW& item) {
  TreeItem* x = s.Find(item.hItem);
  if (!x) return false;
  if (item.mask & TVIF_TEXT) x->text = TextAt(item.pszText);
  if (item.mask & TVIF_PARAM) x->param = item.lParam;
  if (item.mask & TVIF_CHILDREN) x->declared_children = item.cChildren;
  if ((item.mask & TVIF_STATE) && (item.stateMask & TVIS_EXPANDED)) x->expanded = (item.state & TVIS_EXPANDED) != 0;
  return true;
}

void UserExpand(HWND hwnd, TreeState& s, HTREEITEM h, bool expand) {
  TreeItem* x = s.Find(h);
  if (!AcceptsUserInput(hwnd) || !x || x->expanded == expand || (expand && !HasChildren(*x))) return;
  NMTREEVIEWW nm;
  nm.hdr.code = TVN_ITEMEXPANDINGW;
  nm.action = expand ? TVE_EXPAND : TVE_COLLAPSE;
  nm.itemNew = Describe(s, h);
  nm.itemNew.mask |= TVIF_TEXT;
  if (SendNotify(hwnd, nm.hdr) != 0 || !pw::IsWindow(hwnd)) {
    if (pw::IsWindow(hwnd)) NotifyControlChanged(hwnd);  // refused: the renderer shows it as it was
    return;
  }
  // The parent may have filled or removed items meanwhile.
  auto* now = StateOf<TreeState>(hwnd);
  if (!now || !(x = now->Find(h))) return;
  x->expanded = expand;
  NotifyControlChanged(hwnd);
  // A closed branch hides its selected descendant: the branch itself takes the selection.
  if (!expand && now->selected && now->selected != h && now->IsInside(now->selected, h))
    Select(hwnd, *now, h, TVC_BYMOUSE);
}

LRESULT TreeProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == pw::WM_CREATE) {
    MakeState<TreeState>(hwnd);
    NotifyControlChanged(hwnd);
    return 0;
  }
  if (msg == pw::WM_DESTROY) {
    FreeState<TreeState>(hwnd);
    return 0;
  }
  auto* s = StateOf<TreeState>(hwnd);
  if (!s) return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  auto h = static_cast<HTREEITEM>(lparam);
  switch (msg) {
    case TVM_INSERTITEMW: {
      const auto* in = reinterpret_cast<const TVINSERTSTRUCTW*>(lparam);
      HTREEITEM item = in ? Insert(*s, *in) : 0;
      if (item) NotifyControlChanged(hwnd);
      return static_cast<LRESULT>(item);
    }
    case TVM_DELETEITEM:
      return Delete(hwnd, *s, h) ? 1 : 0;
    case TVM_EXPAND: {
      TreeItem* x = s->Find(h);
      if (!x) return 0;
      bool expand = (wparam & TVE_TOGGLE) == TVE_TOGGLE ? !x->expanded : (wparam & TVE_EXPAND) != 0;
      if (x->expanded != expand) {
        x->expanded = expand;
        NotifyControlChanged(hwnd);
      }
      return 1;
    }
    case TVM_GETCOUNT:
      return static_cast<LRESULT>(s->items.size());
    case TVM_GETNEXTITEM:
      return static_cast<LRESULT>(Next(*s, static_cast<UINT>(wparam), h));
    case TVM_SELECTITEM:
      if (wparam != TVGN_CARET) return 0;
      return Select(hwnd, *s, h, TVC_UNKNOWN) ? 1 : 0;
    case TVM_GETITEMW: {
      auto* item = reinterpret_cast<TVITEMW*>(lparam);
      return item && GetItem(*s, *item) ? 1 : 0;
    }
    case TVM_SETITEMW: {
      const auto* item = reinterpret_cast<const TVITEMW*>(lparam);
      if (!item || !SetItem(*s, *item)) return 0;
      NotifyControlChanged(hwnd);
      return 1;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case pw::WM_KEYDOWN:
      switch (wparam) {
        case VK_UP:
        case VK_DOWN: {
          HTREEITEM next = s->selected ? Next(*s, wparam == VK_DOWN ? TVGN_NEXT : TVGN_PREVIOUS, s->selected)
                                       : Next(*s, TVGN_ROOT, 0);
          if (next && AcceptsUserInput(hwnd)) Select(hwnd, *s, next, TVC_UNKNOWN);
          return 0;
        }
        case VK_LEFT:
        case VK_RIGHT:
          if (s->selected) UserExpand(hwnd, *s, s->selected, wparam == VK_RIGHT);
          return 0;
        default:
          if (HWND parent = pw::GetParent(hwnd)) return pw::SendMessage(parent, msg, wparam, lparam);
          return 0;
      }
    case pw::WM_LBUTTONDOWN:
      TakeUserFocus(hwnd);
      return 0;
    case pw::WM_SETFOCUS:
    case pw::WM_KILLFOCUS:
      NotifyControlChanged(hwnd);
      return 0;
    case TKM_USER_SELECT:
      if (AcceptsUserInput(hwnd) && s->Find(h)) Select(hwnd, *s, h, TVC_BYMOUSE);
      return 0;
    case TKM_USER_EXPAND:
      UserExpand(hwnd, *s, h, wparam != 0);
      return 0;
    case TKM_USER_FOCUS:
      TakeUserFocus(hwnd);
      return 0;
    default:
      return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  }
}

}  // namespace

void RegisterTreeViewClass() { RegisterControl(kTreeViewClass, TreeProc); }

}  // namespace toolkit::control_internal
