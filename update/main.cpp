// corvane-update: checks the update server for newer versions of the installed
// products and for other products, and installs the one the user picks.
#include <cstdio>
#include <string>

#include "platform/registry.h"
#include "platform/text.h"
#include "platform/window_system.h"
#include "toolkit/qt/qt_program_start.h"
#include "update/update_config.h"
#include "update/update_session.h"
#include "update/update_window.h"
#include "update/user_library.h"

namespace {

constexpr std::u16string_view kSelfKey = u"Software\\Tarnwick\\TarnUpdate";

// The utility counts as an installed product while it runs.
void RegisterSelf(const update::UserLibrary& library) {
  if (library.WriteVersionNumber()) return;
  auto key = platform::RegistryKey::Create(platform::RegistryRoot::LocalMachine, kSelfKey);
  if (!key) return;
  key->WriteDword(u"MajorVersion", 1);
  key->WriteDword(u"MinorVersion", 0);
  key->WriteDword(u"ProdID", 99);
  key->WriteDword(u"LangID", 1033);
}

void UnregisterSelf(const update::UserLibrary& library) {
  if (library.DeleteVersionNumber()) return;
  platform::RegistryKey::DeleteKey(platform::RegistryRoot::LocalMachine, kSelfKey);
}

int RunUtility(const std::string& program_path) {
  update::UpdateConfig config = update::ReadUpdateConfig(update::ConfigKeyName(program_path));
  update::UserLibrary library;
  if (!config.user_dll.empty()) (void)library.Load(platform::Utf16ToUtf8(config.user_dll));  // optional: said on stderr

  platform::ConnectionManager manager({}, [](std::string_view line) {
    std::fprintf(stderr, "corvane-update: %.*s\n", static_cast<int>(line.size()), line.data());
  });
  update::Connector connector(manager);
  int status = 0;
  {
    update::UpdateSession session(config, connector, &library);
    update::UpdateWindow window(session, &library);
    if (!window.CreateMain()) {
      std::fprintf(stderr, "corvane-update: cannot make the window\n");
      return 1;
    }
    RegisterSelf(library);
    platform::MSG msg;
    while (platform::GetMessage(&msg) > 0) {
      platform::TranslateMessage(msg);
      platform::DispatchMessage(msg);
    }
    status = static_cast<int>(msg.wParam);
    UnregisterSelf(library);
    manager.ReleaseConnection();
  }
  library.Unload();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // The utility takes no arguments; anything given is more likely a question
  // than a wish to go online.
  if (argc > 1) {
    std::fprintf(stderr,
                 "usage: corvane-update\n"
                 "Looks for newer versions of the installed products on the update server named in the\n"
                 "registry (\"Software\\Tarnwick\\<program name>\", value \"Domain\") and installs the one chosen.\n");
    return 2;
  }
  // A second start brings the running one forward, without a desktop of its own.
  if (platform::HWND running = platform::FindWindow(update::UpdateWindow::ClassName())) {
    platform::SetForegroundWindow(running);
    return 0;
  }
  std::string program_path = argv[0] ? argv[0] : "";
  // With a display the window shows on the desktop; without one it runs headless.
  return toolkit::qt::RunProgramWithRenderer(argc, argv, [&] { return RunUtility(program_path); });
}
