#pragma once
// OptionsScreen: the page that fills the interactive main window ("Settings").
// It shows the delivery mode with "Details…" for the mode's settings page, the
// encoding, the hotkey buttons, the cue sound, and the unsent notes with their
// actions.
//
//   Apply()   the main window's OK: writes PlaySound, SoundName, IsMidi,
//             EncodingType, NotesSendMode and LaunchHotkey into the settings
//             and, when notes wait and the mode is now files or ActiveSync,
//             offers their conversion. The owner then applies the hotkey and
//             saves the settings.
//   Commands  40002 (About…), 40010 View Notes…, 40011 Delete Notes, 40012
//             Resend Notes, handed on by the main window.
//   UM_NOTES_CHANGED (posted by a delivery, and by the screen to itself when it
//             opens) recounts the unsent notes and shows them again.
//
// Unsent notes: "%d unsent note(s), size %dKB" (KB rounded down, at least 1)
// with "View Notes…", "Delete All" and "Resend All" is shown only while notes
// wait and the mode chosen on the screen sends them (files and ActiveSync
// count none), and so are the three menu entries usable: the screen greys them
// on the menu bar it is given (set_menu_bar) and ignores them while greyed.
//
// services may be null while the program has none to give: the screen then
// counts no notes, offers no hotkeys or sounds and leaves those settings as
// they are. All of it runs on the UI thread.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings/app_settings.h"
#include "settings/options/options_dialog.h"
#include "settings/options/options_services.h"
#include "toolkit/ce_base_dialog.h"

namespace toolkit {
class CMenuBar;
}

namespace settings {

class OptionsScreen : public toolkit::CeBaseDialog {
 public:
  OptionsScreen(AppSettings& settings, OptionsServices* services);
  ~OptionsScreen() override;

  // Makes the screen as a child of parent; nullptr on failure.
  platform::HWND CreateScreen(platform::HWND parent);

  // Takes the screen's choices into the settings (see above).
  void Apply();

  // Whether hwnd is one of the hotkey buttons (the message loop dispatches
  // their messages even when the dialog manager took them).
  bool IsHotkeyButton(platform::HWND hwnd) const;
  // Whether "View Notes…", "Delete Notes" and "Resend Notes" of the menu are usable.
  bool notes_entries_enabled() const { return notes_entries_enabled_; }
  // The bar whose popup holds those entries (nullptr: none); they are greyed or
  // ungreyed on it at once and whenever the screen shows the notes again. The
  // bar must outlive the screen or be taken back first.
  void set_menu_bar(toolkit::CMenuBar* bar);
  // The dialog opened from the screen that is still open (nullptr: none).
  platform::HWND open_dialog() const;
  // A dialog or action started from the screen is still running.
  bool busy() const { return busy_; }
  const PendingNotesSummary& pending() const { return pending_; }

  // The mode the list shows (NotesSendMode until the user picks another).
  SendMode SelectedMode() const;

  // "%d unsent note(s), size %dKB".
  static std::u16string UnsentLine(const PendingNotesSummary& pending);

  platform::LRESULT OnCommand(platform::WPARAM wparam, platform::LPARAM lparam, bool& handled) override;

 protected:
  platform::LRESULT OnInitDialog(platform::HWND focus, platform::LPARAM param, bool& handled) override;
  platform::LRESULT OnMessage(platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam,
                              bool& handled) override;
  void OnDestroy(bool& handled) override;
  // A page of the main window: the main window's OK and Cancel decide.
  void OnOK(bool& handled) override { handled = true; }
  void OnCancel(bool& handled) override { handled = true; }

 private:
  void FillModeList();
  void FillEncodingList();
  void FillSoundList();
  void MakeHotkeyButtons();
  // Counts the unsent notes again and shows them.
  void Recount();
  void Refresh();
  void ShowNotesEntries();

  void OpenDetails();
  void PlaySelectedSound();
  void ShowAbout();
  // Runs a notes action (View, Delete All, Resend All) and recounts afterwards.
  template <typename Fn>
  void NotesAction(Fn&& fn);

  platform::HWND Item(int id) const { return GetDlgItem(id); }

  AppSettings& settings_;
  OptionsServices* services_;
  std::vector<HotkeyChoice> hotkeys_;
  std::vector<platform::HWND> hotkey_buttons_;
  PendingNotesSummary pending_;
  bool notes_entries_enabled_ = false;
  toolkit::CMenuBar* menu_bar_ = nullptr;
  // The page opened from the screen, and whether anything started from the
  // screen still runs: while it does, taps that would start another (a second
  // "Details…", a queued menu command) are ignored.
  OptionsDialog* open_page_ = nullptr;
  bool busy_ = false;
};

}  // namespace settings
