#pragma once
// Test support for the desktop renderer: an offscreen QApplication on the test's
// main thread, a program thread that owns the windows under test, and the
// structural check of a dialog template against the widgets that show it.
//
// CheckDialogTemplate opens a dialog template modelessly on the program thread
// (a WS_CHILD page inside a host window), waits until every control has its
// widget, and compares them with the template: one widget per control, in the
// template's order, of the kind the control is shown as, with its text,
// visibility and enabled state, Tab going through the tab stops in order;
// then it writes a screenshot of the dialog to
// <build>/artefacts/screenshots/<name>.png and closes the dialog.

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/window_system.h"
#include "toolkit/dialog_manager.h"
#include "toolkit/qt/qt_renderer.h"

class QWidget;

namespace toolkit::qt::testing {

// Sets QT_QPA_PLATFORM=offscreen and makes the application once per process
// (on the first caller's thread, which must be the main thread).
void EnsureOffscreenApplication();

// Processes Qt events until done() or the timeout; returns done().
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Installs a QtRenderer (made on this thread) for the scope and removes it at the end.
class ScopedQtRenderer {
 public:
  ScopedQtRenderer();
  ~ScopedQtRenderer();
  QtRenderer& renderer() { return *renderer_; }
  // The widget of a window, once the renderer has it (nullptr after the timeout).
  QWidget* WaitForWidget(platform::HWND hwnd);

 private:
  std::unique_ptr<QtRenderer> renderer_;
  Renderer* previous_ = nullptr;
};

// A program thread running a message loop that passes keys through the
// keyboard interface of the dialogs it is told about.
class ProgramThread {
 public:
  ProgramThread();
  ~ProgramThread();
  ProgramThread(const ProgramThread&) = delete;
  ProgramThread& operator=(const ProgramThread&) = delete;

  // Runs work on the program thread and returns its result; the calling (GUI)
  // thread keeps processing Qt events meanwhile.
  template <typename F>
  auto Call(F work) -> decltype(work()) {
    using R = decltype(work());
    auto task = std::make_shared<std::packaged_task<R()>>(std::move(work));
    auto future = task->get_future();
    Run([task] { (*task)(); });
    WaitFor([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            std::chrono::seconds(30));
    return future.get();
  }
  // Program thread: keys of this dialog go through its keyboard interface.
  void AddDialog(platform::HWND dialog);
  platform::DWORD thread_id() const { return thread_id_; }

 private:
  void Run(std::function<void()> work);

  std::thread thread_;
  platform::DWORD thread_id_ = 0;
  std::set<platform::HWND> dialogs_;  // program thread only
};

struct DialogCheck {
  std::vector<std::string> problems;  // empty when the widgets match the template
  std::string screenshot;             // the file written ("" when none)
};

// The dialog procedure the check opens templates with: it handles nothing.
platform::LRESULT PassiveDialogProc(platform::HWND, platform::UINT msg, platform::WPARAM, platform::LPARAM);

DialogCheck CheckDialogTemplate(ScopedQtRenderer& qt, ProgramThread& program, UINT template_id,
                                const std::string& screenshot_name);

// Compares the widgets shown for an open dialog with its template.
std::vector<std::string> CompareWithTemplate(QtRenderer& renderer, platform::HWND dialog,
                                             const std::vector<platform::HWND>& controls,
                                             const DialogTemplate& dialog_template);

// Writes the widget's picture as PNG under the screenshot folder; returns the path.
std::string WriteScreenshot(QWidget* widget, const std::string& name);

}  // namespace toolkit::qt::testing
