// dictalo-setup install [--prefix DIR] [--accept-license] [--delete] [SOURCE]
// dictalo-setup uninstall [--prefix DIR]
//
// ACCEPT_EULA=Y in the environment accepts the licence as --accept-license does.
// SOURCE is a built tree or an update package (default: the tree this program
// runs from); DIR defaults to ~/.local. Exit status: 0 done, 1 cancelled, 2 failed.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/folders.h"
#include "setup/installer.h"
#include "toolkit/qt/qt_program_start.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: dictalo-setup install [--prefix DIR] [--accept-license] [--delete] [SOURCE]\n"
               "       dictalo-setup uninstall [--prefix DIR]\n");
  return 2;
}

int ExitStatus(setup::InstallOutcome outcome) {
  switch (outcome) {
    case setup::InstallOutcome::kInstalled:
      return 0;
    case setup::InstallOutcome::kCancelled:
      return 1;
    case setup::InstallOutcome::kFailed:
      break;
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage();
  std::string command = args[0];
  setup::InstallRequest request;
  const char* home = std::getenv("HOME");
  request.prefix = std::filesystem::path(home ? home : "/") / ".local";
  request.source = platform::folders::ExecutableDir().parent_path();
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--prefix" && i + 1 < args.size()) {
      request.prefix = args[++i];
    } else if (args[i] == "--accept-license" && command == "install") {
      request.accept_license = true;
    } else if (args[i] == "--delete" && command == "install") {
      request.delete_package = true;
    } else if (command == "install" && !args[i].empty() && args[i][0] != '-') {
      request.source = args[i];
    } else {
      return Usage();
    }
  }
  // The common switch of unattended installations that need a licence accepted.
  if (const char* eula = std::getenv("ACCEPT_EULA"); eula && std::string(eula) == "Y") request.accept_license = true;
  if (command != "install" && command != "uninstall") return Usage();
  // With a display the licence shows on the desktop for the user to answer;
  // without one the installation runs as before, answered from the command line.
  return toolkit::qt::RunProgramWithRenderer(argc, argv, [&] {
    if (command == "install") return ExitStatus(setup::Install(request));
    return ExitStatus(setup::Uninstall(request.prefix));
  });
}
