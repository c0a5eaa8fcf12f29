#pragma once
// The connection-status window ("Connection Status") of a resend and of the
// account test: a status line and a progress bar that follow the mail
// service's run, and the error reports of the run. The run goes on a worker
// thread while the window is open; the window closes by itself when the run
// is done, and cannot be closed before (the run holds the storage).

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "delivery/application_events.h"
#include "delivery/pending_notes.h"
#include "settings/app_settings.h"
#include "toolkit/ce_dialog.h"

namespace delivery::dialogs {

class ConnectionStatusDialog : public toolkit::CeDialog, public ConnectionStatusView {
 public:
  // send: a resend; false: the account test. `settings` outlives the dialog;
  // options.status_view is replaced by the dialog.
  ConnectionStatusDialog(const settings::AppSettings& settings, bool send, PendingNotesOptions options = {});
  ~ConnectionStatusDialog() override;

  // Runs the window modally, owned by `owner`, until the run is done; -1 when
  // the window could not be made (nothing ran then).
  platform::LRESULT Run(platform::HWND owner);

  const ResendResult& result() const { return result_; }
  // What the window showed, in order.
  const std::vector<std::u16string>& lines() const { return lines_; }
  const std::vector<std::u16string>& reports() const { return reports_; }

  // ConnectionStatusView, called on the run's thread: handed to the window.
  void SetStatusLine(const std::u16string& text) override;
  void ShowErrorReport(const std::u16string& text) override;

 protected:
  platform::LRESULT OnInitDialog(platform::HWND focus, platform::LPARAM param, bool& handled) override;
  void OnOK(bool& handled) override;
  void OnCancel(bool& handled) override;
  platform::LRESULT OnMessage(platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam,
                              bool& handled) override;
  void OnDestroy(bool& handled) override;

 private:
  void ShowLine(const std::u16string& text);
  void ShowReport(const std::u16string& text);
  void Join();

  const settings::AppSettings& settings_;
  bool send_;
  PendingNotesOptions options_;
  std::thread worker_;
  std::atomic<platform::HWND> window_{nullptr};  // what the run's thread sends to; null once it goes
  platform::Event run_over_{true, false};
  ResendResult result_;
  std::vector<std::u16string> lines_;
  std::vector<std::u16string> reports_;
  int progress_ = 0;
};

// What a run in the connection-status window came to.
struct ConnectionRun {
  bool shown = false;  // the window could be made and the run took place
  ResendResult result;
  std::vector<std::u16string> lines;
  std::vector<std::u16string> reports;
};

// Runs the window, then, when the run reported errors, shows them in a box
// (the window is gone by then).
ConnectionRun RunConnectionStatus(platform::HWND owner, const settings::AppSettings& settings, bool send,
                                  const PendingNotesOptions& options = {});

}  // namespace delivery::dialogs
