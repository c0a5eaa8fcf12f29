#include "delivery/dialogs/connection_status_dialog.h"

#include <chrono>

#include "protocols/socket_layer.h"
#include "resources/notes_resources.h"
#include "toolkit/controls.h"
#include "toolkit/message_box.h"
#include "toolkit/resources.h"

namespace delivery::dialogs {

using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;

namespace {

// Sent by the run's thread: lParam a const std::u16string* living until the send returns.
constexpr UINT kStatusLineMessage = platform::WM_APP + 0x371;
constexpr UINT kErrorReportMessage = platform::WM_APP + 0x372;
// Posted by the run's thread when the run is over.
constexpr UINT kRunDoneMessage = platform::WM_APP + 0x373;

constexpr int kProgressEnd = 100;

bool StartsWith(std::u16string_view text, std::u16string_view head) { return text.substr(0, head.size()) == head; }

// How far along a status line is; the service tells no more than its lines.
int ProgressFor(std::u16string_view line, int current) {
  if (StartsWith(line, u"Connecting to ")) return 10;
  if (line == u"Logging in...") return 30;
  if (line == u"Sending...") return std::max(current, 40) + (90 - std::max(current, 40)) / 2;
  return kProgressEnd;  // a closing line
}

}  // namespace

ConnectionStatusDialog::ConnectionStatusDialog(const settings::AppSettings& settings, bool send,
                                               PendingNotesOptions options)
    : settings_(settings), send_(send), options_(std::move(options)) {
  options_.status_view = this;
}

ConnectionStatusDialog::~ConnectionStatusDialog() { Join(); }

LRESULT ConnectionStatusDialog::Run(HWND owner) { return DoModal(resources::kConnectionStatusDialog, owner); }

LRESULT ConnectionStatusDialog::OnInitDialog(HWND focus, LPARAM param, bool& handled) {
  LRESULT result = CeDialog::OnInitDialog(focus, param, handled);
  platform::SendMessage(GetDlgItem(resources::kConnectionProgress), toolkit::PBM_SETRANGE32, 0, kProgressEnd);
  HWND self = GetSafeHwnd();
  window_ = self;
  worker_ = std::thread([this, self] {
    {
      protocols::ScopedSocketLayer sockets;
      result_ = ResendPendingNotes(settings_, send_, options_);
    }
    run_over_.Set();
    platform::PostMessage(self, kRunDoneMessage, 0, 0);
  });
  handled = true;
  return result;
}

// The run holds the storage and its events come to this window: it ends the
// window itself.
void ConnectionStatusDialog::OnOK(bool& handled) { handled = true; }
void ConnectionStatusDialog::OnCancel(bool& handled) { handled = true; }

LRESULT ConnectionStatusDialog::OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) {
  switch (msg) {
    case kStatusLineMessage:
      ShowLine(*reinterpret_cast<const std::u16string*>(lparam));
      break;
    case kErrorReportMessage:
      ShowReport(*reinterpret_cast<const std::u16string*>(lparam));
      break;
    case kRunDoneMessage:
      Join();
      EndDialog(toolkit::IDOK);
      break;
    default:
      return CeDialog::OnMessage(msg, wparam, lparam, handled);
  }
  handled = true;
  return 0;
}

void ConnectionStatusDialog::OnDestroy(bool& handled) {
  // Destroyed from outside while running: the run stops sending here, and what
  // it is sending right now is handled while waiting for it to end.
  window_ = nullptr;
  if (worker_.joinable()) {
    platform::Event* events[] = {&run_over_};
    while (!run_over_.IsSet()) platform::MsgWaitForEvents(events, std::chrono::milliseconds(100), false);
  }
  Join();
  CeDialog::OnDestroy(handled);
}

void ConnectionStatusDialog::SetStatusLine(const std::u16string& text) {
  if (HWND self = window_.load()) platform::SendMessage(self, kStatusLineMessage, 0, reinterpret_cast<LPARAM>(&text));
}

void ConnectionStatusDialog::ShowErrorReport(const std::u16string& text) {
  if (HWND self = window_.load()) platform::SendMessage(self, kErrorReportMessage, 0, reinterpret_cast<LPARAM>(&text));
}

void ConnectionStatusDialog::ShowLine(const std::u16string& text) {
  lines_.push_back(text);
  SetDlgItemTextW(resources::kConnectionStatusText, text);
  progress_ = ProgressFor(text, progress_);
  platform::SendMessage(GetDlgItem(resources::kConnectionProgress), toolkit::PBM_SETPOS,
                        static_cast<WPARAM>(progress_), 0);
}

void ConnectionStatusDialog::ShowReport(const std::u16string& text) {
  reports_.push_back(text);
  HWND report = GetDlgItem(resources::kConnectionReportText);
  platform::SetWindowText(report, text);
  platform::ShowWindow(report, platform::SW_SHOW);
}

void ConnectionStatusDialog::Join() {
  if (worker_.joinable()) worker_.join();
}

ConnectionRun RunConnectionStatus(HWND owner, const settings::AppSettings& settings, bool send,
                                  const PendingNotesOptions& options) {
  ConnectionRun run;
  {
    ConnectionStatusDialog dialog(settings, send, options);
    run.shown = dialog.Run(owner) != -1;
    run.result = dialog.result();
    run.lines = dialog.lines();
    run.reports = dialog.reports();
  }
  if (run.reports.empty()) return run;
  // The window closed with the run; the reports are what the user needs to mend it.
  std::u16string text;
  for (const std::u16string& report : run.reports) {
    if (!text.empty()) text += u"\n\n";
    text += report;
  }
  (void)toolkit::MessageBoxW(owner, text, toolkit::LoadStringW(resources::kConnectionErrorsTitleString),
                             toolkit::MB_OK | toolkit::MB_ICONERROR);
  return run;
}

}  // namespace delivery::dialogs
