#pragma once
// The application's side of the mail service's events: what the user sees of
// a run. Runs on the UI thread (the sink hands every event over to it).
//
// With a connection-status window open (account test, resend) its status
// line follows the run and error reports are shown in it. Without one (a
// delivery): run done posts the session-done message, sending updates the
// recording status window, and a critical error closes that window and says
// "Please check your internet connection and mail server settings." in a box
// titled "Connection Error". Credential requests are always cancelled: a
// delivery never prompts.

#include <cstdint>
#include <string>

#include "base/activity_log.h"
#include "delivery/mail_events.h"

namespace delivery {

inline constexpr char16_t kConnectionErrorTitle[] = u"Connection Error";
inline constexpr char16_t kConnectionErrorText[] = u"Please check your internet connection and mail server settings.";

// The connection-status window of the account test and the resend.
class ConnectionStatusView {
 public:
  virtual ~ConnectionStatusView() = default;
  virtual void SetStatusLine(const std::u16string& text) = 0;
  virtual void ShowErrorReport(const std::u16string& text) = 0;
};

// What a delivery shows; the application implements it on its windows.
class DeliveryUi {
 public:
  virtual ~DeliveryUi() = default;
  // Posts the session-done message to the main window.
  virtual void PostSessionDone() = 0;
  // The recording status window's progress while sending.
  virtual void ShowSendProgress(std::uint32_t count, std::uint32_t index, std::uint32_t bytes_before,
                                std::uint32_t total) = 0;
  // The recording status window's text ("Sending...").
  virtual void ShowStatusText(std::u16string_view) {}
  // Closes the recording status window and shows the connection error box.
  virtual void ShowConnectionError(std::u16string_view title, std::u16string_view text) = 0;
};

class ApplicationEvents : public MailEventHandler {
 public:
  // `log` may be null. `smtp_host` names the server in "Connecting to ".
  ApplicationEvents(base::ActivityLog* log, std::string smtp_host) : log_(log), smtp_host_(std::move(smtp_host)) {}

  // Either may be null; both must outlive the events they see.
  void SetStatusView(ConnectionStatusView* view) { status_view_ = view; }
  void SetDeliveryUi(DeliveryUi* ui) { ui_ = ui; }
  void SetTestMode(bool on) { test_mode_ = on; }
  void SetLog(base::ActivityLog* log) { log_ = log; }
  void SetSmtpHost(std::string host) { smtp_host_ = std::move(host); }

  void OnMailEvent(MailEvent& event) override;

  // After run done with a status window: whether a login succeeded.
  bool test_succeeded() const { return test_succeeded_; }
  bool run_done() const { return run_done_; }
  bool logged_in() const { return logged_in_; }

 private:
  void OnProgress(const MailEvent& event);
  void OnError(const ErrorReport& report);

  base::ActivityLog* log_;
  std::string smtp_host_;
  ConnectionStatusView* status_view_ = nullptr;
  DeliveryUi* ui_ = nullptr;
  bool test_mode_ = false;
  bool logged_in_ = false;
  bool run_done_ = false;
  bool test_succeeded_ = false;
};

}  // namespace delivery
