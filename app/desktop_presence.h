#pragma once
// DesktopPresence: what the program shows of itself outside its windows. The
// main window owns one and tells it what happens:
//   - a tray icon while a recording runs ("dictalo-recording") or notes wait to
//     be sent ("dictalo-pending"), with a tooltip saying which and how many; no
//     icon otherwise;
//   - a desktop notification when a note was sent, saved, or could not be sent
//     (then with the first line of the error report).
// A click on the icon brings the options screen to the front in the interactive
// mode; the hidden resident recorder has no window to show, so there a click
// does nothing (stopping a recording stays with the hotkey and the status window).
// All calls on the UI thread, the owner's thread.
//
// The main window makes it once its window exists, offers every message to
// HandleMessage before its own handling, and reports: a recorder started or
// stopped, the Outbox count whenever it may have changed, and each note's end.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/window_system.h"

namespace app {

// How a note handed on ended, as the user is told.
enum class NoteOutcomeKind {
  kSent,     // the server took it
  kSaved,    // kept for later: in the Outbox, or as a file
  kNotSent,  // sending failed; it waits with the unsent notes
};

class DesktopPresence {
 public:
  // Tray clicks reach the owner as this message (wParam the icon id, lParam the
  // mouse message); the owner hands it to HandleMessage.
  static constexpr platform::UINT kTrayMessage = platform::WM_APP + 0x14F;
  static constexpr platform::UINT kTrayIconId = 1;
  // A notification line is cut to this many characters.
  static constexpr std::size_t kMaxLineLength = 200;

  // owner: the main window, which outlives this object.
  DesktopPresence(platform::HWND owner, bool interactive);
  ~DesktopPresence();  // takes the icon away
  DesktopPresence(const DesktopPresence&) = delete;
  DesktopPresence& operator=(const DesktopPresence&) = delete;

  void OnRecordingStarted();
  void OnRecordingStopped();
  // The number of notes waiting to be sent (the Outbox).
  void OnPendingCount(std::size_t count);
  // detail: for kNotSent the error report (its first line is shown); for the
  // others what to say instead of the usual text (where the note went), or "".
  void OnNoteOutcome(NoteOutcomeKind kind, std::u16string_view detail);

  // True when msg was the tray icon's (it is then handled).
  bool HandleMessage(platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam);

  bool icon_shown() const { return shown_; }
  // The icon and tooltip the tray shows now, or would show ("" when none).
  std::u16string_view icon() const { return icon_; }
  const std::u16string& tooltip() const { return tooltip_; }

  // The first line of text, without control characters, at most max characters
  // long (an ellipsis marks a cut).
  static std::u16string FirstLine(std::u16string_view text, std::size_t max = kMaxLineLength);

 private:
  // Shows, changes or removes the icon to match the state.
  void Update();
  std::u16string Tooltip() const;

  platform::HWND owner_;
  bool interactive_;
  bool recording_ = false;
  std::size_t pending_ = 0;
  bool shown_ = false;
  std::u16string_view icon_;
  std::u16string tooltip_;
};

}  // namespace app
