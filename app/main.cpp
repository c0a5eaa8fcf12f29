// dictalo: the options screen, or with "-record" the resident recorder.

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/command_line.h"
#include "app/signal_watch.h"
#include "toolkit/crash_exit.h"

int main(int argc, char** argv) {
  // Before any thread exists, so that only the signal watch receives them.
  app::BlockTerminationSignals();
  try {
    return app::RunProgram(app::JoinArguments(std::vector<std::string>(argv + 1, argv + argc)));
  } catch (const std::exception& e) {
    std::cerr << "dictalo: " << e.what() << '\n';
  } catch (...) {
    std::cerr << "dictalo: unexpected failure\n";
  }
  toolkit::CrashExit();
}
