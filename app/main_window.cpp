#include "app/main_window.h"

#include <cstring>
#include <iterator>

#include "app/application.h"
#include "app/first_run_help.h"
#include "app/hotkey_binding.h"
#include "app/status_window.h"
#include "base/activity_log.h"
#include "audio/cue_player.h"
#include "audio/recorder.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "toolkit/dialog_manager.h"
#include "toolkit/message_box.h"
#include "toolkit/resources.h"

namespace app {

using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;

namespace {

// The menu bar's height at 96 dpi; the options screen fills the rest.
constexpr int kMenuBarHeight = 26;
constexpr UINT kClassStyle = platform::CS_HREDRAW | platform::CS_VREDRAW;
constexpr std::uintptr_t kIconResource = 101;

// Commands handed to the options screen (its menu).
bool IsOptionsScreenCommand(UINT id) { return id == 40002 || (id >= 40010 && id <= 40015); }

}  // namespace

MainWindow::MainWindow(settings::AppSettings& settings, bool interactive, std::u16string command_line)
    : settings_(settings), interactive_(interactive), command_line_(std::move(command_line)) {}

MainWindow::~MainWindow() {
  if (IsWindow()) DestroyWindow();
}

bool MainWindow::CreateMainWindow(std::u16string_view title) {
  if (!RegisterClassW(kMainWindowClass, kClassStyle, 0, 0, kIconResource, kIconResource, 0, u"")) return false;
  platform::DWORD style = interactive_ ? platform::WS_VISIBLE : 0;
  HWND hwnd = Create(ClassName(kMainWindowClass), title, style, platform::CW_USEDEFAULT, platform::CW_USEDEFAULT,
                     platform::CW_USEDEFAULT, platform::CW_USEDEFAULT, nullptr, 0);
  if (!hwnd) return false;
  if (interactive_) {
    // Full screen less the menu bar.
    MoveWindow(0, 0, platform::kDefaultScreenWidth, platform::kDefaultScreenHeight - kMenuBarHeight);
  }
  return true;
}

LRESULT MainWindow::CopyDataReply(std::u16string_view received, std::u16string_view command_line) {
  if (received.empty()) return 1;
  return command_line.find(received) != std::u16string_view::npos ? 0 : 1;
}

void MainWindow::OnCreate(platform::CREATESTRUCT*, bool& handled) {
  SetMainWindowHandle(current_message().hwnd);
  platform::SetCrossProcessMessages(current_message().hwnd,
                                    {std::begin(base::kMainWindowCrossProcessMessages),
                                     std::end(base::kMainWindowCrossProcessMessages)});
  toolkit::SetProgramMainWindow(current_message().hwnd);
  std::memset(setting_change_info_, 0, sizeof setting_change_info_);
  setting_change_info_[0] = sizeof setting_change_info_;
  if (interactive_) {
    launch_hotkey_at_start_ = settings_.launch_hotkey;
  } else {
    platform::PostMessage(current_message().hwnd, UM_START_RECORDING, 0, 0);
  }
  handled = true;
}

LRESULT MainWindow::OnCommand(WPARAM wparam, LPARAM, bool& handled) {
  UINT id = platform::LOWORD(wparam);
  if (id == 1 || id == 2) {
    handled = true;
    EndOptions(id == 1);
    return 0;
  }
  if (IsOptionsScreenCommand(id)) {
    // The options screen handles these once it exists.
    handled = true;
  }
  return 0;
}

void MainWindow::EndOptions(bool save) {
  if (DeliveryRunning()) return;
  if (save) {
    std::string unbound;
    ApplyHotkey(settings_, launch_hotkey_at_start_, (platform::folders::ExecutableDir() / "dictalo-record").string(),
                &unbound);
    settings_.Save();
    if (!unbound.empty()) ReportUnboundHotkey(unbound);
  }
  platform::PostQuitMessage(0);
}

void MainWindow::ReportUnboundHotkey(const std::string& command) {
  const std::string key = platform::Utf16ToUtf8(settings_.launch_hotkey);
  {
    auto log = base::OpenActivityLog(platform::Utf16ToUtf8(settings_.install_dir));
    base::WriteLogLine(log.get(), "The desktop did not take the key " + key + "; bind it by hand to: " + command);
  }
  toolkit::MessageBoxW(GetSafeHwnd(),
                       u"The key " + settings_.launch_hotkey +
                           u" could not be bound on this desktop. Bind it by hand in the desktop's keyboard "
                           u"settings to the command:\n" + platform::Utf8ToUtf16(command),
                       toolkit::LoadStringW(90), toolkit::MB_OK | toolkit::MB_ICONWARNING);
}

void MainWindow::OnEnable(bool enabled, bool& handled) {
  // The status dialog is modal to this window: when it closes other than through
  // its buttons, the recording it showed is cancelled.
  if (enabled) SendMessageW(UM_STOP_RECORDING, kStopCancel, 0);
  handled = true;
}

void MainWindow::OnSize(UINT, int, int, bool& handled) { handled = true; }

void MainWindow::OnSettingChange(UINT, LPARAM, bool& handled) { handled = true; }

void MainWindow::OnClose(bool& handled) {
  // Closing the window (or a termination signal, the end of the desktop session)
  // ends the program like Cancel, but a recording in progress is the user's
  // speech: it is stopped and kept as Stop & Save keeps it, without asking.
  handled = true;
  if (recording() && !stopping_) StopRecording(kStopAndSave, /*ask_about_saving=*/false);
  platform::PostQuitMessage(0);
}

void MainWindow::TrackFocus() {
  HWND focus = platform::GetFocus();
  if (!focus) return;
  if (focus == GetSafeHwnd()) {
    if (last_focused_control_ && platform::IsWindow(last_focused_control_)) platform::SetFocus(last_focused_control_);
  } else if (platform::GetParent(focus) == GetSafeHwnd()) {
    last_focused_control_ = focus;
  }
}

LRESULT MainWindow::OnCopyData(const platform::COPYDATASTRUCT* data) {
  std::u16string received;
  if (data && data->lpData) {
    received = platform::Utf16FromLeBytes({static_cast<const std::uint8_t*>(data->lpData), data->cbData});
    if (auto end = received.find(u'\0'); end != std::u16string::npos) received.resize(end);
  }
  return CopyDataReply(received, command_line_);
}

LRESULT MainWindow::OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) {
  TrackFocus();
  switch (msg) {
    case platform::WM_COPYDATA:
      handled = true;
      return OnCopyData(reinterpret_cast<const platform::COPYDATASTRUCT*>(lparam));
    case UM_QUERY_RECORD_ONLY:
      handled = true;
      if (interactive_) return 0;
      platform::PostQuitMessage(0);
      return 1;
    case UM_INVOKE: {
      handled = true;
      const auto* record = reinterpret_cast<const InvokeRecord*>(wparam);
      if (record && record->function && record->owner_thread == platform::CurrentThreadId())
        record->function(record->target, record->arg1, record->arg2);
      return 0;
    }
    case platform::WM_HELP:
      handled = true;
      OpenHelp();
      return 0;
    case UM_START_RECORDING:
      handled = true;
      OnStartRecording();
      return 0;
    case UM_STOP_RECORDING:
      handled = true;
      OnStopRecording(wparam);
      return 0;
    case UM_SESSION_DONE:
      handled = true;
      OnSessionDone();
      return 0;
    case UM_HOTKEY_TOGGLE:
      handled = true;
      OnHotkeyToggle();
      return 0;
    case UM_RECORD_PROGRESS:
      handled = true;
      OnRecordProgress(wparam, lparam);
      return 0;
    case UM_ENCODE_PROGRESS:
      handled = true;
      OnEncodeProgress(wparam, lparam);
      return 0;
    default:
      return 0;
  }
}

}  // namespace app
