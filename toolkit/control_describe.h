#pragma once
// What the headless renderer writes after the common attributes of a control's
// line, read from the control with its own messages (so on the control's
// thread). Texts are quoted as in the rest of the description; lists are in
// square brackets, comma-separated:
//
//   EDIT                password=0 readonly=0 focused=1        (a password's text shows as '*' per character)
//   COMBOBOX, LISTBOX   items=["Plain","SSL"] selected=0       (-1: none)
//   msctls_trackbar32   range=0,100 pos=40
//   SysListView32       columns=["Subject","Size"] rows=[["Note 1","12 KB"],["Note 2","3 KB"]] selected=1
//   SysTabControl32     tabs=["General","Security"] current=0
//   CeWnd:CeIconButton  buttons=[{101,"media-record","Rec",checked=0,pressed=0,enabled=1},...] current=0
//                       (id, icon, text of each button in bar order; current: the pressed one, 0 for none)
//   BUTTON on a bar     popup=[{40010,"View Notes...",enabled=0},-,{40002,"About...",enabled=1}]
//                       (a soft key with a popup: command, text and whether it can
//                       be chosen for each item, - for a separator; nothing for a
//                       key with a command of its own)
//   SysTreeView32       items=[0:"Folders"+,1:"Inbox",0:"Sent"] selected=1
//                       (depth:text in display order, every item whether its
//                       branch is open or not; + marks an open branch;
//                       selected counts in that order)

#include <string>

#include "platform/window_system.h"

namespace toolkit {

enum class ControlKind {
  kOther,
  kEdit,
  kComboBox,
  kListBox,
  kTrackbar,
  kListView,
  kTabControl,
  kTreeView,
  kIconBar,
  kSoftKey,  // a BUTTON on a soft-key bar (menu_bar.h)
};

ControlKind ControlKindOf(platform::HWND hwnd);

// " password=0 readonly=0 focused=1" and so on; "" for kOther.
std::string DescribeControlState(platform::HWND hwnd, ControlKind kind);

// The text as a password field shows it: one '*' per character.
std::string MaskedText(const std::string& utf8);

// "\"...\"" with \ " and control characters escaped (\n, \r, \t, \xNN).
std::string QuoteForDescription(const std::string& utf8);

}  // namespace toolkit
