// dictalo-record: toggles the recording of a running dictalo, or starts one.
// The exit code is always 0.

#include <string>
#include <vector>

#include "launcher/record_launcher.h"
#include "platform/argv.h"
#include "platform/folders.h"

int main(int argc, char** argv) {
  auto line = platform::JoinArguments(std::vector<std::string>(argv + 1, argv + argc));
  launcher::RunLauncher(line, platform::folders::ExecutableDir() / "dictalo");
  return 0;
}
