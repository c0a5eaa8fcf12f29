#include "toolkit/crash_exit.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace toolkit {

void CrashExit() {
  std::cerr.flush();
  std::cout.flush();
  std::fflush(stderr);
  std::fflush(stdout);
  std::_Exit(kCrashExitCode);
}

}  // namespace toolkit
