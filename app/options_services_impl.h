#pragma once
// ProgramOptionsServices: what the options screen asks of the program, done
// with the program's own parts: the unsent notes and their dialogs
// (delivery/dialogs), the account test in the connection-status window, the
// hotkey choices of the shell's key table, the cue sounds of the share folder
// and the desktop's browser.

#include <memory>

#include "audio/cue_player.h"
#include "delivery/pending_notes.h"
#include "settings/options/options_services.h"

namespace app {

class ProgramOptionsServices : public settings::OptionsServices {
 public:
  // `notes_options` goes to every unsent-notes operation (certificate
  // decisions, the web service's address); the defaults are the program's.
  explicit ProgramOptionsServices(delivery::PendingNotesOptions notes_options = {});
  ~ProgramOptionsServices() override;

  settings::PendingNotesSummary CountPendingNotes(const settings::AppSettings& settings) override;
  void ViewPendingNotes(platform::HWND owner, const settings::AppSettings& settings) override;
  void DeleteAllPendingNotes(platform::HWND owner, const settings::AppSettings& settings) override;
  void ResendPendingNotes(platform::HWND owner, const settings::AppSettings& settings) override;
  bool TestAccount(platform::HWND owner, const settings::AppSettings& settings) override;
  void OfferConversion(platform::HWND owner, const settings::AppSettings& settings, settings::SendMode mode) override;

  // The "none" choice first, labelled "None"; the others by their key names.
  std::vector<settings::HotkeyChoice> HotkeyChoices() override;
  std::vector<settings::CueSoundChoice> CueSounds() override;
  void PlayCueSound(const settings::CueSoundChoice& sound) override;
  // Only http and https addresses are opened.
  void OpenAddress(const std::string& url) override;
  // The copy the setup placed in the Windows folder, else the one beside this
  // program, else the one on the PATH.
  bool StartUpdateUtility() override;

 private:
  delivery::PendingNotesOptions notes_options_;
  std::unique_ptr<audio::CuePlayer> cue_player_;  // made on the first cue
};

// Whether OpenAddress hands `url` to the browser: an http or https address
// without spaces or control characters.
bool IsOpenableAddress(std::string_view url);

}  // namespace app
