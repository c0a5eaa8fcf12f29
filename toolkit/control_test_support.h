#pragma once
// For the control tests: a parent window that writes down what its controls tell
// it, and a way to make controls and run the posted user input.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/support/test_environment.h"
#include "toolkit/ce_wnd.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"

namespace toolkit::testing_controls {

using namespace platform;

// Writes each notification as "command <id> <code>", "notify <id> <code> item=<n>",
// "hscroll <request> <position>".
class RecordingParent : public CeWnd {
 public:
  std::vector<std::string> calls;
  // The answer to WM_NOTIFY (TCN_SELCHANGING, TVN_ITEMEXPANDINGW: non-zero refuses).
  LRESULT notify_answer = 0;
  // Runs inside the handler of each WM_COMMAND / WM_NOTIFY (a parent acting on it).
  std::function<void()> on_notification;

  LRESULT OnCommand(WPARAM wparam, LPARAM, bool& handled) override {
    calls.push_back("command " + std::to_string(LOWORD(wparam)) + " " + std::to_string(HIWORD(wparam)));
    if (on_notification) on_notification();
    handled = true;
    return 0;
  }
  LRESULT OnNotify(int id, toolkit::NMHDR* hdr, bool& handled) override {
    std::string line = "notify " + std::to_string(id) + " " + std::to_string(hdr->code);
    if (hdr->code == LVN_ITEMCHANGED || hdr->code == LVN_ITEMACTIVATE) {
      auto* lv = reinterpret_cast<NMLISTVIEW*>(hdr);
      line += " item=" + std::to_string(lv->iItem) + " new=" + std::to_string(lv->uNewState) +
              " old=" + std::to_string(lv->uOldState);
    }
    calls.push_back(line);
    if (on_notification) on_notification();
    handled = true;
    return notify_answer;
  }
  LRESULT OnMessage(UINT msg, WPARAM wparam, LPARAM, bool& handled) override {
    if (msg != WM_HSCROLL) return 0;
    calls.push_back("hscroll " + std::to_string(LOWORD(wparam)) + " " + std::to_string(HIWORD(wparam)));
    handled = true;
    return 0;
  }
};

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterControlClasses();
    ASSERT_TRUE(CeWnd::RegisterClassW(u"ControlParent", 0, 0, 0, 0, 0, 0, u""));
    parent_hwnd_ =
        parent_.Create(CeWnd::ClassName(u"ControlParent"), u"Parent", WS_VISIBLE, 0, 0, 240, 320, nullptr, 0);
    ASSERT_NE(parent_hwnd_, nullptr);
  }
  void TearDown() override {
    if (IsWindow(parent_hwnd_)) DestroyWindow(parent_hwnd_);
  }

  HWND Make(std::u16string_view class_name, int id, DWORD style, std::u16string_view text = u"") {
    return CreateWindowEx(0, class_name, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 100, 20, parent_hwnd_,
                          static_cast<UINT>(id), nullptr);
  }

  // Handles everything posted to this thread.
  static void Pump() {
    MSG msg;
    while (PeekMessage(&msg)) {
      TranslateMessage(msg);
      DispatchMessage(msg);
    }
  }

  static std::u16string Text(HWND hwnd) { return GetWindowText(hwnd); }

  testing_support::ScopedTestHome home_;
  RecordingParent parent_;
  HWND parent_hwnd_ = nullptr;
};

}  // namespace toolkit::testing_controls
