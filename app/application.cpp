#include "app/application.h"

#include <sys/utsname.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <optional>
#include <thread>

#include "app/first_run_help.h"
#include "audio/abandoned_threads.h"
#include "base/activity_log.h"
#include "app/hotkey_binding.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/options_services_impl.h"
#include "app/signal_watch.h"
#include "platform/instance_lock.h"
#include "protocols/socket_layer.h"
#include "platform/text.h"
#include "platform/time_locale.h"
#include "resources/status_dialog.h"
#include "settings/app_settings.h"
#include "resources/account_resources.h"
#include "resources/options_resources.h"
#include "toolkit/ce_base_dialog.h"
#include "toolkit/ce_wnd.h"
#include "toolkit/controls.h"
#include "toolkit/renderer.h"

namespace app {
namespace {

constexpr std::u16string_view kWindowTitle = u"Dictalo";
// How long a start waits for another instance: to show its window, or, asked
// to quit, to go away.
constexpr auto kQuitWait = std::chrono::seconds(10);

std::atomic<platform::HWND> g_main_window{nullptr};

// How long the end of the program waits for a stop thread stuck in a device call.
constexpr auto kStuckThreadWait = std::chrono::seconds(2);

constexpr char kInstanceLockName[] = "dictalo-instance";

// Makes this process the one instance, or hands its start to the instance that
// is: at most one process holds the instance lock, and only its holder goes on.
// Two starts at the same moment thus cannot both record; the one that loses
// waits for the winner's window and hands over to it. go_on false: the start was
// handed over (or the holder never answered); end with exit code 0.
struct InstanceClaim {
  bool go_on = false;
  std::optional<platform::InstanceLock> lock;  // held until the process ends
};

InstanceClaim BecomeTheInstance(bool interactive) {
  // Without a runtime folder no lock and no window of another process can be
  // found: this process is on its own.
  if (platform::InstanceLockPath(kInstanceLockName).empty()) return {true, std::nullopt};
  auto deadline = std::chrono::steady_clock::now() + kQuitWait;
  bool asked_to_quit = false;
  for (;;) {
    if (auto lock = platform::InstanceLock::TryTake(kInstanceLockName)) return {true, std::move(lock)};
    platform::HWND other = asked_to_quit ? nullptr : platform::FindWindow(toolkit::CeWnd::ClassName(kMainWindowClass));
    if (other) {
      if (!interactive) {
        platform::SendMessage(other, UM_HOTKEY_TOGGLE, 0, 0);
        return {};
      }
      if (platform::SendMessage(other, UM_QUERY_RECORD_ONLY, 0, 0) == 0) {
        platform::SetForegroundWindow(other);
        return {};
      }
      // It was record-only and is quitting; its lock goes with it.
      asked_to_quit = true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool InitInstance(Application& a) {
  resources::RegisterProgramResources();
  toolkit::InitRenderer();
  if (a.interactive) {
    utsname name{};
    int major = 0, minor = 0, build = 0;
    if (uname(&name) == 0) std::sscanf(name.release, "%d.%d.%d", &major, &minor, &build);
    a.platform_kind = ComputePlatformKind(major, build);
  }
  SeedShellKeys();
  a.settings = std::make_unique<settings::AppSettings>();
  a.settings->Load(a.profile);
  a.time_zone_bias = ComputeTimeZoneBias();

  a.main_window = std::make_unique<MainWindow>(*a.settings, a.interactive, a.command_line);
  if (a.interactive) {
    a.options_services = std::make_unique<ProgramOptionsServices>();
    a.main_window->set_options_services(a.options_services.get());
  }
  if (!a.main_window->CreateMainWindow(kWindowTitle)) return false;
  if (a.interactive) RunFirstRunHelp();
  return true;
}

// Offers a message to the modeless dialogs (the options screen's keyboard
// interface) and dispatches it unless one took it. A hotkey button hears its
// keys itself, so the dialog manager does not turn them into navigation; only
// Tab and Shift move the focus off it as anywhere else.
void DispatchOne(const Application& a, platform::MSG& msg) {
  bool key = msg.message == platform::WM_KEYDOWN || msg.message == platform::WM_KEYUP ||
             msg.message == platform::WM_CHAR;
  bool navigation = key && (msg.wParam == toolkit::VK_TAB || msg.wParam == toolkit::VK_SHIFT);
  bool hotkey_button = a.main_window && a.main_window->IsHotkeyButton(msg.hwnd) && !navigation;
  if (!hotkey_button && toolkit::CeBaseDialog::IsDialogMsg(&msg)) return;
  platform::TranslateMessage(msg);
  platform::DispatchMessage(msg);
}

// Gets and dispatches messages until the quit message; returns its wParam.
int MessageLoop(const Application& a) {
  platform::MSG msg;
  for (;;) {
    if (platform::GetMessage(&msg) == 0) return static_cast<int>(msg.wParam);
    DispatchOne(a, msg);
    while (platform::PeekMessage(&msg, nullptr, 0, 0, platform::PM_REMOVE)) {
      if (msg.message == platform::WM_QUIT) return static_cast<int>(msg.wParam);
      DispatchOne(a, msg);
    }
  }
}

void CleanUp(Application& a) {
  a.main_window.reset();
  a.options_services.reset();
  SetMainWindowHandle(nullptr);
  a.settings.reset();
}

}  // namespace

Application& TheApplication() {
  static Application application;
  return application;
}

platform::HWND MainWindowHandle() { return g_main_window.load(); }
void SetMainWindowHandle(platform::HWND hwnd) { g_main_window.store(hwnd); }

double ComputeTimeZoneBias() { return platform::CurrentBiasMinutes() / 1440.0; }

std::uint32_t ComputePlatformKind(int major, int build) {
  if (major == 3 && build > 11000) return 2;
  if (major == 4) return 3;
  if (major == 5) return 4;
  return 0;
}

int RunProgram(const std::u16string& command_line) {
  Application& a = TheApplication();
  CommandLine line = ParseCommandLine(command_line);
  a.command_line = line.text;
  a.interactive = line.interactive;
  a.profile = line.profile;

  InstanceClaim instance = BecomeTheInstance(a.interactive);
  if (!instance.go_on) return 0;
  // Sending notes, resending them and the account test all need sockets.
  protocols::ScopedSocketLayer sockets;

  // A termination signal closes the main window, which ends the loop cleanly.
  SignalWatch signals([] {
    if (auto hwnd = MainWindowHandle()) platform::PostMessage(hwnd, platform::WM_CLOSE, 0, 0);
  });

  if (!InitInstance(a)) {
    CleanUp(a);
    return 0;
  }
  int exit_code = MessageLoop(a);
  std::filesystem::path install_dir = platform::Utf16ToUtf8(a.settings->install_dir);
  CleanUp(a);
  return FinishProgram(exit_code, install_dir);
}

int FinishProgram(int exit_code, const std::filesystem::path& install_dir) {
  if (audio::WaitForAbandonedThreads(kStuckThreadWait)) return exit_code;
  // A device call that never returns would hold the process at exit for good
  // (the thread is joined there); say so and end without it.
  {
    auto log = base::OpenActivityLog(install_dir);
    base::WriteLogLine(log.get(), "A stop thread is still stuck in the capture device; exiting with code " +
                                      std::to_string(exit_code) + " without waiting for it");
  }
  std::fflush(nullptr);
  std::_Exit(exit_code);
}

}  // namespace app
