#pragma once
// Helpers for driving the options dialogs in tests: a script of steps run one
// after another from the calling thread's queue (so they run inside a modal
// dialog's loop, each after what the step before it posted has been handled),
// and a message-box presenter that records the boxes and answers them.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/window_system.h"
#include "toolkit/message_box.h"

namespace settings::options_testing {

class UserScript {
 public:
  UserScript() {
    static const bool registered = [] {
      platform::WNDCLASS wc;
      wc.lpfnWndProc = &UserScript::Proc;
      wc.lpszClassName = kClass;
      return platform::RegisterClass(wc);
    }();
    (void)registered;
    hwnd_ = platform::CreateWindowEx(0, kClass, u"", 0, 0, 0, 0, 0, nullptr, 0, this);
    platform::SetWindowLongPtr(hwnd_, platform::GWLP_USERDATA, reinterpret_cast<std::intptr_t>(this));
  }
  ~UserScript() { platform::DestroyWindow(hwnd_); }
  UserScript(const UserScript&) = delete;
  UserScript& operator=(const UserScript&) = delete;

  // Adds a step; it runs once the steps before it have run.
  void Then(std::function<void()> step) { steps_.push_back(std::move(step)); }
  // Lets the steps run, from after what the thread's queue holds now.
  void Start() {
    if (!posted_ && !steps_.empty()) posted_ = platform::PostMessage(hwnd_, kRun, 0, 0);
  }
  bool done() const { return steps_.empty(); }
  // Drops the steps not run yet (their dialog is gone).
  void Clear() { steps_.clear(); }

 private:
  static constexpr char16_t kClass[] = u"OptionsTestScript";
  static constexpr platform::UINT kRun = platform::WM_APP + 77;

  static platform::LRESULT Proc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wparam,
                                platform::LPARAM lparam) {
    auto* self = reinterpret_cast<UserScript*>(platform::GetWindowLongPtr(hwnd, platform::GWLP_USERDATA));
    if (msg != kRun || !self) return platform::DefWindowProc(hwnd, msg, wparam, lparam);
    self->posted_ = false;
    if (self->steps_.empty()) return 0;
    auto step = std::move(self->steps_.front());
    self->steps_.pop_front();
    step();
    // Posted after whatever the step posted, so the next step sees its effect.
    if (!self->steps_.empty() && !self->posted_) self->posted_ = platform::PostMessage(hwnd, kRun, 0, 0);
    return 0;
  }

  platform::HWND hwnd_ = nullptr;
  bool posted_ = false;
  std::deque<std::function<void()>> steps_;
};

class RecordingBoxes : public toolkit::MessageBoxPresenter {
 public:
  RecordingBoxes() { previous_ = toolkit::SetMessageBoxPresenter(this); }
  ~RecordingBoxes() override { toolkit::SetMessageBoxPresenter(previous_); }
  toolkit::MessageBoxAnswer Present(const toolkit::MessageBoxRequest& request) override {
    boxes.push_back(request);
    int answer = answers.empty() ? request.default_button : answers.front();
    if (!answers.empty()) answers.erase(answers.begin());
    return {answer, request.checked};
  }
  std::vector<toolkit::MessageBoxRequest> boxes;
  std::vector<int> answers;  // taken in order; then each box's default

 private:
  toolkit::MessageBoxPresenter* previous_ = nullptr;
};

}  // namespace settings::options_testing
