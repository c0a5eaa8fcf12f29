#pragma once
// What the recording session hands a finished note to in the sending modes.

#include <filesystem>

#include "platform/window_system.h"

namespace settings {
class AppSettings;
}

namespace app {

class NoteDelivery {
 public:
  virtual ~NoteDelivery() = default;
  // Takes the note at `note` (the session deletes that file afterwards). With
  // send_now the delivery posts UM_SESSION_DONE to main_window when it is done.
  virtual void DeliverNote(const std::filesystem::path& note, bool send_now, platform::HWND main_window) = 0;
  virtual bool IsBusy() const = 0;
  // Waits while busy, then lets go of the mail service and storage.
  virtual void ReleaseMailService() = 0;
};

// Until notes can be sent: keeps each note handed over in the notes folder, under
// the expanded subject, and logs where it went, so that nothing is lost.
class KeepNotesForLater : public NoteDelivery {
 public:
  explicit KeepNotesForLater(const settings::AppSettings& settings) : settings_(settings) {}
  void DeliverNote(const std::filesystem::path& note, bool send_now, platform::HWND main_window) override;
  bool IsBusy() const override { return false; }
  void ReleaseMailService() override {}

 private:
  const settings::AppSettings& settings_;
};

// The subject as a file name: each of \ / : * ? " < > | becomes a full stop.
std::u16string NoteFileNameFromSubject(std::u16string_view subject);

// folder/name + extension, or folder/name.N + extension for the first free N.
std::filesystem::path FirstFreeName(const std::filesystem::path& folder, const std::u16string& name,
                                    const std::string& extension);

}  // namespace app
