#include "app/note_delivery.h"

#include <utility>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/status_window.h"
#include "base/activity_log.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "toolkit/message_box.h"

namespace app {

bool KeepNotesForLater::DeliverNote(const std::filesystem::path& note, bool send_now, platform::HWND main_window) {
  auto log = base::OpenActivityLog(platform::Utf16ToUtf8(settings_.install_dir));
  auto target = delivery::KeepNoteCopy(note, platform::Utf16ToUtf8(settings_.note_file_path), settings_.ExpandSubject());
  base::WriteLogLine(log.get(), target.empty() ? "Note could not be kept; it stays at " + note.string()
                                               : "Sending is not available in this mode; the note is kept as " +
                                                     target.string());
  if (send_now) platform::PostMessage(main_window, UM_SESSION_DONE, 0, 0);
  return !target.empty();
}

MailNoteDelivery::MailNoteDelivery(const settings::AppSettings& settings, MainWindow& window)
    : settings_(settings), window_(window), job_(settings, this, this, &connector_), keep_(settings) {}

MailNoteDelivery::~MailNoteDelivery() { job_.ReleaseMailService(); }

void MailNoteDelivery::SetRecorderOutcome(bool closed, std::uint32_t result) {
  job_.SetRecorderOutcome(closed, static_cast<std::int32_t>(result));
}

bool MailNoteDelivery::DeliverNote(const std::filesystem::path& note, bool send_now, platform::HWND main_window) {
  main_window_ = main_window;
  if (settings_.notes_send_mode != settings::SendMode::MailServer &&
      settings_.notes_send_mode != settings::SendMode::WebService &&
      settings_.notes_send_mode != settings::SendMode::ActiveSync)
    return keep_.DeliverNote(note, send_now, main_window);
  return job_.DeliverNote(note, send_now).note_safe;
}

void MailNoteDelivery::PostSessionDone() { platform::PostMessage(main_window_, UM_SESSION_DONE, 0, 0); }

void MailNoteDelivery::ShowSendProgress(std::uint32_t count, std::uint32_t index, std::uint32_t bytes_before,
                                        std::uint32_t total) {
  StatusWindow* status = window_.status_window();
  if (!status) return;
  status->SetText(u"Sending note " + platform::Utf8ToUtf16(std::to_string(index)) + u" of " +
                  platform::Utf8ToUtf16(std::to_string(count)) + u"...");
  status->ShowProgress(0, static_cast<std::int32_t>(total));
  status->SetProgress(static_cast<std::int32_t>(bytes_before));
}

void MailNoteDelivery::ShowStatusText(std::u16string_view text) {
  if (StatusWindow* status = window_.status_window()) status->SetText(text);
}

std::optional<std::u16string> MailNoteDelivery::TakeFailure() {
  std::lock_guard lock(failure_mu_);
  return std::exchange(failure_, std::nullopt);
}

void MailNoteDelivery::ShowConnectionError(std::u16string_view title, std::u16string_view text) {
  {
    std::lock_guard lock(failure_mu_);
    failure_ = std::u16string(text);
  }
  if (StatusWindow* status = window_.status_window(); status && status->dialog())
    platform::ShowWindow(status->dialog(), platform::SW_HIDE);
  toolkit::MessageBoxW(main_window_, text, title, toolkit::MB_OK | toolkit::MB_ICONERROR);
}

void MailNoteDelivery::ShowNotice(std::u16string_view title, std::u16string_view text) {
  toolkit::MessageBoxW(main_window_, text, title, toolkit::MB_OK | toolkit::MB_ICONINFORMATION);
}

}  // namespace app
