#pragma once
// WindowSnapshot: what the desktop renderer needs to show one window or control,
// read on a program thread and handed to the GUI thread by value. Reading goes
// through the controls' own messages, so it happens only on the thread that owns
// the window (a read from elsewhere would block on that thread); the GUI thread
// works from snapshots alone and never talks to a program window directly.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/window_system.h"
#include "toolkit/ce_icon_button.h"
#include "toolkit/common_controls.h"
#include "toolkit/gdi.h"
#include "toolkit/resources.h"

namespace toolkit::qt {

using platform::DWORD;
using platform::HWND;
using platform::RECT;
using platform::UINT;

// What a window is shown as.
enum class WidgetKind {
  kWindow,          // top-level window or dialog, a dialog page, any other container
  kLabel,           // STATIC
  kLink,            // STATIC with SS_NOTIFY: clickable text
  kPushButton,      // BUTTON push / default push
  kOwnerDrawn,      // BUTTON drawn by its owner: shown as a push button with its text
  kCheckBox,        // BUTTON check box / 3-state
  kRadioButton,     // BUTTON radio button
  kGroupBox,        // BUTTON group box
  kProgress,        // msctls_progress32
  kLineEdit,        // EDIT
  kTextEdit,        // EDIT with ES_MULTILINE
  kComboBox,        // COMBOBOX
  kListBox,         // LISTBOX
  kSlider,          // msctls_trackbar32
  kListView,        // SysListView32
  kTreeView,        // SysTreeView32
  kTabs,            // SysTabControl32
  kMenuBar,         // menu_worker: the soft-key bar
  kSoftKey,         // a BUTTON on a soft-key bar
  kIconBar,         // CeIconButton: a row of icon buttons drawn in one window
  kLabelEdit,       // CeLabelEdit: a label a tap opens into its edit field (a child EDIT)
  kSeparator,       // PLSEPARATOR: a line under an optional heading
};

// The window class of CeLabelEdit.
std::u16string LabelEditClassName();

WidgetKind KindOf(std::u16string_view class_name, DWORD style, bool parent_is_menu_bar);

struct ListColumn {
  std::u16string title;
  int width = 0;  // at 96 dpi
};

struct TreeNodeState {
  std::uintptr_t item = 0;
  int depth = 0;  // 0 for items at the root
  std::u16string text;
  bool expanded = false;
  bool has_children = false;  // shows an expand button (children or cChildren = 1)
};

struct WindowSnapshot {
  HWND hwnd = nullptr;
  HWND parent = nullptr;
  bool top_level = false;
  WidgetKind kind = WidgetKind::kWindow;
  bool is_dialog = false;
  int id = 0;
  std::u16string class_name;
  DWORD style = 0;
  std::u16string text;
  // Pixels at 96 dpi: on the screen for a top-level window, else within the
  // parent (its rectangle less the parent's top-left corner).
  RECT rect{};
  bool visible = false;
  bool enabled = true;
  HWND owner = nullptr;  // a popup dialog's owner: its window stays above the owner's

  // Buttons.
  unsigned check = 0;
  bool pressed = false;
  bool focused = false;
  std::u16string image;  // icon theme name of its picture (BM_GETIMAGE, STM_GETIMAGE), empty for none
  // Static text: its font and colours as its owner chose them.
  StaticLook look;
  // Progress bar and slider.
  int low = 0, high = 0, pos = 0;
  // Drop-down, list box, tabs (items), list view rows (first column).
  std::vector<std::u16string> items;
  int selected = -1;
  // Owner-drawn list box (LBS_OWNERDRAWVARIABLE): the parts of each entry.
  std::vector<ListItemParts> item_parts;
  // List view.
  std::vector<ListColumn> columns;
  std::vector<std::vector<std::u16string>> rows;
  // Tree view, depth first.
  std::vector<TreeNodeState> tree;
  std::uintptr_t tree_selected = 0;
  // Icon button bar: its buttons, in the bar's order.
  std::vector<CeIconButtonBase> icon_buttons;
  // Soft key: its popup (empty for a key with a command) and the window that hears it.
  std::vector<MenuItemResource> popup;
  HWND command_target = nullptr;

  bool state_read = false;  // whether the control state above was read
};

// The window's rectangle as WindowSnapshot::rect holds it; reads only the
// window table, so any thread may call it.
RECT PlacementOf(HWND hwnd);

// Whether the calling thread owns the window (and may read it with messages).
bool OwnedByCaller(HWND hwnd);

// Everything about the window: place, style and text from the window table, and
// the control's state through its messages. Only on the owning thread.
WindowSnapshot ReadWindow(HWND hwnd);
// Only the control's inner state (items, check, range, ...) into snapshot.
void ReadControlState(HWND hwnd, WindowSnapshot& snapshot);

}  // namespace toolkit::qt
