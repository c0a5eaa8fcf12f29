#pragma once
// What the recording session hands a finished note to in the sending modes.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "delivery/application_events.h"
#include "delivery/delivery_job.h"
#include "delivery/kept_notes.h"
#include "platform/window_system.h"

namespace settings {
class AppSettings;
}

namespace app {

class MainWindow;

class NoteDelivery {
 public:
  virtual ~NoteDelivery() = default;
  // What the recorder said about closing the note file, for the delivery's log.
  virtual void SetRecorderOutcome(bool /*closed*/, std::uint32_t /*result*/) {}
  // Takes the note at `note`. With send_now the delivery posts UM_SESSION_DONE
  // to main_window when it is done. True when the note is safe elsewhere and
  // the caller may delete its file; false: the file must stay.
  virtual bool DeliverNote(const std::filesystem::path& note, bool send_now, platform::HWND main_window) = 0;
  virtual bool IsBusy() const = 0;
  // Waits while busy, then lets go of the mail service and storage.
  virtual void ReleaseMailService() = 0;
  // The error report of the last note that could not be sent, once; nothing
  // when none failed since the last call.
  virtual std::optional<std::u16string> TakeFailure() { return std::nullopt; }
};

// Keeps each note handed over in the notes folder, under the expanded
// subject, and logs where it went; for the modes that have no delivery here.
class KeepNotesForLater : public NoteDelivery {
 public:
  explicit KeepNotesForLater(const settings::AppSettings& settings) : settings_(settings) {}
  bool DeliverNote(const std::filesystem::path& note, bool send_now, platform::HWND main_window) override;
  bool IsBusy() const override { return false; }
  void ReleaseMailService() override {}

 private:
  const settings::AppSettings& settings_;
};

// The mail server, web service and ActiveSync modes through the delivery job
// (the local Outbox and the mail service, the web upload, the ActiveSync
// store), with the network brought up through the connection manager; notes
// of any other mode are kept for later.
class MailNoteDelivery : public NoteDelivery, private delivery::DeliveryUi, private delivery::DeliveryNotices {
 public:
  // Both outlive this object.
  MailNoteDelivery(const settings::AppSettings& settings, MainWindow& window);
  ~MailNoteDelivery() override;

  void SetRecorderOutcome(bool closed, std::uint32_t result) override;
  bool DeliverNote(const std::filesystem::path& note, bool send_now, platform::HWND main_window) override;
  bool IsBusy() const override { return job_.busy(); }
  void ReleaseMailService() override { job_.ReleaseMailService(); }
  std::optional<std::u16string> TakeFailure() override;

 private:
  // The delivery's windows.
  void PostSessionDone() override;
  void ShowSendProgress(std::uint32_t count, std::uint32_t index, std::uint32_t bytes_before,
                        std::uint32_t total) override;
  void ShowStatusText(std::u16string_view text) override;
  void ShowConnectionError(std::u16string_view title, std::u16string_view text) override;
  void ShowNotice(std::u16string_view title, std::u16string_view text) override;

  const settings::AppSettings& settings_;
  MainWindow& window_;
  platform::HWND main_window_ = nullptr;
  delivery::ConnectionManagerConnector connector_;
  delivery::DeliveryJob job_;
  KeepNotesForLater keep_;
  // The delivery's threads report failures; the UI thread takes them.
  std::mutex failure_mu_;
  std::optional<std::u16string> failure_;
};

using delivery::FirstFreeName;
using delivery::NoteFileNameFromSubject;

}  // namespace app
