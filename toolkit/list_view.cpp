// The list view in report style: columns with a header text and width, rows of
// texts (one per column) with a state and a value. Every change of a row's
// selected or focused state, the program's or the user's, tells the parent
// LVN_ITEMCHANGED (as dialogs that enable their buttons by the selection expect).

#include <algorithm>
#include <string>
#include <vector>

#include "toolkit/control_internal.h"
#include "toolkit/controls.h"
#include "toolkit/renderer.h"

namespace toolkit::control_internal {
namespace pw = platform;
namespace {

constexpr UINT kStateBits = LVIS_FOCUSED | LVIS_SELECTED;

struct Column {
  int fmt = 0;
  int cx = 0;
  std::u16string text;
};

struct Row {
  std::vector<std::u16string> texts;  // by column; missing ones are empty
  UINT state = 0;
  LPARAM param = 0;
  std::uint64_t serial = 0;  // names the row across a parent's changes while it is notified
};

struct ListViewState {
  std::vector<Column> columns;
  std::vector<Row> rows;
  DWORD ex_style = 0;
  std::uint64_t next_serial = 1;
};

// The row's index now, or -1 when it has gone.
int IndexOfSerial(const ListViewState& s, std::uint64_t serial) {
  for (std::size_t r = 0; r < s.rows.size(); ++r)
    if (s.rows[r].serial == serial) return static_cast<int>(r);
  return -1;
}

int Count(const ListViewState& s) { return static_cast<int>(s.rows.size()); }
bool ValidRow(const ListViewState& s, std::intptr_t row) { return row >= 0 && row < Count(s); }

const std::u16string& CellText(const Row& row, int column) {
  static const std::u16string kEmpty;
  return column >= 0 && static_cast<std::size_t>(column) < row.texts.size() ? row.texts[static_cast<std::size_t>(column)]
                                                                              : kEmpty;
}

void SetCellText(Row& row, int column, std::u16string text) {
  if (row.texts.size() <= static_cast<std::size_t>(column)) row.texts.resize(static_cast<std::size_t>(column) + 1);
  row.texts[static_cast<std::size_t>(column)] = std::move(text);
}

struct Change {
  int row;
  UINT old_state;
  UINT new_state;
  LPARAM param;
};

// Applies state (within mask) to a row; a single-selection list drops the other
// rows' selection and every list has at most one focused row. Returns the
// changes for the parent, told after the state is complete.
std::vector<Change> ApplyState(HWND hwnd, ListViewState& s, int row, UINT state, UINT mask) {
  std::vector<Change> changes;
  mask &= kStateBits;
  auto set = [&](int r, UINT new_state) {
    Row& x = s.rows[static_cast<std::size_t>(r)];
    if (x.state == new_state) return;
    changes.push_back({r, x.state, new_state, x.param});
    x.state = new_state;
  };
  bool single = (StyleOf(hwnd) & LVS_SINGLESEL) != 0;
  UINT clear_others = 0;
  if ((mask & LVIS_SELECTED) && (state & LVIS_SELECTED) && single) clear_others |= LVIS_SELECTED;
  if ((mask & LVIS_FOCUSED) && (state & LVIS_FOCUSED)) clear_others |= LVIS_FOCUSED;
  for (int r = 0; r < Count(s); ++r)
    if (r != row && (s.rows[static_cast<std::size_t>(r)].state & clear_others))
      set(r, s.rows[static_cast<std::size_t>(r)].state & ~clear_others);
  set(row, (s.rows[static_cast<std::size_t>(row)].state & ~mask) | (state & mask));
  return changes;
}

// Tells the parent of each change; stops when the parent destroyed the list.
void Announce(HWND hwnd, const std::vector<Change>& changes) {
  if (changes.empty()) return;
  NotifyControlChanged(hwnd);
  for (const Change& c : changes) {
    if (!pw::IsWindow(hwnd)) return;
    NMLISTVIEW nm;
    nm.hdr.code = LVN_ITEMCHANGED;
    nm.iItem = c.row;
    nm.uOldState = c.old_state;
    nm.uNewState = c.new_state;
    nm.uChanged = LVIF_STATE;
    nm.lParam = c.param;
    SendNotify(hwnd, nm.hdr);
  }
}

int InsertRow(ListViewState& s, const LVITEMW& item) {
  if (item.iSubItem != 0) return -1;
  int at = std::clamp(item.iItem, 0, Count(s));
  Row row;
  if (item.mask & LVIF_TEXT) SetCellText(row, 0, TextAt(item.pszText));
  if (item.mask & LVIF_PARAM) row.param = item.lParam;
  row.serial = s.next_serial++;
  s.rows.insert(s.rows.begin() + at, std::move(row));
  return at;
}

bool GetItem(const ListViewState& s, LVITEMW& item) {
  if (!ValidRow(s, item.iItem)) return false;
  const Row& row = s.rows[static_cast<std::size_t>(item.iItem)];
  if (item.mask & LVIF_TEXT)
    CopyOut(CellText(row, item.iSubItem), item.pszText, static_cast<std::size_t>(std::max(item.cchTextMax, 0)));
  if (item.mask & LVIF_STATE) item.state = row.state & item.stateMask;
  if (item.mask & LVIF_PARAM) item.lParam = row.param;
  return true;
}

int NextItem(const ListViewState& s, std::intptr_t start, UINT flags) {
  UINT want = flags & kStateBits;
  for (std::intptr_t r = std::max<std::intptr_t>(start + 1, 0); r < Count(s); ++r)
    if ((s.rows[static_cast<std::size_t>(r)].state & want) == want) return static_cast<int>(r);
  return -1;
}

// row -1: the user cleared the selection.
void UserSelect(HWND hwnd, ListViewState& s, std::intptr_t row) {
  if (!AcceptsUserInput(hwnd) || (row != -1 && !ValidRow(s, row))) return;
  // A tap selects the row alone, whatever the style.
  std::vector<Change> changes;
  for (int r = 0; r < Count(s); ++r) {
    Row& x = s.rows[static_cast<std::size_t>(r)];
    UINT want = r == row ? (x.state | kStateBits) : (x.state & ~(row == -1 ? LVIS_SELECTED : kStateBits));
    if (x.state != want) {
      changes.push_back({r, x.state, want, x.param});
      x.state = want;
    }
  }
  Announce(hwnd, changes);
}

LRESULT ListViewProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == pw::WM_CREATE) {
    MakeState<ListViewState>(hwnd);
    NotifyControlChanged(hwnd);
    return 0;
  }
  if (msg == pw::WM_DESTROY) {
    FreeState<ListViewState>(hwnd);
    return 0;
  }
  auto* s = StateOf<ListViewState>(hwnd);
  if (!s) return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  auto index = static_cast<std::intptr_t>(wparam);
  switch (msg) {
    case LVM_GETCOLUMNCOUNT:
      return static_cast<LRESULT>(s->columns.size());
    case LVM_INSERTCOLUMNW: {
      const auto* c = reinterpret_cast<const LVCOLUMNW*>(lparam);
      if (!c || index < 0) return -1;
      auto at = static_cast<std::size_t>(std::min<std::intptr_t>(index, static_cast<std::intptr_t>(s->columns.size())));
      Column column;
      if (c->mask & LVCF_FMT) column.fmt = c->fmt;
      if (c->mask & LVCF_WIDTH) column.cx = c->cx;
      if (c->mask & LVCF_TEXT) column.text = TextAt(c->pszText);
      s->columns.insert(s->columns.begin() + static_cast<std::ptrdiff_t>(at), std::move(column));
      // Rows keep their texts with their columns.
      if (at > 0)
        for (Row& row : s->rows)
          if (row.texts.size() > at) row.texts.insert(row.texts.begin() + static_cast<std::ptrdiff_t>(at), u"");
      NotifyControlChanged(hwnd);
      return static_cast<LRESULT>(at);
    }
    case LVM_GETCOLUMNW: {
      auto* c = reinterpret_cast<LVCOLUMNW*>(lparam);
      if (!c || index < 0 || static_cast<std::size_t>(index) >= s->columns.size()) return 0;
      const Column& column = s->columns[static_cast<std::size_t>(index)];
      if (c->mask & LVCF_FMT) c->fmt = column.fmt;
      if (c->mask & LVCF_WIDTH) c->cx = column.cx;
      if ((c->mask & LVCF_TEXT) && c->cchTextMax > 0)
        CopyOut(column.text, const_cast<char16_t*>(c->pszText), static_cast<std::size_t>(c->cchTextMax));
      return 1;
    }
    case LVM_GETCOLUMNWIDTH:
      return index >= 0 && static_cast<std::size_t>(index) < s->columns.size()
                 ? s->columns[static_cast<std::size_t>(index)].cx
                 : 0;
    case LVM_GETITEMCOUNT:
      return Count(*s);
    case LVM_INSERTITEMW: {
      const auto* item = reinterpret_cast<const LVITEMW*>(lparam);
      if (!item) return -1;
      int at = InsertRow(*s, *item);
      if (at < 0) return -1;
      NotifyControlChanged(hwnd);
      if ((item->mask & LVIF_STATE) && (item->state & item->stateMask & kStateBits))
        Announce(hwnd, ApplyState(hwnd, *s, at, item->state, item->stateMask));
      return at;
    }
    case LVM_DELETEITEM: {
      if (!ValidRow(*s, index)) return 0;
      // A selected row is unselected first, so the parent sees the selection go
      // (and a hurried second Delete finds nothing selected).
      if (s->rows[static_cast<std::size_t>(index)].state & kStateBits) {
        std::uint64_t serial = s->rows[static_cast<std::size_t>(index)].serial;
        Announce(hwnd, ApplyState(hwnd, *s, static_cast<int>(index), 0, kStateBits));
        if (!pw::IsWindow(hwnd)) return 1;
        // The parent may have changed the rows meanwhile: the row goes wherever
        // it is now, and no other row in its place.
        s = StateOf<ListViewState>(hwnd);
        index = IndexOfSerial(*s, serial);
        if (index < 0) return 1;
      }
      s->rows.erase(s->rows.begin() + index);
      NotifyControlChanged(hwnd);
      return 1;
    }
    case LVM_DELETEALLITEMS: {
      bool had_selection = NextItem(*s, -1, LVNI_SELECTED) >= 0;
      s->rows.clear();
      NotifyControlChanged(hwnd);
      if (had_selection) {
        NMLISTVIEW nm;
        nm.hdr.code = LVN_ITEMCHANGED;
        nm.iItem = -1;
        nm.uOldState = LVIS_SELECTED;
        nm.uChanged = LVIF_STATE;
        SendNotify(hwnd, nm.hdr);
      }
      return 1;
    }
    case LVM_GETNEXTITEM:
      return NextItem(*s, index, static_cast<UINT>(lparam));
    case LVM_SETITEMSTATE: {
      const auto* item = reinterpret_cast<const LVITEMW*>(lparam);
      if (!item || (index != -1 && !ValidRow(*s, index))) return 0;
      std::vector<Change> changes;
      if (index == -1) {
        for (int r = 0; r < Count(*s); ++r) {
          Row& x = s->rows[static_cast<std::size_t>(r)];
          UINT want = (x.state & ~(item->stateMask & kStateBits)) | (item->state & item->stateMask & kStateBits);
          if (x.state != want) changes.push_back({r, x.state, want, x.param}), x.state = want;
        }
      } else {
        changes = ApplyState(hwnd, *s, static_cast<int>(index), item->state, item->stateMask);
      }
      Announce(hwnd, changes);
      return 1;
    }
    case LVM_GETITEMSTATE:
      return ValidRow(*s, index) ? s->rows[static_cast<std::size_t>(index)].state & static_cast<UINT>(lparam) : 0;
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      DWORD previous = s->ex_style;
      DWORD mask = wparam ? static_cast<DWORD>(wparam) : ~DWORD{0};
      s->ex_style = (s->ex_style & ~mask) | (static_cast<DWORD>(lparam) & mask);
      if (previous != s->ex_style) NotifyControlChanged(hwnd);
      return previous;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
      return s->ex_style;
    case LVM_GETITEMW: {
      auto* item = reinterpret_cast<LVITEMW*>(lparam);
      return item && GetItem(*s, *item) ? 1 : 0;
    }
    case LVM_SETITEMW: {
      const auto* item = reinterpret_cast<const LVITEMW*>(lparam);
      if (!item || !ValidRow(*s, item->iItem) || item->iSubItem < 0) return 0;
      Row& row = s->rows[static_cast<std::size_t>(item->iItem)];
      if (item->mask & LVIF_TEXT) SetCellText(row, item->iSubItem, TextAt(item->pszText));
      if (item->mask & LVIF_PARAM) row.param = item->lParam;
      NotifyControlChanged(hwnd);
      if (item->mask & LVIF_STATE) Announce(hwnd, ApplyState(hwnd, *s, item->iItem, item->state, item->stateMask));
      return 1;
    }
    case LVM_GETITEMTEXTW: {
      auto* item = reinterpret_cast<LVITEMW*>(lparam);
      if (!item || !ValidRow(*s, index)) return 0;
      const Row& row = s->rows[static_cast<std::size_t>(index)];
      return static_cast<LRESULT>(CopyOut(CellText(row, item->iSubItem), item->pszText,
                                          static_cast<std::size_t>(std::max(item->cchTextMax, 0))));
    }
    case LVM_SETITEMTEXTW: {
      const auto* item = reinterpret_cast<const LVITEMW*>(lparam);
      if (!item || !ValidRow(*s, index) || item->iSubItem < 0) return 0;
      SetCellText(s->rows[static_cast<std::size_t>(index)], item->iSubItem, TextAt(item->pszText));
      NotifyControlChanged(hwnd);
      return 1;
    }
    case WM_GETDLGCODE: {
      // Enter opens the selected row; with none it stays the dialog's.
      const auto* m = reinterpret_cast<const pw::MSG*>(lparam);
      bool enter = m && m->wParam == pw::VK_RETURN && (m->message == pw::WM_KEYDOWN || m->message == pw::WM_CHAR);
      return DLGC_WANTARROWS | (enter && NextItem(*s, -1, LVNI_SELECTED) >= 0 ? DLGC_WANTMESSAGE : 0);
    }
    case pw::WM_CHAR:
      return 0;
    case pw::WM_KEYDOWN:
      if (wparam == pw::VK_RETURN) {
        int row = NextItem(*s, -1, LVNI_SELECTED);
        if (row >= 0) pw::SendMessage(hwnd, TKM_USER_ACTIVATE, 0, row);
        return 0;
      }
      if (wparam == VK_UP || wparam == VK_DOWN) {
        int focused = NextItem(*s, -1, LVNI_FOCUSED);
        int next = focused < 0 ? 0 : focused + (wparam == VK_DOWN ? 1 : -1);
        UserSelect(hwnd, *s, next);
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
    case TKM_USER_ACTIVATE: {
      if (!AcceptsUserInput(hwnd) || !ValidRow(*s, lparam)) return 0;
      std::uint64_t serial = s->rows[static_cast<std::size_t>(lparam)].serial;
      UserSelect(hwnd, *s, lparam);
      // The parent may have changed the rows while it heard of the selection:
      // the row opened is the one tapped, wherever it is now.
      if (!pw::IsWindow(hwnd)) return 0;
      s = StateOf<ListViewState>(hwnd);
      int row = IndexOfSerial(*s, serial);
      if (row < 0) return 0;
      NMLISTVIEW nm;
      nm.hdr.code = LVN_ITEMACTIVATE;
      nm.iItem = row;
      nm.lParam = s->rows[static_cast<std::size_t>(row)].param;
      SendNotify(hwnd, nm.hdr);
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

void RegisterListViewClass() { RegisterControl(kListViewClass, ListViewProc); }

}  // namespace toolkit::control_internal
