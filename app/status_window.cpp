#include "app/status_window.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

#include "app/messages.h"
#include "resources/desktop_resources.h"
#include "settings/app_settings.h"
#include "toolkit/ce_dialog.h"
#include "toolkit/controls.h"
#include "toolkit/display.h"
#include "toolkit/menu_bar.h"

namespace app {

using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;

namespace {

constexpr UINT kStatusDialogId = 508;
constexpr UINT kStatusMenuBarId = 309;
constexpr int kFirstLine = 10120;
constexpr int kSecondLine = 10121;
constexpr int kSendButton = 10122;
constexpr int kSaveButton = 10123;
constexpr int kCancelButton = 10124;
constexpr int kProgressBar = 10126;
constexpr UINT kSendKey = 50600;
constexpr UINT kSaveKey = 50601;
constexpr UINT kIgnoredKey = 0x18;
constexpr int kDialogHeight = 162;  // at 96 dpi
constexpr int kHighResolutionDpi = 192;  // double-density screens take the large bitmaps
constexpr auto kPollInterval = std::chrono::milliseconds(50);

// The buttons' own class procedure, taken when the first dialog subclasses them.
std::atomic<platform::WNDPROC> g_button_proc{nullptr};

// Every key pressed in the status window stops the recording as the hotkey
// does, Escape and Enter included: left to the dialog manager, Escape would
// close the dialog, and closing it cancels the recording, so one stray key
// would throw the user's speech away. The buttons ask for every key, and the
// keys they have no use for go on to the dialog.
LRESULT KeyHungryButtonProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  LRESULT result = platform::CallWindowProc(g_button_proc.load(), hwnd, msg, wparam, lparam);
  if (msg == toolkit::WM_GETDLGCODE) result |= toolkit::DLGC_WANTALLKEYS;
  return result;
}

void MakeKeyHungry(HWND button) {
  if (!button) return;
  auto previous = reinterpret_cast<platform::WNDPROC>(platform::GetWindowLongPtr(button, platform::GWLP_WNDPROC));
  if (previous == KeyHungryButtonProc) return;
  platform::WNDPROC expected = nullptr;
  g_button_proc.compare_exchange_strong(expected, previous);
  platform::SetWindowLongPtr(button, platform::GWLP_WNDPROC, reinterpret_cast<std::intptr_t>(&KeyHungryButtonProc));
}

}  // namespace

struct StatusDialogShared {
  std::atomic<HWND> dialog{nullptr};  // set once the dialog and its controls exist
  std::mutex mutex;                   // guards object
  class StatusDialog* object = nullptr;
  platform::Event ended{true, false};
};

// Lives on the dialog thread; the UI thread reaches it only through its window,
// and through EndDialog under the shared lock.
class StatusDialog : public toolkit::CeDialog {
 public:
  StatusDialog(HWND main_window, const settings::AppSettings& settings, StatusDialogShared& shared)
      : main_window_(main_window), settings_(settings), shared_(shared) {}

 protected:
  LRESULT OnInitDialog(HWND focus, LPARAM param, bool& handled) override {
    LRESULT result = toolkit::CeDialog::OnInitDialog(focus, param, handled);
    if (settings_.notes_send_mode == settings::SendMode::SaveAsFile)
      platform::EnableWindow(GetDlgItem(kSendButton), false);
    for (int id : {kSendButton, kSaveButton, kCancelButton}) MakeKeyHungry(GetDlgItem(id));
    SetButtonPictures();
    // Across the full width at the bottom of the work area; the full screen when
    // the work area cannot be read.
    platform::RECT work{0, 0, platform::kDefaultScreenWidth, platform::kDefaultScreenHeight};
    if (toolkit::GetWorkArea(&work)) {
      int height = toolkit::Scale(kDialogHeight);
      MoveWindow(work.left, work.bottom - height, work.right - work.left, height);
    } else {
      MoveWindow(work.left, work.top, work.right - work.left, work.bottom - work.top);
    }
    platform::ShowWindow(GetDlgItem(kProgressBar), platform::SW_HIDE);
    menu_bar_.Create(GetSafeHwnd(), kStatusMenuBarId);
    shared_.dialog = GetSafeHwnd();
    handled = true;
    return result;
  }

  LRESULT OnCommand(WPARAM wparam, LPARAM, bool& handled) override {
    if (platform::HIWORD(wparam) != 0) return 0;  // only plain clicks count
    switch (platform::LOWORD(wparam)) {
      case kSendButton:
      case kSendKey:
        Stop(kStopAndSend);
        break;
      case kSaveButton:
      case kSaveKey:
        Stop(kStopAndSave);
        break;
      case kCancelButton:
        Stop(kStopCancel);
        break;
      default:
        return 0;
    }
    handled = true;
    return 0;
  }

  // The title bar's OK stops the way the hotkey does.
  void OnOK(bool& handled) override {
    Stop(DefaultStop());
    handled = true;
  }

  void OnKeyDown(UINT key, UINT, UINT, bool& handled) override {
    if (key == kIgnoredKey) return;
    Stop(DefaultStop());
    handled = true;
  }

 private:
  // Each button carries its picture by name; the renderer shows the disabled
  // one ("<name>-disabled") by itself while a button is disabled, so enabling
  // and disabling the buttons later needs nothing here.
  void SetButtonPictures() {
    const bool high = toolkit::GetDisplayMetrics().dpi >= kHighResolutionDpi;
    const struct {
      int button;
      UINT normal, high_resolution;
    } kPictures[] = {
        {kSendButton, resources::kStopSendBitmap, resources::kStopSendBitmapHigh},
        {kSaveButton, resources::kStopSaveBitmap, resources::kStopSaveBitmapHigh},
        {kCancelButton, resources::kCancelBitmap, resources::kCancelBitmapHigh},
    };
    for (const auto& p : kPictures) {
      std::u16string name(resources::BitmapIconName(high ? p.high_resolution : p.normal));
      platform::SendMessage(GetDlgItem(p.button), toolkit::BM_SETIMAGE, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
  }

  WPARAM DefaultStop() const { return settings_.send_immediately ? kStopAndSend : kStopAndSave; }
  void Stop(WPARAM mode) { platform::SendMessage(main_window_, UM_STOP_RECORDING, mode, 0); }

  HWND main_window_;
  const settings::AppSettings& settings_;
  StatusDialogShared& shared_;
  toolkit::CMenuBar menu_bar_;
};

StatusWindow::StatusWindow(HWND main_window, const settings::AppSettings& settings)
    : main_window_(main_window), settings_(settings), shared_(std::make_shared<StatusDialogShared>()) {}

StatusWindow::~StatusWindow() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(shared_->mutex);
    if (shared_->object) shared_->object->EndDialog(0);
  }
  // The dialog thread may be sending to the UI thread right now: keep handling
  // those sends until it has ended.
  platform::Event* events[] = {&shared_->ended};
  while (!shared_->ended.IsSet()) platform::MsgWaitForEvents(events, std::chrono::milliseconds(100), true);
  thread_.join();
}

void StatusWindow::StartDialog() {
  auto shared = shared_;
  HWND main_window = main_window_;
  const settings::AppSettings& settings = settings_;
  thread_ = std::thread([shared, main_window, &settings] {
    {
      StatusDialog dialog(main_window, settings, *shared);
      {
        std::lock_guard<std::mutex> hold(shared->mutex);
        shared->object = &dialog;
      }
      dialog.DoModal(kStatusDialogId, main_window);
      std::lock_guard<std::mutex> hold(shared->mutex);
      shared->object = nullptr;
      shared->dialog = nullptr;
    }
    shared->ended.Set();
  });
  // Wait until the dialog and its first line exist (or the thread gave up),
  // handling what the dialog thread sends to this one meanwhile.
  platform::Event* events[] = {&shared_->ended};
  for (;;) {
    HWND hwnd = shared_->dialog.load();
    if (hwnd && platform::GetDlgItem(hwnd, kFirstLine)) return;
    if (shared_->ended.IsSet()) return;
    platform::MsgWaitForEvents(events, kPollInterval, false);
  }
}

HWND StatusWindow::dialog() const { return shared_->dialog.load(); }

HWND StatusWindow::Control(int id) const {
  HWND hwnd = dialog();
  return hwnd ? platform::GetDlgItem(hwnd, id) : nullptr;
}

void StatusWindow::SetText(std::u16string_view text) {
  if (!thread_.joinable()) StartDialog();
  if (HWND line = Control(kFirstLine)) platform::SetWindowText(line, text);
}

void StatusWindow::SetDetail(std::u16string_view text) {
  if (!dialog()) return;
  platform::ShowWindow(Control(kProgressBar), platform::SW_HIDE);
  platform::SetWindowText(Control(kSecondLine), text);
  platform::ShowWindow(Control(kSecondLine), platform::SW_SHOW);
}

void StatusWindow::ShowProgress(std::int32_t low, std::int32_t high) {
  low_ = low;
  high_ = high;
  if (!dialog()) return;
  platform::ShowWindow(Control(kSecondLine), platform::SW_HIDE);
  platform::SendMessage(Control(kProgressBar), toolkit::PBM_SETRANGE32, static_cast<WPARAM>(low), high);
  platform::SendMessage(Control(kProgressBar), toolkit::PBM_SETPOS, static_cast<WPARAM>(low), 0);
  platform::ShowWindow(Control(kProgressBar), platform::SW_SHOW);
}

void StatusWindow::SetProgress(std::int32_t position) {
  if (HWND bar = Control(kProgressBar)) platform::SendMessage(bar, toolkit::PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void StatusWindow::EnableButtons(bool enable) {
  for (int id : {kSendButton, kSaveButton, kCancelButton})
    if (HWND button = Control(id)) platform::EnableWindow(button, enable);
}

}  // namespace app
