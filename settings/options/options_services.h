#pragma once
// What the options dialogs need from the layers above the settings: the unsent
// notes (count, list, delete, resend, convert), the account test, the hotkey
// choices and the cue sounds. The program passes its implementation when it
// makes the options screen; tests pass their own.
//
// Every call is made on the UI thread that owns the options screen; `owner` is
// the window to which a dialog or message box the call shows is modal.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/window_system.h"
#include "settings/app_settings.h"

namespace settings {

struct PendingNotesSummary {
  std::uint32_t count = 0;
  std::uint64_t size = 0;  // bytes
};

struct HotkeyChoice {
  int control_id = 0;       // the button's id on the options screen
  std::u16string key_name;  // the LaunchHotkey value; empty for "none"
  std::u16string label;     // what the user reads
};

struct CueSoundChoice {
  std::u16string name;  // the SoundName value
  bool is_midi = false;
};

class OptionsServices {
 public:
  virtual ~OptionsServices() = default;

  virtual PendingNotesSummary CountPendingNotes(const AppSettings& settings) = 0;
  // The notes list dialog, modal to owner.
  virtual void ViewPendingNotes(platform::HWND owner, const AppSettings& settings) = 0;
  virtual void DeleteAllPendingNotes(platform::HWND owner, const AppSettings& settings) = 0;
  // Sends every unsent note now, showing the connection-status window.
  virtual void ResendPendingNotes(platform::HWND owner, const AppSettings& settings) = 0;
  // The account test: the connection-status window runs a login without
  // sending. True when it succeeded.
  virtual bool TestAccount(platform::HWND owner, const AppSettings& settings) = 0;
  // Asks whether unsent notes are to be converted for `mode` (files or
  // ActiveSync) and converts them on Yes.
  virtual void OfferConversion(platform::HWND owner, const AppSettings& settings, SendMode mode) = 0;

  virtual std::vector<HotkeyChoice> HotkeyChoices() = 0;
  virtual std::vector<CueSoundChoice> CueSounds() = 0;
  // Plays a cue sound once, without waiting.
  virtual void PlayCueSound(const CueSoundChoice& sound) = 0;
  // Opens an address in the user's browser.
  virtual void OpenAddress(const std::string& url) = 0;
  // Starts the update utility, without waiting; false when it cannot be started.
  virtual bool StartUpdateUtility() = 0;
};

}  // namespace settings
