#include "toolkit/qt/window_snapshot.h"

#include <algorithm>
#include <iterator>

#include "platform/text.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/dialog_manager.h"
#include "toolkit/menu_bar.h"
#include "toolkit/separator.h"

namespace toolkit::qt {
namespace pw = platform;
using platform::LPARAM;
using platform::WPARAM;

namespace {

// A list or tree larger than this is shown cut short rather than read for ever.
constexpr int kMaxItems = 10000;
constexpr int kMaxTextLength = 1 << 16;

bool Is(std::u16string_view class_name, std::u16string_view wanted) {
  return pw::EqualsIgnoreAsciiCase(class_name, wanted);
}

LPARAM Send(HWND hwnd, UINT msg, WPARAM wparam = 0, LPARAM lparam = 0) {
  return pw::SendMessage(hwnd, msg, wparam, lparam);
}

int Count(HWND hwnd, UINT msg) {
  LPARAM n = Send(hwnd, msg);
  return static_cast<int>(std::clamp<LPARAM>(n, 0, kMaxItems));
}

// A text read by a length message and a copy message of the same index.
std::u16string IndexedText(HWND hwnd, UINT length_msg, UINT text_msg, int index) {
  LPARAM length = Send(hwnd, length_msg, static_cast<WPARAM>(index));
  if (length <= 0) return {};
  length = std::min<LPARAM>(length, kMaxTextLength);
  std::u16string buffer(static_cast<std::size_t>(length) + 1, u'\0');
  LPARAM copied = Send(hwnd, text_msg, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
  buffer.resize(static_cast<std::size_t>(std::clamp<LPARAM>(copied, 0, length)));
  return buffer;
}

// A list view cell or tab text: read into a buffer that grows until the text fits.
template <typename Fill>
std::u16string GrowingText(Fill fill) {
  for (int size = 256; size <= kMaxTextLength; size *= 4) {
    std::u16string buffer(static_cast<std::size_t>(size), u'\0');
    fill(buffer.data(), size);
    std::size_t length = std::char_traits<char16_t>::length(buffer.c_str());
    if (length + 1 < static_cast<std::size_t>(size)) {
      buffer.resize(length);
      return buffer;
    }
  }
  return {};
}

void ReadListView(HWND hwnd, WindowSnapshot& s) {
  int columns = Count(hwnd, LVM_GETCOLUMNCOUNT);
  for (int c = 0; c < columns; ++c) {
    LVCOLUMNW column;
    column.mask = LVCF_WIDTH | LVCF_FMT;
    Send(hwnd, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
    std::u16string text = GrowingText([&](char16_t* buffer, int size) {
      LVCOLUMNW titled;
      titled.mask = LVCF_TEXT;
      titled.pszText = buffer;
      titled.cchTextMax = size;
      Send(hwnd, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&titled));
    });
    s.columns.push_back(ListColumn{std::move(text), column.cx});
  }
  int rows = Count(hwnd, LVM_GETITEMCOUNT);
  for (int r = 0; r < rows; ++r) {
    std::vector<std::u16string> cells;
    for (int c = 0; c < std::max(columns, 1); ++c) {
      cells.push_back(GrowingText([&](char16_t* buffer, int size) {
        LVITEMW item;
        item.iSubItem = c;
        item.pszText = buffer;
        item.cchTextMax = size;
        Send(hwnd, LVM_GETITEMTEXTW, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&item));
      }));
    }
    s.rows.push_back(std::move(cells));
  }
  s.selected = static_cast<int>(Send(hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void ReadTreeLevel(HWND hwnd, HTREEITEM first, int depth, WindowSnapshot& s) {
  for (HTREEITEM item = first; item && s.tree.size() < static_cast<std::size_t>(kMaxItems);
       item = static_cast<HTREEITEM>(Send(hwnd, TVM_GETNEXTITEM, TVGN_NEXT, static_cast<LPARAM>(item)))) {
    TreeNodeState node;
    node.item = item;
    node.depth = depth;
    node.text = GrowingText([&](char16_t* buffer, int size) {
      TVITEMW tv;
      tv.mask = TVIF_TEXT | TVIF_HANDLE;
      tv.hItem = item;
      tv.pszText = buffer;
      tv.cchTextMax = size;
      Send(hwnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    });
    TVITEMW tv;
    tv.mask = TVIF_STATE | TVIF_CHILDREN | TVIF_HANDLE;
    tv.hItem = item;
    tv.stateMask = TVIS_EXPANDED | TVIS_SELECTED;
    Send(hwnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    node.expanded = (tv.state & TVIS_EXPANDED) != 0;
    auto child = static_cast<HTREEITEM>(Send(hwnd, TVM_GETNEXTITEM, TVGN_CHILD, static_cast<LPARAM>(item)));
    node.has_children = child != 0 || tv.cChildren != 0;
    s.tree.push_back(std::move(node));
    if (child) ReadTreeLevel(hwnd, child, depth + 1, s);
  }
}

void ReadTabs(HWND hwnd, WindowSnapshot& s) {
  int count = Count(hwnd, TCM_GETITEMCOUNT);
  for (int i = 0; i < count; ++i) {
    s.items.push_back(GrowingText([&](char16_t* buffer, int size) {
      TCITEMW item;
      item.mask = TCIF_TEXT;
      item.pszText = buffer;
      item.cchTextMax = size;
      Send(hwnd, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }));
  }
  s.selected = static_cast<int>(Send(hwnd, TCM_GETCURSEL));
}

// The popup of a soft key and the window its commands go to, from the bar object.
void ReadSoftKey(WindowSnapshot& s) {
  CMenuBar* bar = CMenuBar::FromWindow(s.parent);
  if (!bar) return;
  s.command_target = bar->GetOwner();
  // By id: while the bar makes its keys, the key's window is not yet recorded.
  for (std::size_t i = 0; i < bar->GetKeyCount(); ++i) {
    auto key = bar->GetKey(i);
    if (key && key->command == 0 && static_cast<int>(key->popup_id) == s.id) s.popup = key->popup;
  }
}

}  // namespace

std::u16string LabelEditClassName() { return CeWnd::ClassName(u"CeLabelEdit"); }

WidgetKind KindOf(std::u16string_view class_name, DWORD style, bool parent_is_menu_bar) {
  if (Is(class_name, kStaticClass)) return (style & SS_NOTIFY) ? WidgetKind::kLink : WidgetKind::kLabel;
  if (Is(class_name, kButtonClass)) {
    if (parent_is_menu_bar) return WidgetKind::kSoftKey;
    switch (style & BS_TYPEMASK) {
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_3STATE:
      case BS_AUTO3STATE:
        return WidgetKind::kCheckBox;
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON:
        return WidgetKind::kRadioButton;
      case BS_GROUPBOX:
        return WidgetKind::kGroupBox;
      case BS_OWNERDRAW:
        return WidgetKind::kOwnerDrawn;
      default:
        return WidgetKind::kPushButton;
    }
  }
  if (Is(class_name, kProgressClass)) return WidgetKind::kProgress;
  if (Is(class_name, kEditClass)) return (style & ES_MULTILINE) ? WidgetKind::kTextEdit : WidgetKind::kLineEdit;
  if (Is(class_name, kComboBoxClass)) return WidgetKind::kComboBox;
  if (Is(class_name, kListBoxClass)) return WidgetKind::kListBox;
  if (Is(class_name, kTrackbarClass)) return WidgetKind::kSlider;
  if (Is(class_name, kListViewClass)) return WidgetKind::kListView;
  if (Is(class_name, kTreeViewClass)) return WidgetKind::kTreeView;
  if (Is(class_name, kTabControlClass)) return WidgetKind::kTabs;
  if (Is(class_name, kMenuBarClass)) return WidgetKind::kMenuBar;
  if (Is(class_name, CeWnd::ClassName(CeIconButton::kClassName))) return WidgetKind::kIconBar;
  if (Is(class_name, LabelEditClassName())) return WidgetKind::kLabelEdit;
  if (Is(class_name, kSeparatorClass)) return WidgetKind::kSeparator;
  return WidgetKind::kWindow;
}

RECT PlacementOf(HWND hwnd) {
  RECT rect{};
  pw::GetWindowRect(hwnd, &rect);
  bool child = (static_cast<DWORD>(pw::GetWindowLongPtr(hwnd, pw::GWL_STYLE)) & pw::WS_CHILD) != 0;
  HWND parent = pw::GetParent(hwnd);
  RECT outer{};
  if (child && parent && pw::GetWindowRect(parent, &outer)) {
    rect.left -= outer.left;
    rect.right -= outer.left;
    rect.top -= outer.top;
    rect.bottom -= outer.top;
  }
  return rect;
}

bool OwnedByCaller(HWND hwnd) {
  return hwnd && pw::GetWindowThreadId(hwnd) == pw::GetCurrentThreadId();
}

void ReadControlState(HWND hwnd, WindowSnapshot& s) {
  s.items.clear();
  s.item_parts.clear();
  s.columns.clear();
  s.rows.clear();
  s.tree.clear();
  s.icon_buttons.clear();
  s.selected = -1;
  switch (s.kind) {
    case WidgetKind::kPushButton:
    case WidgetKind::kOwnerDrawn:
    case WidgetKind::kCheckBox:
    case WidgetKind::kRadioButton:
    case WidgetKind::kSoftKey: {
      s.check = static_cast<unsigned>(Send(hwnd, BM_GETCHECK));
      const auto state = static_cast<UINT>(Send(hwnd, BM_GETSTATE));
      s.pressed = (state & BST_PUSHED) != 0;
      s.focused = (state & BST_FOCUS) != 0;
      char16_t image[kMaxButtonImageName + 1] = {};
      Send(hwnd, BM_GETIMAGE, std::size(image), reinterpret_cast<LPARAM>(image));
      s.image = image;
      break;
    }
    case WidgetKind::kProgress: {
      PBRANGE range;
      Send(hwnd, PBM_GETRANGE, 1, reinterpret_cast<LPARAM>(&range));
      s.low = range.iLow;
      s.high = range.iHigh;
      s.pos = static_cast<int>(Send(hwnd, PBM_GETPOS));
      break;
    }
    case WidgetKind::kSlider:
      s.low = static_cast<int>(Send(hwnd, TBM_GETRANGEMIN));
      s.high = static_cast<int>(Send(hwnd, TBM_GETRANGEMAX));
      s.pos = static_cast<int>(Send(hwnd, TBM_GETPOS));
      break;
    case WidgetKind::kLineEdit:
    case WidgetKind::kTextEdit:
      s.text = pw::GetWindowText(hwnd);
      break;
    case WidgetKind::kComboBox: {
      s.text = pw::GetWindowText(hwnd);
      int count = Count(hwnd, CB_GETCOUNT);
      for (int i = 0; i < count; ++i) s.items.push_back(IndexedText(hwnd, CB_GETLBTEXTLEN, CB_GETLBTEXT, i));
      s.selected = static_cast<int>(Send(hwnd, CB_GETCURSEL));
      break;
    }
    case WidgetKind::kListBox: {
      int count = Count(hwnd, LB_GETCOUNT);
      for (int i = 0; i < count; ++i) s.items.push_back(IndexedText(hwnd, LB_GETTEXTLEN, LB_GETTEXT, i));
      if (s.style & LBS_OWNERDRAWVARIABLE) {
        s.item_parts.resize(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
          Send(hwnd, LB_GETITEMPARTS, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&s.item_parts[i]));
      }
      s.selected = static_cast<int>(Send(hwnd, LB_GETCURSEL));
      break;
    }
    case WidgetKind::kLabel:
    case WidgetKind::kLink: {
      s.look = ReadStaticLook(hwnd);
      char16_t image[kMaxButtonImageName + 1] = {};
      Send(hwnd, STM_GETIMAGE, std::size(image), reinterpret_cast<LPARAM>(image));
      s.image = image;
      break;
    }
    case WidgetKind::kListView:
      ReadListView(hwnd, s);
      break;
    case WidgetKind::kTreeView:
      ReadTreeLevel(hwnd, static_cast<HTREEITEM>(Send(hwnd, TVM_GETNEXTITEM, TVGN_ROOT, 0)), 0, s);
      s.tree_selected = static_cast<HTREEITEM>(Send(hwnd, TVM_GETNEXTITEM, TVGN_CARET, 0));
      break;
    case WidgetKind::kTabs:
      ReadTabs(hwnd, s);
      break;
    case WidgetKind::kIconBar: {
      s.icon_buttons.clear();
      int count = Count(hwnd, IBM_GETBUTTONCOUNT);
      for (int i = 0; i < count; ++i) {
        CeIconButtonBase button;
        if (!Send(hwnd, IBM_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&button))) break;
        s.icon_buttons.push_back(std::move(button));
      }
      break;
    }
    default:
      break;
  }
  s.state_read = true;
}

WindowSnapshot ReadWindow(HWND hwnd) {
  WindowSnapshot s;
  s.hwnd = hwnd;
  s.parent = pw::GetParent(hwnd);
  s.style = static_cast<DWORD>(pw::GetWindowLongPtr(hwnd, pw::GWL_STYLE));
  s.top_level = (s.style & pw::WS_CHILD) == 0;
  s.id = pw::GetDlgCtrlID(hwnd);
  s.class_name = pw::GetClassName(hwnd);
  bool on_bar = s.parent && Is(pw::GetClassName(s.parent), kMenuBarClass);
  s.kind = KindOf(s.class_name, s.style, on_bar);
  s.is_dialog = Is(s.class_name, kDialogClass);
  s.text = pw::GetWindowText(hwnd);
  s.rect = PlacementOf(hwnd);
  s.visible = (s.style & pw::WS_VISIBLE) != 0;
  s.enabled = (s.style & pw::WS_DISABLED) == 0;
  if (s.kind == WidgetKind::kSoftKey) ReadSoftKey(s);
  ReadControlState(hwnd, s);
  return s;
}

}  // namespace toolkit::qt
