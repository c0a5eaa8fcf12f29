#include "app/main_window.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "app/application.h"
#include "app/desktop_presence.h"
#include "app/first_run_help.h"
#include "app/hotkey_binding.h"
#include "app/status_window.h"
#include "base/activity_log.h"
#include "audio/cue_player.h"
#include "audio/recorder.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/text.h"
#include "resources/options_resources.h"
#include "settings/app_settings.h"
#include "settings/options/options_screen.h"
#include "toolkit/dialog_manager.h"
#include "toolkit/display.h"
#include "toolkit/menu_bar.h"
#include "toolkit/message_box.h"
#include "toolkit/resources.h"

namespace app {

using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;

namespace {

constexpr UINT kClassStyle = platform::CS_HREDRAW | platform::CS_VREDRAW;
constexpr std::uintptr_t kIconResource = 101;

// Commands handed to the options screen (its menu).
bool IsOptionsScreenCommand(UINT id) {
  return id == resources::kAboutCommand || (id >= resources::kFirstScreenCommand && id <= resources::kLastScreenCommand);
}

}  // namespace

MainWindow::MainWindow(settings::AppSettings& settings, bool interactive, std::u16string command_line)
    : settings_(settings), interactive_(interactive), command_line_(std::move(command_line)) {}

MainWindow::~MainWindow() {
  presence_.reset();
  if (IsWindow()) DestroyWindow();
  if (options_screen_) options_screen_->set_menu_bar(nullptr);
  menu_bar_.reset();
  options_screen_.reset();
}

bool MainWindow::CreateMainWindow(std::u16string_view title) {
  if (!RegisterClassW(kMainWindowClass, kClassStyle, 0, 0, kIconResource, kIconResource, 0, u"")) return false;
  platform::DWORD style = interactive_ ? platform::WS_VISIBLE : 0;
  HWND hwnd = Create(ClassName(kMainWindowClass), title, style, platform::CW_USEDEFAULT, platform::CW_USEDEFAULT,
                     platform::CW_USEDEFAULT, platform::CW_USEDEFAULT, nullptr, 0);
  if (!hwnd) return false;
  if (interactive_) {
    // The screen of the handheld the layout is made for; the menu bar is inside
    // the window, along its bottom, and the options screen takes the rest.
    MoveWindow(0, 0, platform::kDefaultScreenWidth, platform::kDefaultScreenHeight);
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
  presence_ = std::make_unique<DesktopPresence>(current_message().hwnd, interactive_);
  RefreshPendingCount();
  if (interactive_) {
    HWND hwnd = current_message().hwnd;
    options_screen_ = std::make_unique<settings::OptionsScreen>(settings_, options_services_);
    options_screen_->CreateScreen(hwnd);
    menu_bar_ = std::make_unique<toolkit::CMenuBar>();
    (void)menu_bar_->Create(hwnd, resources::kMainMenuBar);
    options_screen_->set_menu_bar(menu_bar_.get());
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
    // A dialog of the options screen is open: it decides first.
    if (options_screen_ && options_screen_->busy()) return 0;
    EndOptions(id == 1);
    return 0;
  }
  if (IsOptionsScreenCommand(id)) {
    handled = true;
    if (options_screen_ && options_screen_->IsWindow() && !saved_)
      platform::SendMessage(*options_screen_, platform::WM_COMMAND, wparam, 0);
  }
  return 0;
}

void MainWindow::EndOptions(bool save) {
  if (DeliveryRunning()) return;
  if (save) {
    if (saved_) return;
    saved_ = true;
    if (options_screen_ && options_screen_->IsWindow()) options_screen_->Apply();
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

void MainWindow::OnSize(UINT, int width, int height, bool& handled) {
  handled = true;
  int bar_height = menu_bar_ && menu_bar_->GetWindow() ? toolkit::Scale(toolkit::kMenuBarHeight) : 0;
  if (bar_height) platform::MoveWindow(menu_bar_->GetWindow(), 0, height - bar_height, width, bar_height, true);
  if (options_screen_ && options_screen_->IsWindow())
    options_screen_->MoveWindow(0, 0, width, std::max(0, height - bar_height));
}

bool MainWindow::IsHotkeyButton(HWND hwnd) const { return options_screen_ && options_screen_->IsHotkeyButton(hwnd); }

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
  } else if (options_screen_ && platform::GetParent(focus) == options_screen_->GetSafeHwnd()) {
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
  if (presence_ && presence_->HandleMessage(msg, wparam, lparam)) {
    handled = true;
    return 0;
  }
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
