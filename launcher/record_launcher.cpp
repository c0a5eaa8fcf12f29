#include "launcher/record_launcher.h"

#include <chrono>
#include <thread>

#include "base/program_messages.h"
#include "platform/argv.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/window_system.h"

namespace launcher {
namespace {

using base::kCopyDataCommandLine;
using base::kMainWindowRegisteredClass;
using base::UM_HOTKEY_TOGGLE;
using base::UM_QUERY_RECORD_ONLY;

// How long to let a record-only instance that was asked to quit go away before
// the new one starts and looks for it.
constexpr auto kQuitWait = std::chrono::seconds(5);

}  // namespace

std::vector<std::string> RecordArguments(const std::u16string& command_line) {
  std::vector<std::string> args{"-record"};
  for (auto& a : platform::SplitArguments(command_line)) args.push_back(std::move(a));
  return args;
}

LaunchAction RunLauncher(const std::u16string& command_line, const std::filesystem::path& dictalo) {
  if (platform::HWND main = platform::FindWindow(kMainWindowRegisteredClass)) {
    std::vector<std::uint8_t> text = platform::Utf16ToLeBytes(command_line);
    text.insert(text.end(), {0, 0});  // the terminator counts in the size
    platform::COPYDATASTRUCT data;
    data.dwData = kCopyDataCommandLine;
    data.cbData = static_cast<platform::DWORD>(text.size());
    data.lpData = text.data();
    if (platform::SendMessage(main, platform::WM_COPYDATA, 0, reinterpret_cast<platform::LPARAM>(&data)) != 0) {
      platform::SendMessage(main, UM_HOTKEY_TOGGLE, 0, 0);
      return LaunchAction::Toggled;
    }
    if (platform::SendMessage(main, UM_QUERY_RECORD_ONLY, 0, 0) != 0) {
      auto deadline = std::chrono::steady_clock::now() + kQuitWait;
      while (platform::IsWindow(main) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  return platform::StartProcess(dictalo.string(), RecordArguments(command_line)) ? LaunchAction::Started
                                                                                 : LaunchAction::StartFailed;
}

}  // namespace launcher
