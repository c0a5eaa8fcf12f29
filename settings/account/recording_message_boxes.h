#pragma once
// For the dialog tests: records every message box (text, title, type and the
// focus of the showing thread at that moment) and answers it through the
// headless presenter, i.e. from DICTALO_MESSAGEBOX_ANSWERS.

#include <mutex>
#include <string>
#include <vector>

#include "toolkit/message_box.h"

namespace settings::testing {

struct ShownBox {
  std::u16string text;
  std::u16string caption;
  platform::UINT type = 0;
  platform::HWND focus = nullptr;
  int answer = 0;
};

class RecordingMessageBoxes : public toolkit::MessageBoxPresenter {
 public:
  RecordingMessageBoxes() { previous_ = toolkit::SetMessageBoxPresenter(this); }
  ~RecordingMessageBoxes() override { toolkit::SetMessageBoxPresenter(previous_); }

  toolkit::MessageBoxAnswer Present(const toolkit::MessageBoxRequest& request) override {
    toolkit::MessageBoxAnswer answer = headless_.Present(request);
    std::lock_guard lock(mu_);
    shown_.push_back(ShownBox{request.text, request.caption, request.type, platform::GetFocus(), answer.button});
    return answer;
  }

  std::vector<ShownBox> Shown() const {
    std::lock_guard lock(mu_);
    return shown_;
  }

 private:
  toolkit::HeadlessMessageBoxPresenter headless_;
  toolkit::MessageBoxPresenter* previous_ = nullptr;
  mutable std::mutex mu_;
  std::vector<ShownBox> shown_;
};

}  // namespace settings::testing
