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

#include "platform/window_system.h"
#include "toolkit/message_box.h"

namespace toolkit {

using platform::HWND;
using platform::UINT;

class Renderer : public platform::WindowObserver {
 public:
  ~Renderer() override = default;
  // State kept inside a control changed (read it with the control's messages).
  virtual void OnControlChanged(HWND /*control*/) {}
  // The presenter for message boxes while this renderer is installed.
  virtual MessageBoxPresenter* MessageBoxes() = 0;
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

}  // namespace toolkit
