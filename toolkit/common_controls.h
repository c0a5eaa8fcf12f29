#pragma once
// The common controls beyond static, button and progress bar (controls.h): edit
// field, drop-down list, list box, slider, list view, tree view and tab control.
// They keep the message numbers, structures and notifications of the window
// system whose programs we carry over, so dialog code reads as it always has:
// a dialog fills a list with CB_ADDSTRING, reads it with CB_GETCURSEL, hears of
// a change through WM_COMMAND(CBN_SELCHANGE) or WM_NOTIFY.
//
// Texts are UTF-16: the char16_t* of a structure or an lParam points at a
// zero-terminated text the caller owns; "GET" messages copy into a caller's
// buffer of the given size (with the terminator, truncated to fit).
//
// Every control tells the renderer (NotifyControlChanged) after any change of its
// inside state, so the renderer reads the whole state again with these messages.
// What a user does in a renderer reaches a control through the Post* functions
// of renderer.h, which make the control behave as if the user acted on it
// (notifications included); messages sent by the program itself notify as the
// table below says.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/window_system.h"
#include "toolkit/notify_header.h"

namespace toolkit {

using platform::DWORD;
using platform::HWND;
using platform::LPARAM;
using platform::UINT;
using platform::WPARAM;

inline constexpr std::u16string_view kEditClass = u"EDIT";
inline constexpr std::u16string_view kComboBoxClass = u"COMBOBOX";
inline constexpr std::u16string_view kListBoxClass = u"LISTBOX";
inline constexpr std::u16string_view kTrackbarClass = u"msctls_trackbar32";
inline constexpr std::u16string_view kListViewClass = u"SysListView32";
inline constexpr std::u16string_view kTreeViewClass = u"SysTreeView32";
inline constexpr std::u16string_view kTabControlClass = u"SysTabControl32";

// Registers these classes once per process (RegisterControlClasses calls it).
void RegisterCommonControlClasses();

// ---- static: a clickable text (a link) ----
inline constexpr DWORD SS_NOTIFY = 0x100;  // a click sends WM_COMMAND(STN_CLICKED)
inline constexpr UINT STN_CLICKED = 0;

// ---- edit field ("EDIT") ----
// Text through WM_SETTEXT / WM_GETTEXT / WM_GETTEXTLENGTH. WM_SETTEXT from the
// program sends EN_CHANGE as well, when the text really changes (so a parent
// that rewrites the text in its handler comes to rest). Focus changes send
// EN_SETFOCUS / EN_KILLFOCUS. The user's text keeps to ES_NUMBER, the limit and
// (single-line) the first line; the program's does not.
inline constexpr DWORD ES_LEFT = 0x0000;
inline constexpr DWORD ES_MULTILINE = 0x0004;
inline constexpr DWORD ES_PASSWORD = 0x0020;
inline constexpr DWORD ES_AUTOHSCROLL = 0x0080;
inline constexpr DWORD ES_READONLY = 0x0800;
inline constexpr DWORD ES_NUMBER = 0x2000;  // the user can type digits only

inline constexpr UINT EM_GETSEL = 0x00B0;       // -> MAKELPARAM(start, end)
inline constexpr UINT EM_SETSEL = 0x00B1;       // wParam start, lParam end (-1: to the end)
inline constexpr UINT EM_LIMITTEXT = 0x00C5;    // wParam the most characters (0: no limit)
inline constexpr UINT EM_SETREADONLY = 0x00CF;  // wParam non-zero: read-only

inline constexpr UINT EN_SETFOCUS = 0x0100;
inline constexpr UINT EN_KILLFOCUS = 0x0200;
inline constexpr UINT EN_CHANGE = 0x0300;

// ---- drop-down list ("COMBOBOX") ----
// Items are texts with a pointer-sized value each; one or none is selected.
// Indexes out of range give CB_ERR and change nothing; deleting the selected
// entry leaves none selected. The window text is the selected entry's text
// (for CBS_DROPDOWN: what is in the edit part).
inline constexpr DWORD CBS_DROPDOWN = 0x0002;      // an edit field over the list
inline constexpr DWORD CBS_DROPDOWNLIST = 0x0003;  // the list only
inline constexpr DWORD CBS_SORT = 0x0100;

inline constexpr UINT CB_GETEDITSEL = 0x0140;
inline constexpr UINT CB_ADDSTRING = 0x0143;        // lParam text -> index
inline constexpr UINT CB_DELETESTRING = 0x0144;     // wParam index -> count left
inline constexpr UINT CB_GETCOUNT = 0x0146;
inline constexpr UINT CB_GETCURSEL = 0x0147;        // -> index or CB_ERR
inline constexpr UINT CB_GETLBTEXT = 0x0148;        // wParam index, lParam buffer (CB_GETLBTEXTLEN + 1) -> length
inline constexpr UINT CB_GETLBTEXTLEN = 0x0149;
inline constexpr UINT CB_INSERTSTRING = 0x014A;     // wParam index (-1: end), lParam text -> index
inline constexpr UINT CB_RESETCONTENT = 0x014B;
inline constexpr UINT CB_SETCURSEL = 0x014E;        // wParam index (-1: none); no notification
inline constexpr UINT CB_GETITEMDATA = 0x0150;
inline constexpr UINT CB_SETITEMDATA = 0x0151;      // wParam index, lParam value
inline constexpr UINT CB_FINDSTRINGEXACT = 0x0158;  // wParam start (-1: all), lParam text -> index or CB_ERR
inline constexpr LPARAM CB_ERR = -1;

inline constexpr UINT CBN_SELCHANGE = 1;
inline constexpr UINT CBN_SETFOCUS = 3;
inline constexpr UINT CBN_KILLFOCUS = 4;
inline constexpr UINT CBN_EDITCHANGE = 5;  // the user changed the text of a CBS_DROPDOWN's edit part

// ---- list box ("LISTBOX") ----
inline constexpr DWORD LBS_NOTIFY = 0x0001;  // the parent hears LBN_SELCHANGE / LBN_DBLCLK
inline constexpr DWORD LBS_SORT = 0x0002;
// Drawn by its owner: each entry is shown from the parts its owner gives it
// (LB_SETITEMPARTS) rather than from its text, which stays for reading and
// for keyboard search. Rows may differ in height.
inline constexpr DWORD LBS_OWNERDRAWVARIABLE = 0x0020;
inline constexpr DWORD LBS_HASSTRINGS = 0x0040;
inline constexpr UINT LB_ADDSTRING = 0x0180;
inline constexpr UINT LB_INSERTSTRING = 0x0181;
inline constexpr UINT LB_DELETESTRING = 0x0182;
inline constexpr UINT LB_RESETCONTENT = 0x0184;
inline constexpr UINT LB_SETCURSEL = 0x0186;
inline constexpr UINT LB_GETCURSEL = 0x0188;
inline constexpr UINT LB_GETTEXT = 0x0189;
inline constexpr UINT LB_GETTEXTLEN = 0x018A;
inline constexpr UINT LB_GETCOUNT = 0x018B;
inline constexpr UINT LB_GETITEMDATA = 0x0199;
inline constexpr UINT LB_SETITEMDATA = 0x019A;
inline constexpr LPARAM LB_ERR = -1;
// What an owner-drawn entry shows: a heading row (title only, across the list),
// or a picture at the left (an absolute file path, or an icon theme name; a
// picture that cannot be read is drawn as a placeholder), the title with its
// label after it on the first line and the detail below.
struct ListItemParts {
  bool heading = false;
  std::u16string picture;
  std::u16string title;
  std::u16string label;
  std::u16string detail;
  bool operator==(const ListItemParts&) const = default;
};
// wParam index, lParam const ListItemParts* (copied) -> 1, LB_ERR out of range.
inline constexpr UINT LB_SETITEMPARTS = 0x01C0;
// wParam index, lParam ListItemParts* to fill -> 1, LB_ERR out of range.
inline constexpr UINT LB_GETITEMPARTS = 0x01C1;
inline constexpr UINT LBN_SELCHANGE = 1;
inline constexpr UINT LBN_DBLCLK = 2;

// ---- slider ("msctls_trackbar32") ----
// The parent hears of a move by the user through WM_HSCROLL (low word of wParam
// TB_THUMBPOSITION with the position in the high word, then TB_ENDTRACK; lParam
// the slider's window); TBM_SETPOS from the program tells nobody.
inline constexpr DWORD TBS_HORZ = 0x0000;
inline constexpr DWORD TBS_AUTOTICKS = 0x0001;
inline constexpr UINT TBM_GETPOS = 0x0400;
inline constexpr UINT TBM_GETRANGEMIN = 0x0401;
inline constexpr UINT TBM_GETRANGEMAX = 0x0402;
inline constexpr UINT TBM_SETPOS = 0x0405;        // wParam redraw, lParam position (kept within the range)
inline constexpr UINT TBM_SETRANGE = 0x0406;      // wParam redraw, lParam MAKELPARAM(min, max)
inline constexpr UINT TBM_SETRANGEMIN = 0x0407;
inline constexpr UINT TBM_SETRANGEMAX = 0x0408;
inline constexpr UINT TBM_SETPAGESIZE = 0x0415;
inline constexpr UINT TBM_SETLINESIZE = 0x0417;
inline constexpr UINT TB_THUMBPOSITION = 4;
inline constexpr UINT TB_ENDTRACK = 8;

// ---- notifications (WM_NOTIFY, lParam an NMHDR or a structure beginning with one) ----
// NMHDR: toolkit/notify_header.h.
inline constexpr int NM_CLICK = -2;
inline constexpr int NM_DBLCLK = -3;
inline constexpr int NM_RETURN = -4;

// ---- list view ("SysListView32"), report style ----
inline constexpr DWORD LVS_REPORT = 0x0001;
inline constexpr DWORD LVS_SINGLESEL = 0x0004;
inline constexpr DWORD LVS_SHOWSELALWAYS = 0x0008;
inline constexpr DWORD LVS_EX_FULLROWSELECT = 0x00000020;

inline constexpr UINT LVCF_FMT = 0x1, LVCF_WIDTH = 0x2, LVCF_TEXT = 0x4;
struct LVCOLUMNW {
  UINT mask = 0;
  int fmt = 0;
  int cx = 0;  // width in pixels at 96 dpi
  const char16_t* pszText = nullptr;  // LVM_GETCOLUMNW: the buffer, filled when cchTextMax > 0
  int cchTextMax = 0;
};

inline constexpr UINT LVIF_TEXT = 0x1, LVIF_STATE = 0x8, LVIF_PARAM = 0x4;
inline constexpr UINT LVIS_FOCUSED = 0x1, LVIS_SELECTED = 0x2;
inline constexpr UINT LVNI_ALL = 0x0, LVNI_FOCUSED = 0x1, LVNI_SELECTED = 0x2;
struct LVITEMW {
  UINT mask = 0;
  int iItem = 0;
  int iSubItem = 0;
  UINT state = 0;
  UINT stateMask = 0;
  char16_t* pszText = nullptr;  // in: the text; for LVM_GETITEMTEXTW: the buffer
  int cchTextMax = 0;
  LPARAM lParam = 0;
};

inline constexpr UINT LVM_GETITEMCOUNT = 0x1004;
inline constexpr UINT LVM_DELETEITEM = 0x1008;       // wParam row
inline constexpr UINT LVM_DELETEALLITEMS = 0x1009;
inline constexpr UINT LVM_GETNEXTITEM = 0x100C;      // wParam start (-1: from the top), lParam LVNI_* -> row or -1
inline constexpr UINT LVM_GETCOLUMNWIDTH = 0x101D;
inline constexpr UINT LVM_SETITEMSTATE = 0x102B;     // wParam row (-1: all), lParam LVITEMW* (state, stateMask)
inline constexpr UINT LVM_GETITEMSTATE = 0x102C;     // wParam row, lParam mask -> state
inline constexpr UINT LVM_SETEXTENDEDLISTVIEWSTYLE = 0x1036;  // wParam mask, lParam style
inline constexpr UINT LVM_GETEXTENDEDLISTVIEWSTYLE = 0x1037;
inline constexpr UINT LVM_GETITEMW = 0x104B;         // lParam LVITEMW*
inline constexpr UINT LVM_SETITEMW = 0x104C;
inline constexpr UINT LVM_INSERTITEMW = 0x104D;      // lParam LVITEMW* -> row or -1
inline constexpr UINT LVM_GETCOLUMNW = 0x105F;       // wParam column, lParam LVCOLUMNW* (text into pszText when cchTextMax > 0)
inline constexpr UINT LVM_INSERTCOLUMNW = 0x1061;    // wParam column, lParam LVCOLUMNW* -> column or -1
inline constexpr UINT LVM_GETITEMTEXTW = 0x1073;     // wParam row, lParam LVITEMW* (iSubItem, pszText, cchTextMax) -> length
inline constexpr UINT LVM_SETITEMTEXTW = 0x1074;     // wParam row, lParam LVITEMW* (iSubItem, pszText)
inline constexpr UINT LVM_GETCOLUMNCOUNT = 0x10FF;   // ours: -> number of columns

struct NMLISTVIEW {
  NMHDR hdr;
  int iItem = -1;
  int iSubItem = 0;
  UINT uNewState = 0;
  UINT uOldState = 0;
  UINT uChanged = 0;
  LPARAM lParam = 0;
};
// LVN_ITEMCHANGED follows every change of a row's selected or focused state,
// the program's (LVM_SETITEMSTATE, ...) as well as the user's; a selected row
// deleted by LVM_DELETEITEM is unselected first, so nothing stays selected.
inline constexpr int LVN_ITEMCHANGED = -101;   // NMLISTVIEW; after a selection change
inline constexpr int LVN_ITEMACTIVATE = -114;  // NMLISTVIEW; a double click or Enter on a row

// ---- tree view ("SysTreeView32") ----
using HTREEITEM = std::uintptr_t;  // 0: none
inline constexpr HTREEITEM TVI_ROOT = static_cast<HTREEITEM>(-0x10000);
inline constexpr HTREEITEM TVI_FIRST = static_cast<HTREEITEM>(-0xFFFF);
inline constexpr HTREEITEM TVI_LAST = static_cast<HTREEITEM>(-0xFFFE);
inline constexpr HTREEITEM TVI_SORT = static_cast<HTREEITEM>(-0xFFFD);

inline constexpr DWORD TVS_HASBUTTONS = 0x1, TVS_HASLINES = 0x2, TVS_LINESATROOT = 0x4, TVS_SHOWSELALWAYS = 0x20;
inline constexpr UINT TVIF_TEXT = 0x1, TVIF_PARAM = 0x4, TVIF_STATE = 0x8, TVIF_HANDLE = 0x10, TVIF_CHILDREN = 0x40;
inline constexpr UINT TVIS_SELECTED = 0x2, TVIS_EXPANDED = 0x20;
struct TVITEMW {
  UINT mask = 0;
  HTREEITEM hItem = 0;
  UINT state = 0;
  UINT stateMask = 0;
  char16_t* pszText = nullptr;
  int cchTextMax = 0;
  int iImage = 0;
  int iSelectedImage = 0;
  int cChildren = 0;  // 1: shows an expand button before its children are known
  LPARAM lParam = 0;
};
struct TVINSERTSTRUCTW {
  HTREEITEM hParent = TVI_ROOT;
  HTREEITEM hInsertAfter = TVI_LAST;
  TVITEMW item;
};

inline constexpr UINT TVGN_ROOT = 0x0, TVGN_NEXT = 0x1, TVGN_PARENT = 0x3, TVGN_CHILD = 0x4, TVGN_CARET = 0x9;
inline constexpr UINT TVGN_PREVIOUS = 0x2;
inline constexpr UINT TVE_COLLAPSE = 0x1, TVE_EXPAND = 0x2, TVE_TOGGLE = 0x3;
inline constexpr UINT TVC_UNKNOWN = 0x0, TVC_BYMOUSE = 0x1;  // NMTREEVIEWW::action of a selection change

inline constexpr UINT TVM_DELETEITEM = 0x1101;   // lParam item (TVI_ROOT: all)
inline constexpr UINT TVM_EXPAND = 0x1102;       // wParam TVE_*, lParam item
inline constexpr UINT TVM_GETCOUNT = 0x1105;
inline constexpr UINT TVM_GETNEXTITEM = 0x110A;  // wParam TVGN_*, lParam item -> item or 0
inline constexpr UINT TVM_SELECTITEM = 0x110B;   // wParam TVGN_CARET, lParam item
inline constexpr UINT TVM_INSERTITEMW = 0x1132;  // lParam TVINSERTSTRUCTW* -> item or 0
inline constexpr UINT TVM_GETITEMW = 0x113E;     // lParam TVITEMW* (hItem and mask set)
inline constexpr UINT TVM_SETITEMW = 0x113F;

struct NMTREEVIEWW {
  NMHDR hdr;
  UINT action = 0;
  TVITEMW itemOld;
  TVITEMW itemNew;
};
// TVN_SELCHANGEDW follows every selection change (action TVC_BYMOUSE for the
// user's, TVC_UNKNOWN for the program's); deleting the selected item (or a
// branch holding it) leaves nothing selected. TVM_EXPAND tells nobody.
inline constexpr int TVN_SELCHANGEDW = -451;
inline constexpr int TVN_ITEMEXPANDINGW = -454;  // before the children show: fill them now

// ---- tab control ("SysTabControl32") ----
inline constexpr UINT TCIF_TEXT = 0x1, TCIF_PARAM = 0x8;
struct TCITEMW {
  UINT mask = 0;
  DWORD dwState = 0;
  DWORD dwStateMask = 0;
  char16_t* pszText = nullptr;
  int cchTextMax = 0;
  int iImage = -1;
  LPARAM lParam = 0;
};
inline constexpr UINT TCM_GETITEMCOUNT = 0x1304;
inline constexpr UINT TCM_DELETEITEM = 0x1308;      // wParam tab
inline constexpr UINT TCM_DELETEALLITEMS = 0x1309;
inline constexpr UINT TCM_GETCURSEL = 0x130B;
inline constexpr UINT TCM_SETCURSEL = 0x130C;   // no notification
inline constexpr UINT TCM_GETITEMW = 0x133C;
inline constexpr UINT TCM_INSERTITEMW = 0x133E;
inline constexpr int TCN_SELCHANGE = -551;
inline constexpr int TCN_SELCHANGING = -552;   // a non-zero answer keeps the current tab

// ---- what a user did, posted by a renderer (see the Post* functions of renderer.h) ----
// Private to controls and renderers; numbers below WM_APP and above every
// control's own range.
inline constexpr UINT TKM_USER_TEXT = 0x7F00;      // lParam: a text PostUserText keeps for the control (post it through PostUserText)
inline constexpr UINT TKM_USER_SELECT = 0x7F01;    // lParam: index, row, tab or tree item
inline constexpr UINT TKM_USER_ACTIVATE = 0x7F02;  // lParam: row or list index
inline constexpr UINT TKM_USER_EXPAND = 0x7F03;    // wParam: non-zero to expand, lParam: tree item
inline constexpr UINT TKM_USER_POSITION = 0x7F04;  // lParam: slider position
inline constexpr UINT TKM_USER_FOCUS = 0x7F05;     // the control takes the keyboard focus

}  // namespace toolkit
