#pragma once
// Hands work from program threads to the GUI thread (the thread that runs the
// QApplication) and lets a program thread wait there for the user's answer.
//
// GuiThread queues callables to a context object living on the GUI thread; once
// Stop has run (on the GUI thread, before the application object goes), posts
// are dropped, so a program thread that reports late never reaches a dead object.

#include <functional>
#include <mutex>
#include <optional>

#include <QObject>
#include <QPointer>

#include "platform/window_system.h"

namespace toolkit::qt {

class GuiThread {
 public:
  // Made on the GUI thread.
  GuiThread();
  ~GuiThread();
  GuiThread(const GuiThread&) = delete;
  GuiThread& operator=(const GuiThread&) = delete;

  // Runs work on the GUI thread after what was posted before; false when stopped.
  bool Post(std::function<void()> work);
  // GUI thread: drops every later post.
  void Stop();
  bool IsGuiThread() const;

 private:
  mutable std::mutex mu_;
  QPointer<QObject> context_;
};

// Waits on a program thread until done is set, handling the thread's messages
// meanwhile as a modal box does (sends from other threads, posted messages,
// timers). A quit message met while waiting is returned so the caller can post
// it again after it has finished; waiting goes on until done.
std::optional<int> WaitHandlingMessages(platform::Event& done, const std::function<void()>& on_quit);

}  // namespace toolkit::qt
