#pragma once
// Starting the program with the desktop renderer when a display is there.
//
// Qt must run on the process's main thread, and the program's own UI thread
// runs a message loop of its own, so with a display the program moves to a
// second thread: RunProgramWithRenderer makes the QApplication, installs a
// QtRenderer, runs `program` on a new thread, runs Qt's loop until that thread
// has finished, then removes the renderer, joins and returns the program's exit
// code. Without a display `program` runs on the calling thread and the headless
// renderer is installed as before (InitRenderer). Signals blocked by the caller
// stay blocked in every thread made here.

#include <functional>
#include <string>

namespace toolkit::qt {

// Which of the ways to show windows the environment offers.
enum class DisplayKind {
  kNone,       // no display: headless
  kX11,        // DISPLAY names an X server that answers
  kWayland,    // WAYLAND_DISPLAY names a compositor socket that answers
  kQtPlatform, // QT_QPA_PLATFORM names another Qt platform (offscreen, vnc, ...)
};

// Reads DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM and checks that a named
// display accepts a connection, so a stale variable leads to a headless start
// instead of a Qt abort. DICTALO_RENDERER=headless asks for no display at all.
DisplayKind DetectDisplay();

int RunProgramWithRenderer(int argc, char** argv, const std::function<int()>& program);

}  // namespace toolkit::qt
