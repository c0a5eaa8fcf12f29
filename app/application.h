#pragma once
// The main program: entry, single instance, initialisation, message loop and
// clean-up. One Application record exists per process.

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "app/command_line.h"
#include "platform/window_system.h"

namespace settings {
class AppSettings;
class OptionsServices;
}

namespace app {

class MainWindow;

struct Application {
  double time_zone_bias = 0;  // in days; used by date conversions
  bool interactive = true;
  std::unique_ptr<MainWindow> main_window;
  // What the options screen asks of the program (interactive only); outlives the window.
  std::unique_ptr<settings::OptionsServices> options_services;
  std::unique_ptr<settings::AppSettings> settings;
  std::uint32_t platform_kind = 0;
  std::u16string command_line;
  std::u16string profile;
  // The lock that serialises activity log lines lives with the log (ActivityLogLock).
};

// The record of this process. Exists for the life of the process.
Application& TheApplication();

// The main window's handle once it exists, for threads that send it UM_INVOKE.
platform::HWND MainWindowHandle();
void SetMainWindowHandle(platform::HWND hwnd);

// Runs the program with its whole command line and returns the exit code: the
// quit message's wParam, or 0 when start-up ends early (another instance took the
// request, or no window could be made).
int RunProgram(const std::u16string& command_line);

// The end of the program: returns exit_code once every stop thread that had to
// be given up on has finished. One still stuck in a device call after a short
// wait is logged (in install_dir's activity log) and the process ends at once
// with exit_code, instead of waiting for the thread at exit for ever.
int FinishProgram(int exit_code, const std::filesystem::path& install_dir);

// The time-zone bias in days: (bias + daylight bias while in force) / 1440.
double ComputeTimeZoneBias();

// 2 for major version 3 with build above 11000, 3 for major version 4, 4 for
// major version 5, else 0; from the running kernel's version.
std::uint32_t ComputePlatformKind(int major, int build);

}  // namespace app
