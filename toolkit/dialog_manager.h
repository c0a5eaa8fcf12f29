#pragma once
// The dialog manager: makes dialogs from templates of the resource table, runs
// modal dialogs, and gives dialogs their keyboard interface. CeBaseDialog is built
// on it; the program rarely calls it directly.
//
// A dialog is a window of class "Dialog" whose children are made from the
// template. Its window procedure calls the dialog procedure first: a non-zero
// return means handled, and the message's result is then the dialog procedure's
// own return for the direct-result messages (IsDirectResultMessage) and the
// dialog's DWLP_MSGRESULT slot for every other message. A zero return leaves the
// message to the default handling: WM_CLOSE sends WM_COMMAND(IDCANCEL),
// WM_NEXTDLGCTL moves the focus, everything else goes to DefWindowProc.
//
// A popup dialog has no parent window; its owner (dialog_owner) is kept apart, so
// a dialog shows even while its owner is hidden, and the owner may belong to
// another thread. A dialog whose template has WS_CHILD is a child of its parent.

#include <cstdint>

#include "platform/window_system.h"
#include "toolkit/resources.h"

namespace toolkit {

using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::MSG;
using platform::UINT;
using platform::WPARAM;

using DLGPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

inline constexpr std::u16string_view kDialogClass = u"Dialog";
// The dialog window's slot that holds its dialog procedure (after DWLP_MSGRESULT
// and DWLP_USER).
inline constexpr int DWLP_DLGPROC = 16;

inline constexpr UINT WM_VKEYTOITEM = 0x002E;
inline constexpr UINT WM_CHARTOITEM = 0x002F;
inline constexpr UINT WM_QUERYDRAGICON = 0x0037;
inline constexpr UINT WM_COMPAREITEM = 0x0039;
inline constexpr UINT WM_CTLCOLORMSGBOX = 0x0132;
inline constexpr UINT WM_CTLCOLOREDIT = 0x0133;
inline constexpr UINT WM_CTLCOLORLISTBOX = 0x0134;
inline constexpr UINT WM_CTLCOLORBTN = 0x0135;
inline constexpr UINT WM_CTLCOLORDLG = 0x0136;
inline constexpr UINT WM_CTLCOLORSCROLLBAR = 0x0137;

// The messages whose result is the dialog procedure's return itself:
// 46, 47, 55, 57, WM_INITDIALOG (272) and the WM_CTLCOLOR* messages (306-312).
bool IsDirectResultMessage(UINT msg);

// Makes a modeless dialog from template template_id (WM_INITDIALOG carries param
// in lParam and the first tab stop in wParam; a non-zero answer puts the focus on
// that control). nullptr when the template is unknown or a window cannot be made.
HWND CreateDialogParamW(UINT template_id, HWND parent, DLGPROC proc, LPARAM param);
HWND CreateDialogIndirectParamW(const DialogTemplate& dialog, HWND parent, DLGPROC proc, LPARAM param);

// Runs a modal dialog on the calling thread: disables the owner (which may belong
// to another thread: it hears WM_ENABLE there), makes and shows the dialog, and
// gets and dispatches the calling thread's messages (through IsDialogMessageW)
// until EndDialog; then re-enables the owner (when it was enabled before), destroys
// the dialog and returns EndDialog's result. -1 when the dialog cannot be made. A
// WM_QUIT met in the loop ends the dialog with 0 and is posted again for the
// caller's loop.
LRESULT DialogBoxParamW(UINT template_id, HWND owner, DLGPROC proc, LPARAM param);
LRESULT DialogBoxIndirectParamW(const DialogTemplate& dialog, HWND owner, DLGPROC proc, LPARAM param);

// The dialog manager's own handling of a message that the dialog procedure left
// (WM_CLOSE, WM_NEXTDLGCTL, WM_SETFOCUS, then DefWindowProc).
LRESULT DefDialogHandling(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam);

// Ends a dialog. Modal: its loop ends with result (from any thread). Modeless:
// the dialog is destroyed (by its own thread). False when hwnd is no dialog.
bool EndDialog(HWND dialog, LRESULT result);

// Whether the dialog runs modally (the dialog manager's DialogBox*).
bool IsModalDialog(HWND dialog);
// The owner given when the dialog was made (nullptr for none).
HWND GetDialogOwner(HWND dialog);
bool IsDialog(HWND hwnd);

// The keyboard interface, for a message taken from the queue of the dialog's
// thread. Returns false when msg is not for the dialog or one of its
// descendants; otherwise handles it and returns true:
//   Tab / Shift-Tab (VK_SHIFT held: WM_KEYDOWN seen, WM_KEYUP not yet) move the
//     focus to the next / previous enabled, visible WS_TABSTOP control;
//   Enter sends WM_COMMAND with the focused push button's id, else the default
//     push button's (BS_DEFPUSHBUTTON), else IDOK;
//   Escape sends WM_COMMAND(IDCANCEL);
// unless the focused control asks for the key (WM_GETDLGCODE); the WM_CHAR that
// follows a used key is swallowed. Every other message is dispatched as it is.
bool IsDialogMessageW(HWND dialog, MSG* msg);

// Whether VK_SHIFT is down as the calling thread's dialog messages last showed it.
bool IsShiftDown();

// The next (or previous) control that takes the focus by Tab after control (null:
// from the start); nullptr when the dialog has none.
HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous);
// The control of the dialog that had the focus last (nullptr for none). Renderers
// deliver key presses to it.
HWND GetDialogFocus(HWND dialog);

// The program's main window: the owner of modal dialogs that name no parent.
void SetProgramMainWindow(HWND hwnd);
HWND GetProgramMainWindow();

}  // namespace toolkit
