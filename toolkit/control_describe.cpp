#include "toolkit/control_describe.h"

#include <cstdio>
#include <vector>

#include "platform/text.h"
#include "toolkit/ce_icon_button.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/menu_bar.h"

namespace toolkit {
namespace pw = platform;
namespace {

using platform::HWND;
using platform::LPARAM;
using platform::WPARAM;

std::string Utf8(const std::u16string& text) { return pw::Utf16ToUtf8(text); }

std::string Int(long long v) { return std::to_string(v); }

// A text read by a message that takes a buffer and returns the length copied.
template <typename Fill>
std::u16string ReadText(Fill fill) {
  std::u16string buffer(1024, u'\0');
  std::size_t n = fill(buffer.data(), static_cast<int>(buffer.size()));
  buffer.resize(std::min(n, buffer.size()));
  return buffer;
}

std::string QuotedList(const std::vector<std::u16string>& texts) {
  std::string out = "[";
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i) out += ',';
    out += QuoteForDescription(Utf8(texts[i]));
  }
  return out + "]";
}

std::string DescribeEdit(HWND hwnd) {
  DWORD style = static_cast<DWORD>(pw::GetWindowLongPtr(hwnd, pw::GWL_STYLE));
  return " password=" + Int((style & ES_PASSWORD) != 0) + " readonly=" + Int((style & ES_READONLY) != 0) +
         " focused=" + Int(pw::GetFocus() == hwnd);
}

std::string DescribeItemList(HWND hwnd, bool combo) {
  UINT count_msg = combo ? CB_GETCOUNT : LB_GETCOUNT;
  UINT len_msg = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
  UINT text_msg = combo ? CB_GETLBTEXT : LB_GETTEXT;
  UINT sel_msg = combo ? CB_GETCURSEL : LB_GETCURSEL;
  std::vector<std::u16string> items;
  LPARAM count = pw::SendMessage(hwnd, count_msg, 0, 0);
  for (LPARAM i = 0; i < count; ++i) {
    LPARAM length = pw::SendMessage(hwnd, len_msg, static_cast<WPARAM>(i), 0);
    std::u16string text(static_cast<std::size_t>(std::max<LPARAM>(length, 0)) + 1, u'\0');
    LPARAM copied = length < 0 ? 0
                               : pw::SendMessage(hwnd, text_msg, static_cast<WPARAM>(i),
                                                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::clamp<LPARAM>(copied, 0, std::max<LPARAM>(length, 0))));
    items.push_back(std::move(text));
  }
  return " items=" + QuotedList(items) + " selected=" + Int(pw::SendMessage(hwnd, sel_msg, 0, 0));
}

std::string DescribeTrackbar(HWND hwnd) {
  return " range=" + Int(pw::SendMessage(hwnd, TBM_GETRANGEMIN, 0, 0)) + "," +
         Int(pw::SendMessage(hwnd, TBM_GETRANGEMAX, 0, 0)) + " pos=" + Int(pw::SendMessage(hwnd, TBM_GETPOS, 0, 0));
}

std::string DescribeListView(HWND hwnd) {
  int columns = static_cast<int>(pw::SendMessage(hwnd, LVM_GETCOLUMNCOUNT, 0, 0));
  std::vector<std::u16string> headers;
  for (int c = 0; c < columns; ++c)
    headers.push_back(ReadText([&](char16_t* buffer, int size) {
      LVCOLUMNW column{LVCF_TEXT, 0, 0, buffer, size};
      pw::SendMessage(hwnd, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
      return std::u16string_view(buffer).size();
    }));
  std::string rows = "[";
  int count = static_cast<int>(pw::SendMessage(hwnd, LVM_GETITEMCOUNT, 0, 0));
  for (int r = 0; r < count; ++r) {
    std::vector<std::u16string> cells;
    for (int c = 0; c < std::max(columns, 1); ++c)
      cells.push_back(ReadText([&](char16_t* buffer, int size) {
        LVITEMW item;
        item.iSubItem = c;
        item.pszText = buffer;
        item.cchTextMax = size;
        return static_cast<std::size_t>(
            pw::SendMessage(hwnd, LVM_GETITEMTEXTW, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&item)));
      }));
    if (r) rows += ',';
    rows += QuotedList(cells);
  }
  rows += "]";
  LPARAM selected = pw::SendMessage(hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
  return " columns=" + QuotedList(headers) + " rows=" + rows + " selected=" + Int(selected);
}

std::string DescribeTabs(HWND hwnd) {
  std::vector<std::u16string> tabs;
  int count = static_cast<int>(pw::SendMessage(hwnd, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i)
    tabs.push_back(ReadText([&](char16_t* buffer, int size) {
      TCITEMW item;
      item.mask = TCIF_TEXT;
      item.pszText = buffer;
      item.cchTextMax = size;
      pw::SendMessage(hwnd, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
      return std::u16string_view(buffer).size();
    }));
  return " tabs=" + QuotedList(tabs) + " current=" + Int(pw::SendMessage(hwnd, TCM_GETCURSEL, 0, 0));
}

std::string DescribeTree(HWND hwnd) {
  auto next = [&](UINT code, HTREEITEM item) {
    return static_cast<HTREEITEM>(pw::SendMessage(hwnd, TVM_GETNEXTITEM, code, static_cast<LPARAM>(item)));
  };
  HTREEITEM caret = next(TVGN_CARET, 0);
  std::string items = "[";
  int index = 0, selected = -1;
  // Depth-first in display order; the walk is bounded by the item count so a
  // tree that changes under it cannot keep it going.
  LPARAM budget = pw::SendMessage(hwnd, TVM_GETCOUNT, 0, 0);
  std::vector<HTREEITEM> stack;
  for (HTREEITEM h = next(TVGN_ROOT, 0); h && budget-- > 0;) {
    char16_t buffer[1024] = {};
    TVITEMW item;
    item.mask = TVIF_TEXT | TVIF_STATE;
    item.hItem = h;
    item.stateMask = TVIS_EXPANDED;
    item.pszText = buffer;
    item.cchTextMax = 1024;
    pw::SendMessage(hwnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (index) items += ',';
    items += Int(static_cast<long long>(stack.size())) + ":" + QuoteForDescription(Utf8(buffer));
    if (item.state & TVIS_EXPANDED) items += '+';
    if (h == caret) selected = index;
    ++index;
    if (HTREEITEM child = next(TVGN_CHILD, h)) {
      stack.push_back(h);
      h = child;
      continue;
    }
    HTREEITEM sibling = next(TVGN_NEXT, h);
    while (!sibling && !stack.empty()) {
      sibling = next(TVGN_NEXT, stack.back());
      stack.pop_back();
    }
    h = sibling;
  }
  return " items=" + items + "] selected=" + Int(selected);
}

std::string DescribeIconBar(HWND hwnd) {
  std::string out = " buttons=[";
  LPARAM count = pw::SendMessage(hwnd, IBM_GETBUTTONCOUNT, 0, 0);
  for (LPARAM i = 0; i < count; ++i) {
    CeIconButtonBase b;
    if (!pw::SendMessage(hwnd, IBM_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&b))) break;
    if (i) out += ',';
    out += "{" + Int(b.id) + "," + QuoteForDescription(Utf8(b.icon)) + "," + QuoteForDescription(Utf8(b.text)) +
           ",checked=" + Int(b.checked) + ",pressed=" + Int(b.pressed) + ",enabled=" + Int(b.enabled) + "}";
  }
  return out + "] current=" + Int(pw::SendMessage(hwnd, IBM_GETCURRENT, 0, 0));
}

std::string DescribeSoftKey(HWND hwnd) {
  CMenuBar* bar = CMenuBar::FromWindow(pw::GetParent(hwnd));
  if (!bar) return {};
  // By id: while the bar makes its keys, the key's window is not yet recorded.
  const int id = pw::GetDlgCtrlID(hwnd);
  for (std::size_t i = 0; i < bar->GetKeyCount(); ++i) {
    auto key = bar->GetKey(i);
    if (!key || key->command != 0 || static_cast<int>(key->popup_id) != id || key->popup.empty()) continue;
    std::string out = " popup=[";
    for (std::size_t n = 0; n < key->popup.size(); ++n) {
      const MenuItemResource& item = key->popup[n];
      if (n) out += ',';
      if (item.command == 0) {
        out += '-';
        continue;
      }
      out += "{" + Int(item.command) + "," + QuoteForDescription(Utf8(item.text)) + ",enabled=" + Int(!item.grayed) +
             "}";
    }
    return out + "]";
  }
  return {};
}

}  // namespace

ControlKind ControlKindOf(HWND hwnd) {
  std::u16string name = pw::GetClassName(hwnd);
  struct Entry {
    std::u16string_view name;
    ControlKind kind;
  };
  static constexpr Entry kKinds[] = {
      {kEditClass, ControlKind::kEdit},         {kComboBoxClass, ControlKind::kComboBox},
      {kListBoxClass, ControlKind::kListBox},   {kTrackbarClass, ControlKind::kTrackbar},
      {kListViewClass, ControlKind::kListView}, {kTabControlClass, ControlKind::kTabControl},
      {kTreeViewClass, ControlKind::kTreeView},
  };
  for (const Entry& e : kKinds)
    if (pw::EqualsIgnoreAsciiCase(name, e.name)) return e.kind;
  if (pw::EqualsIgnoreAsciiCase(name, CeWnd::ClassName(CeIconButton::kClassName))) return ControlKind::kIconBar;
  if (pw::EqualsIgnoreAsciiCase(name, kButtonClass) &&
      pw::EqualsIgnoreAsciiCase(pw::GetClassName(pw::GetParent(hwnd)), kMenuBarClass))
    return ControlKind::kSoftKey;
  return ControlKind::kOther;
}

std::string DescribeControlState(HWND hwnd, ControlKind kind) {
  switch (kind) {
    case ControlKind::kEdit:
      return DescribeEdit(hwnd);
    case ControlKind::kComboBox:
      return DescribeItemList(hwnd, true);
    case ControlKind::kListBox:
      return DescribeItemList(hwnd, false);
    case ControlKind::kTrackbar:
      return DescribeTrackbar(hwnd);
    case ControlKind::kListView:
      return DescribeListView(hwnd);
    case ControlKind::kTabControl:
      return DescribeTabs(hwnd);
    case ControlKind::kTreeView:
      return DescribeTree(hwnd);
    case ControlKind::kIconBar:
      return DescribeIconBar(hwnd);
    case ControlKind::kSoftKey:
      return DescribeSoftKey(hwnd);
    case ControlKind::kOther:
      break;
  }
  return {};
}

std::string MaskedText(const std::string& utf8) {
  std::string out;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) out += '*';  // one per character, not per byte
  return out;
}

std::string QuoteForDescription(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

}  // namespace toolkit
