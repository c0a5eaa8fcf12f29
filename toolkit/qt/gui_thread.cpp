#include "toolkit/qt/gui_thread.h"

#include <array>
#include <thread>

#include <QCoreApplication>
#include <QThread>

namespace toolkit::qt {
namespace pw = platform;

GuiThread::GuiThread() : context_(new QObject) {}

GuiThread::~GuiThread() {
  Stop();
}

bool GuiThread::Post(std::function<void()> work) {
  std::lock_guard lock(mu_);
  if (!context_) return false;
  return QMetaObject::invokeMethod(context_.data(), std::move(work), Qt::QueuedConnection);
}

void GuiThread::Stop() {
  QObject* context = nullptr;
  {
    std::lock_guard lock(mu_);
    context = context_.data();
    context_.clear();
  }
  delete context;  // queued work not yet run goes with it
}

bool GuiThread::IsGuiThread() const {
  std::lock_guard lock(mu_);
  return context_ && context_->thread() == QThread::currentThread();
}

std::optional<int> WaitHandlingMessages(pw::Event& done, const std::function<void()>& on_quit) {
  std::optional<int> quit;
  std::array<pw::Event*, 1> events{&done};
  while (!done.IsSet()) {
    auto woke = pw::MsgWaitForEvents(events, std::nullopt, true);
    if (!woke) {
      // The wait itself failed: fall back to waiting for the answer alone.
      done.Wait();
      break;
    }
    if (*woke == 0) break;
    pw::MSG msg;
    while (pw::PeekMessage(&msg, nullptr, 0, 0, pw::PM_REMOVE)) {
      if (msg.message == pw::WM_QUIT) {
        if (!quit && on_quit) on_quit();
        quit = static_cast<int>(msg.wParam);
        continue;
      }
      pw::TranslateMessage(msg);
      pw::DispatchMessage(msg);
    }
  }
  return quit;
}

}  // namespace toolkit::qt
