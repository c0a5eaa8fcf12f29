#pragma once
// HeadlessRenderer: the renderer for tests and for starts without a display. It
// shows nothing; it keeps, for every window, a description of what a user would
// see, answers message boxes from the script of the headless presenter
// (message_box.h), and, when DICTALO_UI_DUMP names a file, rewrites that file on
// every change (written to a temporary file beside it, then renamed over it) so
// that a test in another process can read what the program shows.
//
// Description: one line per visible top-level window (a window without WS_CHILD:
// main windows, dialogs), each followed by one indented line per descendant in
// creation order, two more spaces per level. Values in double quotes escape \ "
// and control characters (\n, \r, \t, \xNN).
//
//   window hwnd=0x10005 class="Dialog" title="Dictalo" visible=1 enabled=1 rect=0,158,240,320
//     control id=10120 class="STATIC" text="Encoding..." visible=1 enabled=1 rect=4,162,236,178
//     control id=10122 class="BUTTON" text="Stop && Send" visible=1 enabled=0 checked=0 pressed=0 focused=0 image="dictalo-stop-send" rect=...
//     control id=10126 class="msctls_progress32" text="" visible=1 enabled=1 range=0,4096 pos=512 rect=...
//     control id=309 class="menu_worker" text="" visible=1 enabled=1 rect=...
//       control id=50600 class="BUTTON" text="Send" visible=1 enabled=1 checked=0 pressed=0 focused=0 rect=...
//
// rect (last on every line) is left,top,right,bottom in screen pixels; visible and enabled are the
// window's own flags. The common controls (edit fields, lists, sliders, list
// and tree views, tabs) and soft keys with a popup (its items, greyed or not)
// add their state after these as control_describe.h shows;
// a password field's text shows as one '*' per character. A button or static
// with a picture (BM_SETIMAGE, STM_SETIMAGE) names it in image="..." after its
// state.
//
// After the windows come the tray icons and the last desktop notifications
// (at most kKeptNotifications, oldest first):
//
//   tray owner=0x10001 id=1 icon="dictalo-recording" tooltip="Dictalo: recording"
//   notification title="Dictalo" text="Note sent"
//
// The dump file holds the descriptions of all visible top-level windows, one
// after another, then those lines, and is empty when there is nothing to show.
//
// File dialogs are answered by the HeadlessFileDialogPresenter (file_dialog.h).

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/control_describe.h"
#include "toolkit/file_dialog.h"
#include "toolkit/renderer.h"

namespace toolkit {

class HeadlessRenderer : public Renderer {
 public:
  // dump_path: the file to keep up to date ("" for none).
  explicit HeadlessRenderer(std::string dump_path = {});
  // The dump path DICTALO_UI_DUMP names, or "".
  static std::string DumpPathFromEnvironment();

  // The description of a top-level window (and its descendants), whether it is
  // visible or not; "" when the renderer does not know the window.
  std::string Describe(HWND window) const;
  // What the dump file holds.
  std::string DescribeAll() const;

  MessageBoxPresenter* MessageBoxes() override { return &presenter_; }
  FileDialogPresenter* FileDialogs() override { return &file_dialogs_; }
  HeadlessFileDialogPresenter& HeadlessFileDialogs() { return file_dialogs_; }

  struct Notification {
    std::u16string title;
    std::u16string text;
  };
  static constexpr std::size_t kKeptNotifications = 8;

  void OnTrayIcon(const TrayIconState& icon) override;
  void OnTrayIconRemoved(HWND owner, UINT id) override;
  void ShowNotification(std::u16string_view title, std::u16string_view text) override;

  // The tray icons shown now, in the order they appeared.
  std::vector<TrayIconState> TrayIcons() const;
  // The last notifications, oldest first.
  std::vector<Notification> Notifications() const;
  // A tap on the tray icon (owner, id): posts its callback message to the owner
  // (wParam the id, lParam WM_LBUTTONUP). False when there is no such icon or
  // the owner is gone.
  bool ClickTrayIcon(HWND owner, UINT id);

  void OnWindowCreated(HWND hwnd) override;
  void OnWindowDestroyed(HWND hwnd) override;
  void OnWindowTextChanged(HWND hwnd) override;
  void OnWindowShown(HWND hwnd, bool visible) override;
  void OnWindowEnabled(HWND hwnd, bool enabled) override;
  void OnWindowMoved(HWND hwnd) override;
  void OnControlChanged(HWND control) override;

 private:
  struct Node {
    HWND parent = nullptr;
    bool top_level = false;
    int id = 0;
    std::string class_name;
    std::string text;
    bool visible = false;
    bool enabled = true;
    platform::RECT rect{};
    // Button state.
    bool is_button = false;
    unsigned check = 0;
    bool pressed = false;
    bool focused = false;
    std::string image;  // its picture's icon name, empty for none (buttons and statics)
    bool is_static = false;
    // Progress bar state.
    bool is_progress = false;
    int low = 0, high = 0, pos = 0;
    // The common controls: their state as control_describe.h writes it.
    ControlKind kind = ControlKind::kOther;
    std::string state_text;
    bool password = false;
  };

  static void ReadStyle(HWND hwnd, Node& node);
  void ReadControlState(HWND hwnd, Node& node);
  void DescribeLocked(HWND hwnd, const Node& node, int depth, std::string& out) const;
  std::string DescribeAllLocked() const;
  // Rewrites the dump file when there is one (called after every change).
  void DumpLocked();

  std::string dump_path_;
  HeadlessMessageBoxPresenter presenter_;
  mutable std::mutex mu_;
  std::map<std::uintptr_t, Node> nodes_;  // by handle value: creation order
  std::string last_dump_;
  HeadlessFileDialogPresenter file_dialogs_;
  std::vector<TrayIconState> tray_icons_;
  std::vector<Notification> notifications_;
  bool dumped_once_ = false;
};

}  // namespace toolkit
