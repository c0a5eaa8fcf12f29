#pragma once
// StatusWindow: the small dialog at the bottom of the screen that shows what a
// recording session is doing and offers Stop & Send, Stop & Save and Cancel. Its
// dialog runs a modal loop on a thread of its own, modal to the main window; the
// UI thread changes its controls directly, and the dialog talks to the main window
// only with synchronous UM_STOP_RECORDING messages.
//
// All operations are called on the UI thread.

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/window_system.h"

namespace settings {
class AppSettings;
}

namespace app {

class StatusDialog;
struct StatusDialogShared;

class StatusWindow {
 public:
  // main_window: the owner and the receiver of UM_STOP_RECORDING. settings: read
  // for the send mode and the default stop; it outlives this object.
  StatusWindow(platform::HWND main_window, const settings::AppSettings& settings);
  // Ends the dialog (when it was started) and waits until its thread has ended,
  // handling messages sent to the UI thread meanwhile.
  ~StatusWindow();
  StatusWindow(const StatusWindow&) = delete;
  StatusWindow& operator=(const StatusWindow&) = delete;

  // Starts the dialog on first use and waits for it; sets the first line.
  void SetText(std::u16string_view text);
  // Hides the progress bar and shows the second line. Nothing before the dialog exists.
  void SetDetail(std::u16string_view text);
  void ShowProgress(std::int32_t low, std::int32_t high);
  void SetProgress(std::int32_t position);
  void EnableButtons(bool enable);

  // The dialog's window, or nullptr before it exists.
  platform::HWND dialog() const;

 private:
  void StartDialog();
  platform::HWND Control(int id) const;

  platform::HWND main_window_;
  const settings::AppSettings& settings_;
  std::thread thread_;
  std::shared_ptr<StatusDialogShared> shared_;
  std::int32_t low_ = 0;
  std::int32_t high_ = 0;
};

}  // namespace app
