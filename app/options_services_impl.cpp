#include "app/options_services_impl.h"

#include "app/hotkey_binding.h"
#include "audio/sound_list.h"
#include "delivery/dialogs/notes_commands.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "resources/notes_resources.h"

namespace app {

ProgramOptionsServices::ProgramOptionsServices(delivery::PendingNotesOptions notes_options)
    : notes_options_(std::move(notes_options)) {
  // The dialogs these services show need their templates; adding them again is harmless.
  resources::RegisterNotesResources();
}

ProgramOptionsServices::~ProgramOptionsServices() = default;

settings::PendingNotesSummary ProgramOptionsServices::CountPendingNotes(const settings::AppSettings& settings) {
  delivery::PendingNotesCount count = delivery::CountPendingNotes(settings);
  return settings::PendingNotesSummary{count.count, count.size};
}

void ProgramOptionsServices::ViewPendingNotes(platform::HWND owner, const settings::AppSettings& settings) {
  delivery::dialogs::ShowPendingNotesList(owner, settings);
}

void ProgramOptionsServices::DeleteAllPendingNotes(platform::HWND owner, const settings::AppSettings& settings) {
  (void)delivery::dialogs::DeleteAllPendingNotesFor(owner, settings);
}

void ProgramOptionsServices::ResendPendingNotes(platform::HWND owner, const settings::AppSettings& settings) {
  (void)delivery::dialogs::ResendPendingNotesFor(owner, settings, notes_options_);
}

bool ProgramOptionsServices::TestAccount(platform::HWND owner, const settings::AppSettings& settings) {
  return delivery::dialogs::TestAccountFor(owner, settings, notes_options_);
}

void ProgramOptionsServices::OfferConversion(platform::HWND owner, const settings::AppSettings& settings,
                                             settings::SendMode mode) {
  (void)delivery::dialogs::OfferPendingNotesConversion(owner, settings, mode, notes_options_);
}

std::vector<settings::HotkeyChoice> ProgramOptionsServices::HotkeyChoices() {
  std::vector<settings::HotkeyChoice> choices;
  for (const HotkeyButton& button : ListHotkeyButtons()) {
    std::u16string label = button.key_name.empty() ? u"None" : button.key_name;
    choices.push_back(settings::HotkeyChoice{button.control_id, button.key_name, std::move(label)});
  }
  return choices;
}

std::vector<settings::CueSoundChoice> ProgramOptionsServices::CueSounds() {
  std::vector<settings::CueSoundChoice> sounds;
  for (const audio::CueSound& sound : audio::ListCueSounds())
    sounds.push_back(settings::CueSoundChoice{sound.name, sound.is_midi});
  return sounds;
}

void ProgramOptionsServices::PlayCueSound(const settings::CueSoundChoice& sound) {
  if (!cue_player_) cue_player_ = std::make_unique<audio::CuePlayer>();
  // A cue that does not play says nothing, as at the start of a recording.
  (void)cue_player_->PlayCue(sound.name, sound.is_midi);
}

bool IsOpenableAddress(std::string_view url) {
  std::string_view rest;
  if (url.starts_with("https://")) {
    rest = url.substr(8);
  } else if (url.starts_with("http://")) {
    rest = url.substr(7);
  } else {
    return false;
  }
  if (rest.empty()) return false;
  for (char c : url)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  return true;
}

bool ProgramOptionsServices::StartUpdateUtility() {
  std::error_code ec;
  for (const auto& folder : {platform::folders::WindowsDir(), platform::folders::ExecutableDir()}) {
    std::filesystem::path program = folder / "corvane-update";
    if (std::filesystem::is_regular_file(program, ec)) return platform::StartProcess(program.string(), {});
  }
  return platform::StartProcess("corvane-update", {});
}

void ProgramOptionsServices::OpenAddress(const std::string& url) {
  // Anything else could make the viewer run a file or read an option.
  if (!IsOpenableAddress(url)) return;
  (void)platform::OpenWithDefaultViewer(url);
}

}  // namespace app
