#pragma once
// The standard controls as window classes of the window system. Each control
// keeps its state inside its window, so the program, tests and renderers read and
// change it only through messages, on the thread that owns the control (a send
// from another thread is handled there). A renderer hears of every change through
// Renderer::OnControlChanged (toolkit/renderer.h) and the window observers.
//
// "STATIC"   text. WM_SETTEXT / WM_GETTEXT; a font by WM_SETFONT and colours by
//            its parent's WM_CTLCOLORSTATIC answer (toolkit/gdi.h); a picture
//            shown in place of the text (STM_SETIMAGE).
// "BUTTON"   push button, check box, radio button or owner-drawn button (its
//            owner draws it; the control keeps its pressed and focused state for
//            that). BM_CLICK (and a press and release of the pointer or the space
//            bar) sends the parent WM_COMMAND(MAKEWPARAM(id, BN_CLICKED), hwnd);
//            a disabled button ignores it. An automatic check box toggles and an
//            automatic radio button checks itself (and unchecks the automatic
//            radio buttons of its group) before it tells the parent. Keys the
//            button has no use for go on to its parent, so a dialog hears every
//            key pressed in it.
//            A button may carry a picture, named as in the icon theme: an
//            owner-drawn button is shown with it above its label (BM_SETIMAGE).
// "msctls_progress32"  progress bar: a range (default 0..100) and a position
//            kept within it.
//
// Show, hide, enable and disable controls through the window system
// (ShowWindow, EnableWindow).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/window_system.h"

namespace toolkit {

using platform::DWORD;
using platform::UINT;

inline constexpr std::u16string_view kStaticClass = u"STATIC";
inline constexpr std::u16string_view kButtonClass = u"BUTTON";
inline constexpr std::u16string_view kProgressClass = u"msctls_progress32";

// Registers the control classes once per process (done by every dialog and by
// InitRenderer; call it before making controls by hand).
void RegisterControlClasses();

// Styles shared by dialog children.
inline constexpr DWORD WS_TABSTOP = 0x00010000;
inline constexpr DWORD WS_GROUP = 0x00020000;

// ---- static ----
inline constexpr DWORD SS_LEFT = 0x0;
inline constexpr DWORD SS_CENTER = 0x1;
inline constexpr DWORD SS_RIGHT = 0x2;
inline constexpr DWORD SS_NOPREFIX = 0x80;
// A static's picture by icon theme name; the messages work as BM_SETIMAGE and
// BM_GETIMAGE below.
inline constexpr UINT STM_SETIMAGE = 0x0172;
inline constexpr UINT STM_GETIMAGE = 0x0173;

// ---- button ----
inline constexpr DWORD BS_PUSHBUTTON = 0x0;
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
inline constexpr DWORD BS_CHECKBOX = 0x2;
inline constexpr DWORD BS_AUTOCHECKBOX = 0x3;
inline constexpr DWORD BS_RADIOBUTTON = 0x4;
inline constexpr DWORD BS_3STATE = 0x5;
inline constexpr DWORD BS_AUTO3STATE = 0x6;
inline constexpr DWORD BS_GROUPBOX = 0x7;
inline constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
inline constexpr DWORD BS_OWNERDRAW = 0xB;
inline constexpr DWORD BS_TYPEMASK = 0xF;

inline constexpr UINT BM_GETCHECK = 0x00F0;   // -> BST_UNCHECKED / BST_CHECKED / BST_INDETERMINATE
inline constexpr UINT BM_SETCHECK = 0x00F1;   // wParam the check state
inline constexpr UINT BM_GETSTATE = 0x00F2;   // -> check state | BST_PUSHED | BST_FOCUS
inline constexpr UINT BM_SETSTATE = 0x00F3;   // wParam non-zero: shown pressed
inline constexpr UINT BM_SETSTYLE = 0x00F4;   // wParam the new BS_ type
inline constexpr UINT BM_CLICK = 0x00F5;
// The button's picture by icon theme name ("dictalo-cancel"); a renderer shows a
// disabled button with "<name>-disabled" when the theme has it.
// BM_SETIMAGE: lParam a zero-terminated UTF-16 name, which the control copies
//   (null or empty: no picture). A name longer than kMaxButtonImageName or with
//   characters other than ASCII letters, digits, '-', '_' and '.' is refused and
//   the picture stays as it was. -> TRUE when taken.
// BM_GETIMAGE: wParam the size of the buffer in char16_t, lParam the buffer (may
//   be null); copies as much of the name as fits, zero-terminated. -> the name's
//   full length.
inline constexpr UINT BM_GETIMAGE = 0x00F6;
inline constexpr UINT BM_SETIMAGE = 0x00F7;
inline constexpr std::size_t kMaxButtonImageName = 64;

inline constexpr UINT BST_UNCHECKED = 0x0;
inline constexpr UINT BST_CHECKED = 0x1;
inline constexpr UINT BST_INDETERMINATE = 0x2;
inline constexpr UINT BST_PUSHED = 0x4;
inline constexpr UINT BST_FOCUS = 0x8;

// Notification codes (high word of WM_COMMAND's wParam).
inline constexpr UINT BN_CLICKED = 0;

// ---- progress bar ----
inline constexpr UINT PBM_SETRANGE = 0x0401;    // lParam MAKELPARAM(low, high) -> previous range the same way
inline constexpr UINT PBM_SETPOS = 0x0402;      // wParam position -> previous position
inline constexpr UINT PBM_DELTAPOS = 0x0403;    // wParam added -> previous position
inline constexpr UINT PBM_SETSTEP = 0x0404;     // wParam step -> previous step
inline constexpr UINT PBM_STEPIT = 0x0405;      // adds the step, wrapping to low past high -> previous position
inline constexpr UINT PBM_SETRANGE32 = 0x0406;  // wParam low, lParam high -> previous range as MAKELPARAM
inline constexpr UINT PBM_GETRANGE = 0x0407;    // wParam non-zero: -> low, else -> high; lParam PBRANGE* (may be null)
inline constexpr UINT PBM_GETPOS = 0x0408;

struct PBRANGE {
  int iLow = 0;
  int iHigh = 0;
};

// ---- keyboard interface of dialog children ----
inline constexpr UINT WM_GETDLGCODE = 0x0087;
inline constexpr UINT DLGC_WANTARROWS = 0x0001;
inline constexpr UINT DLGC_WANTTAB = 0x0002;
inline constexpr UINT DLGC_WANTALLKEYS = 0x0004;
inline constexpr UINT DLGC_WANTMESSAGE = 0x0004;
inline constexpr UINT DLGC_HASSETSEL = 0x0008;  // an edit: Tab into it selects its whole text
inline constexpr UINT DLGC_DEFPUSHBUTTON = 0x0010;
inline constexpr UINT DLGC_UNDEFPUSHBUTTON = 0x0020;
inline constexpr UINT DLGC_RADIOBUTTON = 0x0040;
inline constexpr UINT DLGC_WANTCHARS = 0x0080;
inline constexpr UINT DLGC_STATIC = 0x0100;
inline constexpr UINT DLGC_BUTTON = 0x2000;

// Virtual keys the dialog manager uses, beyond those of platform/window_system.h.
inline constexpr UINT VK_TAB = 0x09;
inline constexpr UINT VK_SHIFT = 0x10;
inline constexpr UINT VK_END = 0x23;
inline constexpr UINT VK_HOME = 0x24;
inline constexpr UINT VK_LEFT = 0x25;
inline constexpr UINT VK_UP = 0x26;
inline constexpr UINT VK_RIGHT = 0x27;
inline constexpr UINT VK_DOWN = 0x28;
inline constexpr UINT VK_DELETE = 0x2E;

}  // namespace toolkit
