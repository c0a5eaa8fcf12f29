#pragma once
// For the dialog tests: runs a script of steps on the thread that shows the
// dialogs, from inside their modal loops. A step runs when the thread's queue
// is idle (a timer), so the user input posted by the step before has been
// handled; a step returns false to be tried again at the next tick (waiting for
// a dialog to open or a box to be shown). A script still running after ten
// seconds fails the test and cancels the dialogs it names.

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/window_system.h"
#include "toolkit/dialog_manager.h"

namespace settings::testing {

class DialogScript {
 public:
  using Step = std::function<bool()>;

  explicit DialogScript(std::initializer_list<std::u16string_view> dialog_titles)
      : titles_(dialog_titles.begin(), dialog_titles.end()) {}
  ~DialogScript() { Stop(); }

  DialogScript& Then(Step step) {
    steps_.push_back(std::move(step));
    return *this;
  }

  void Start() {
    current_ = this;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    timer_ = platform::SetTimer(nullptr, 0, 5, &DialogScript::Tick);
  }
  void Stop() {
    if (timer_) platform::KillTimer(nullptr, timer_);
    timer_ = 0;
    if (current_ == this) current_ = nullptr;
  }
  bool Done() const { return steps_.empty(); }

  // The open dialog with this title, and one of its controls.
  static platform::HWND Dialog(std::u16string_view title) {
    return platform::FindWindow(toolkit::kDialogClass, title);
  }
  static platform::HWND Item(std::u16string_view title, int id) {
    platform::HWND dialog = Dialog(title);
    return dialog ? platform::GetDlgItem(dialog, id) : nullptr;
  }

 private:
  static void Tick(platform::HWND, platform::UINT, std::uintptr_t, platform::DWORD) {
    DialogScript* self = current_;
    if (!self || self->inside_) return;
    self->inside_ = true;
    if (!self->steps_.empty() && self->steps_.front()()) self->steps_.pop_front();
    if (!self->steps_.empty() && std::chrono::steady_clock::now() > self->deadline_) {
      ADD_FAILURE() << "dialog script stuck with " << self->steps_.size() << " steps left";
      self->steps_.clear();
      for (const auto& title : self->titles_)
        if (platform::HWND d = Dialog(title)) platform::PostMessage(d, platform::WM_COMMAND, 2, 0);
    }
    self->inside_ = false;
  }

  static inline DialogScript* current_ = nullptr;
  std::vector<std::u16string> titles_;
  std::deque<Step> steps_;
  std::chrono::steady_clock::time_point deadline_;
  std::uintptr_t timer_ = 0;
  bool inside_ = false;
};

}  // namespace settings::testing
