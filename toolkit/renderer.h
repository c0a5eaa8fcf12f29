#pragma once
// The renderer: what shows the program's windows, dialogs and controls to the
// user, presents message boxes, and hands the user's input back as window
// messages. It observes the window system (platform::WindowObserver: creation,
// text, visibility, enabling, moves, destruction) and hears from the controls
// when state they keep inside changes (check marks, pressed and focused buttons,
// progress ranges and positions).
//
// One renderer per process, installed by InitRenderer at start: the headless one
// (headless_renderer.h) for now; a desktop renderer will be chosen there when a
// display is present. Observer calls come on the thread that made the change,
// OnControlChanged on the control's own thread.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/window_system.h"
#include "toolkit/file_dialog.h"
#include "toolkit/message_box.h"

namespace toolkit {

using platform::HWND;
using platform::UINT;

// An icon in the desktop's notification area (the toolkit's tray functions,
// toolkit/tray.h). A click on it posts callback_message to owner.
struct TrayIconState {
  HWND owner = nullptr;
  UINT id = 0;
  UINT callback_message = 0;
  std::u16string icon;     // icon name of our icon theme ("dictalo", "dictalo-recording", ...)
  std::u16string tooltip;
};

class Renderer : public platform::WindowObserver {
 public:
  ~Renderer() override = default;
  // Whether a user sees the windows and can answer them (a desktop), rather
  // than scripts and tests (headless).
  virtual bool ShowsWindows() const { return false; }
  // The tray icon (owner, id) appeared or changed; it is removed by OnTrayIconRemoved.
  virtual void OnTrayIcon(const TrayIconState& /*icon*/) {}
  virtual void OnTrayIconRemoved(HWND /*owner*/, UINT /*id*/) {}
  // A desktop notification: a title and one line of text. The headless renderer
  // keeps the last ones for tests.
  virtual void ShowNotification(std::u16string_view /*title*/, std::u16string_view /*text*/) {}
  // State kept inside a control changed (read it with the control's messages).
  virtual void OnControlChanged(HWND /*control*/) {}
  // The presenter for message boxes while this renderer is installed.
  virtual MessageBoxPresenter* MessageBoxes() = 0;
  // The presenter for file dialogs (toolkit/file_dialog.h); nullptr: none.
  virtual FileDialogPresenter* FileDialogs() { return nullptr; }
};

// Installs the process's renderer once (later calls return the same one): adds
// it as window observer and message-box presenter and registers the control
// classes. The renderer lives until the process ends.
Renderer* InitRenderer();
// The installed renderer, or nullptr.
Renderer* CurrentRenderer();
// Installs renderer (nullptr: none) as the process's renderer in place of the
// current one and returns the previous; for tests. Call only while no other
// thread changes windows.
Renderer* SetRenderer(Renderer* renderer);

// Called by controls after their inside state changed.
void NotifyControlChanged(HWND control);

// ---- user input, as a renderer delivers it ----
// Posts BM_CLICK to a control (a tap); false when it is gone.
bool PostClick(HWND control);
// Posts a key press (WM_KEYDOWN then WM_KEYUP) to the window that should hear
// it: for a dialog (or a window inside one) the dialog's focused control, else
// the dialog, else the window itself.
bool PostKey(HWND window, UINT virtual_key);

// What a user does to the common controls (common_controls.h). Each posts to the
// control, which then acts as if the user had done it and notifies its parent
// as the user's own action would. False when the control is gone.
// Edit field (or a drop-down's edit part): the text the user typed (EN_CHANGE;
// CBN_EDITCHANGE for a drop-down). False for a window that is neither.
bool PostUserText(HWND control, std::u16string text);
// Drop-down / list box index (CBN_SELCHANGE / LBN_SELCHANGE), list view row
// (LVN_ITEMCHANGED), tree item (TVN_SELCHANGEDW), tab (TCN_SELCHANGING, then
// TCN_SELCHANGE unless the parent refused). -1 for a list box or list view: the
// user cleared the selection. Out of range: nothing happens.
bool PostUserSelect(HWND control, std::intptr_t item);
// A double click or Enter on a list view row (LVN_ITEMACTIVATE) or a list box
// entry (LBN_DBLCLK).
bool PostUserActivate(HWND control, std::intptr_t item);
// A tree item opened (TVN_ITEMEXPANDINGW first) or closed.
bool PostUserExpand(HWND control, std::uintptr_t item, bool expand);
// A slider moved (WM_HSCROLL to the parent).
bool PostUserPosition(HWND control, int position);
// The control takes the keyboard focus (WM_KILLFOCUS / WM_SETFOCUS, EN_KILLFOCUS /
// EN_SETFOCUS for edit fields).
bool PostUserFocus(HWND control);

}  // namespace toolkit
