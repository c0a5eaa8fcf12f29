// dictalo: the options screen, or with "-record" the resident recorder.

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/command_line.h"
#include "app/signal_watch.h"
#include "toolkit/crash_exit.h"
#include "toolkit/qt/qt_program_start.h"

int main(int argc, char** argv) {
  // Before any thread exists, so that only the signal watch receives them.
  app::BlockTerminationSignals();
  try {
    // Read before Qt takes its own switches out of argv.
    std::u16string command_line = app::JoinArguments(std::vector<std::string>(argv + 1, argv + argc));
    // With a display the windows show on the desktop and the program's UI
    // thread is a second thread; without one it is this thread, as before.
    return toolkit::qt::RunProgramWithRenderer(argc, argv, [&] { return app::RunProgram(command_line); });
  } catch (const std::exception& e) {
    std::cerr << "dictalo: " << e.what() << '\n';
  } catch (...) {
    std::cerr << "dictalo: unexpected failure\n";
  }
  toolkit::CrashExit();
}
