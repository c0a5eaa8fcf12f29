#include "delivery/application_events.h"

#include "platform/text.h"

namespace delivery {

void ApplicationEvents::OnMailEvent(MailEvent& event) {
  switch (event.type) {
    case MailEventType::kProgress:
      OnProgress(event);
      break;
    case MailEventType::kError:
      OnError(event.error);
      break;
    case MailEventType::kCredentials:
      event.credentials.cancel = true;  // never prompt during a delivery
      break;
  }
}

void ApplicationEvents::OnProgress(const MailEvent& event) {
  base::WriteLogLine(log_, "\t OnProgressMailServiceEvent, code " + std::to_string(event.code));
  if (event.code == kProgressLoggedIn) logged_in_ = true;
  if (event.code == kProgressRunDone) run_done_ = true;
  if (status_view_) {
    switch (event.code) {
      case kProgressConnecting:
        status_view_->SetStatusLine(u"Connecting to " + platform::Latin1ToUtf16(smtp_host_));
        break;
      case kProgressConnected:
        status_view_->SetStatusLine(u"Logging in...");
        break;
      case kProgressSending:
        status_view_->SetStatusLine(u"Sending...");
        break;
      case kProgressRunDone:
        test_succeeded_ = logged_in_;
        status_view_->SetStatusLine(!logged_in_ ? u"There were connection errors"
                                    : test_mode_ ? u"Connection test successfully finished"
                                                 : u"Notes sending successfully finished");
        break;
      default:
        break;
    }
    return;
  }
  if (!ui_) return;
  if (event.code == kProgressRunDone) ui_->PostSessionDone();
  if (event.code == kProgressSending)
    ui_->ShowSendProgress(event.params[0], event.params[1], event.params[2], event.params[3]);
}

void ApplicationEvents::OnError(const ErrorReport& report) {
  if (status_view_) {
    status_view_->ShowErrorReport(platform::Latin1ToUtf16(FormatErrorReport(report)));
    return;
  }
  if (report.critical && ui_) ui_->ShowConnectionError(kConnectionErrorTitle, kConnectionErrorText);
}

}  // namespace delivery
