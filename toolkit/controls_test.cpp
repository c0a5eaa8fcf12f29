// Controls: buttons tell their parent of clicks (not when disabled), check boxes
// and radio groups keep their marks, pointer and space-bar presses, keys a
// button does not use, the picture a button carries, and the progress bar's
// range and position.

#include "toolkit/controls.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "tests/support/test_environment.h"
#include "toolkit/ce_wnd.h"
#include "toolkit/common_controls.h"
#include "toolkit/renderer.h"

namespace toolkit {
namespace {

using namespace platform;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class Parent : public CeWnd {
 public:
  std::vector<std::string> calls;
  std::vector<LPARAM> senders;
  LRESULT OnCommand(WPARAM wparam, LPARAM lparam, bool& handled) override {
    calls.push_back("command " + std::to_string(LOWORD(wparam)) + " " + std::to_string(HIWORD(wparam)));
    senders.push_back(lparam);
    handled = true;
    return 0;
  }
  void OnKeyDown(UINT key, UINT, UINT, bool& handled) override {
    calls.push_back("key " + std::to_string(key));
    handled = true;
  }
};

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterControlClasses();
    ASSERT_TRUE(CeWnd::RegisterClassW(u"Parent", 0, 0, 0, 0, 0, 0, u""));
    parent_hwnd_ = parent_.Create(CeWnd::ClassName(u"Parent"), u"Parent", WS_VISIBLE, 0, 0, 240, 320, nullptr, 0);
    ASSERT_NE(parent_hwnd_, nullptr);
  }
  void TearDown() override { DestroyWindow(parent_hwnd_); }

  HWND Make(std::u16string_view class_name, int id, DWORD style, std::u16string_view text = u"") {
    return CreateWindowEx(0, class_name, text, WS_CHILD | WS_VISIBLE | style, 0, id * 20, 100, 20, parent_hwnd_,
                          static_cast<UINT>(id), nullptr);
  }

  testing_support::ScopedTestHome home_;
  Parent parent_;
  HWND parent_hwnd_ = nullptr;
};

TEST_F(ControlsTest, ClicksTellTheParentUnlessTheButtonIsDisabled) {
  HWND push = Make(kButtonClass, 10122, BS_OWNERDRAW, u"Stop && Send");
  ASSERT_NE(push, nullptr);
  SendMessage(push, BM_CLICK, 0, 0);
  EXPECT_THAT(parent_.calls, ElementsAre("command 10122 0"));
  EXPECT_THAT(parent_.senders, ElementsAre(reinterpret_cast<LPARAM>(push)));
  EnableWindow(push, false);
  SendMessage(push, BM_CLICK, 0, 0);
  SendMessage(push, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
  SendMessage(push, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(parent_.calls.size(), 1u);
  EnableWindow(push, true);

  // Pointer: pressed while down, a click when released inside, none outside.
  SendMessage(push, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(SendMessage(push, BM_GETSTATE, 0, 0), BST_PUSHED | BST_FOCUS);
  EXPECT_EQ(GetFocus(), push);
  SendMessage(push, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(SendMessage(push, BM_GETSTATE, 0, 0), BST_FOCUS);
  SendMessage(push, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
  SendMessage(push, WM_LBUTTONUP, 0, MAKELPARAM(500, 5));
  EXPECT_EQ(parent_.calls.size(), 2u);

  // Space bar: pressed on the way down, a click on the way up; other keys go to the parent.
  SendMessage(push, WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(SendMessage(push, BM_GETSTATE, 0, 0) & BST_PUSHED, BST_PUSHED);
  SendMessage(push, WM_KEYUP, VK_SPACE, 0);
  SendMessage(push, WM_KEYDOWN, 'X', 0);
  EXPECT_THAT(parent_.calls, ElementsAre("command 10122 0", "command 10122 0", "command 10122 0", "key 88"));
  // Losing the focus takes the focus mark away.
  SetFocus(nullptr);
  EXPECT_EQ(SendMessage(push, BM_GETSTATE, 0, 0), 0);
  EXPECT_EQ(SendMessage(push, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessage(push, WM_GETDLGCODE, 0, 0), DLGC_BUTTON);
}

std::u16string ImageOf(HWND button, WPARAM size = kMaxButtonImageName + 1) {
  std::u16string buffer(size, u'#');
  LRESULT length = SendMessage(button, BM_GETIMAGE, size, reinterpret_cast<LPARAM>(buffer.data()));
  buffer.resize(std::u16string_view(buffer.data(), size).find(u'\0'));
  EXPECT_GE(length, static_cast<LRESULT>(buffer.size()));
  return buffer;
}

TEST_F(ControlsTest, ButtonsKeepACopyOfTheirPictureName) {
  HWND button = Make(kButtonClass, 10124, BS_OWNERDRAW, u"Cancel");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(SendMessage(button, BM_GETIMAGE, 0, 0), 0);
  EXPECT_EQ(ImageOf(button), u"");

  {
    std::u16string name = u"dictalo-cancel";
    EXPECT_EQ(SendMessage(button, BM_SETIMAGE, 0, reinterpret_cast<LPARAM>(name.c_str())), 1);
    name.assign(name.size(), u'x');  // the caller's text may go away
  }
  EXPECT_EQ(ImageOf(button), u"dictalo-cancel");
  EXPECT_EQ(SendMessage(button, BM_GETIMAGE, 0, 0), 14);  // the length, without a buffer
  // A short buffer gets what fits, always terminated, and the full length.
  std::u16string small(6, u'#');
  EXPECT_EQ(SendMessage(button, BM_GETIMAGE, small.size(), reinterpret_cast<LPARAM>(small.data())), 14);
  EXPECT_EQ(small, std::u16string(u"dicta\0", 6));

  // Refused, leaving the picture as it was: one character too long (no
  // terminator within reach of the limit is never read past), path tricks.
  std::u16string too_long(kMaxButtonImageName + 1, u'a');
  EXPECT_EQ(SendMessage(button, BM_SETIMAGE, 0, reinterpret_cast<LPARAM>(too_long.c_str())), 0);
  for (const char16_t* bad : {u"../../etc/passwd", u"a b", u"dictalo\ncancel", u"/tmp/x"})
    EXPECT_EQ(SendMessage(button, BM_SETIMAGE, 0, reinterpret_cast<LPARAM>(bad)), 0) << platform::Utf16ToUtf8(bad);
  EXPECT_EQ(ImageOf(button), u"dictalo-cancel");

  std::u16string longest(kMaxButtonImageName, u'b');
  EXPECT_EQ(SendMessage(button, BM_SETIMAGE, 0, reinterpret_cast<LPARAM>(longest.c_str())), 1);
  EXPECT_EQ(ImageOf(button), longest);

  // A null or empty name takes the picture away.
  EXPECT_EQ(SendMessage(button, BM_SETIMAGE, 0, 0), 1);
  EXPECT_EQ(ImageOf(button), u"");
  SendMessage(button, BM_SETIMAGE, 0, reinterpret_cast<LPARAM>(u"dictalo-stop-send"));
  EXPECT_EQ(SendMessage(button, BM_SETIMAGE, 0, reinterpret_cast<LPARAM>(u"")), 1);
  EXPECT_EQ(ImageOf(button), u"");
}

TEST_F(ControlsTest, CheckBoxesAndRadioGroupsKeepTheirMarks) {
  HWND automatic = Make(kButtonClass, 1, BS_AUTOCHECKBOX | WS_GROUP);
  HWND manual = Make(kButtonClass, 2, BS_CHECKBOX);
  HWND push = Make(kButtonClass, 3, BS_PUSHBUTTON);
  HWND r1 = Make(kButtonClass, 4, BS_AUTORADIOBUTTON | WS_GROUP);
  HWND r2 = Make(kButtonClass, 5, BS_AUTORADIOBUTTON);
  HWND r3 = Make(kButtonClass, 6, BS_AUTORADIOBUTTON);
  HWND other_group = Make(kButtonClass, 7, BS_AUTORADIOBUTTON | WS_GROUP);
  auto check = [](HWND h) { return SendMessage(h, BM_GETCHECK, 0, 0); };

  SendMessage(automatic, BM_CLICK, 0, 0);
  EXPECT_EQ(check(automatic), BST_CHECKED);
  SendMessage(automatic, BM_CLICK, 0, 0);
  EXPECT_EQ(check(automatic), BST_UNCHECKED);
  SendMessage(manual, BM_CLICK, 0, 0);
  EXPECT_EQ(check(manual), BST_UNCHECKED);  // its owner sets the mark
  SendMessage(manual, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(check(manual), BST_CHECKED);
  SendMessage(push, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(check(push), BST_UNCHECKED);  // a push button has no mark

  SendMessage(other_group, BM_SETCHECK, BST_CHECKED, 0);
  SendMessage(r1, BM_CLICK, 0, 0);
  SendMessage(r3, BM_CLICK, 0, 0);
  EXPECT_EQ(check(r1), BST_UNCHECKED);
  EXPECT_EQ(check(r2), BST_UNCHECKED);
  EXPECT_EQ(check(r3), BST_CHECKED);
  EXPECT_EQ(check(other_group), BST_CHECKED);  // another group is left alone
  EXPECT_EQ(parent_.calls.size(), 5u);         // every click was told, the mark changed or not
}

TEST_F(ControlsTest, ProgressBarKeepsRangeAndPositionWithinIt) {
  HWND bar = Make(kProgressClass, 10126, 0);
  ASSERT_NE(bar, nullptr);
  PBRANGE range;
  EXPECT_EQ(SendMessage(bar, PBM_GETRANGE, 1, reinterpret_cast<LPARAM>(&range)), 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(SendMessage(bar, PBM_SETRANGE32, 0, 90000), MAKELPARAM(0, 100));
  struct Row {
    UINT msg;
    WPARAM wparam;
    LRESULT result;
    int pos;
  } rows[] = {
      {PBM_SETPOS, 512, 0, 512},      {PBM_SETPOS, 95000, 512, 90000},  // beyond the top: the top
      {PBM_SETPOS, static_cast<WPARAM>(-3), 90000, 0},                  // below the bottom: the bottom
      {PBM_DELTAPOS, 100, 0, 100},    {PBM_SETSTEP, 40000, 10, 100},     {PBM_STEPIT, 0, 100, 40100},
      {PBM_STEPIT, 0, 40100, 80100},  {PBM_STEPIT, 0, 80100, 30100},    // past the top it starts over
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.msg);
    EXPECT_EQ(SendMessage(bar, row.msg, row.wparam, 0), row.result);
    EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), row.pos);
  }
  EXPECT_EQ(SendMessage(bar, PBM_GETRANGE, 0, 0), 90000);
  EXPECT_EQ(SendMessage(bar, PBM_GETRANGE, 1, 0), 0);
  // A narrower range pulls the position in; the 16-bit form packs both ends.
  EXPECT_EQ(SendMessage(bar, PBM_SETRANGE, 0, MAKELPARAM(10, 20)), MAKELPARAM(0, static_cast<std::uint16_t>(90000)));
  EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), 20);
  EXPECT_EQ(SendMessage(bar, WM_GETDLGCODE, 0, 0), 0);

  // Another thread reads and sets it through the owner's thread, as the UI thread does.
  std::thread other([&] {
    EXPECT_EQ(SendMessage(bar, PBM_SETRANGE32, 0, 4096), MAKELPARAM(10, 20));
    EXPECT_EQ(SendMessage(bar, PBM_SETPOS, 2048, 0), 20);
  });
  while (SendMessage(bar, PBM_GETPOS, 0, 0) != 2048) MsgWaitForEvents({}, std::chrono::milliseconds(5), true);
  other.join();
  EXPECT_EQ(SendMessage(bar, PBM_GETRANGE, 0, 0), 4096);
}

TEST_F(ControlsTest, StaticTextIsItsWindowText) {
  HWND label = Make(kStaticClass, 10121, SS_LEFT);
  ASSERT_TRUE(SetWindowText(label, u"Recording: 00:02, 21KB"));
  EXPECT_EQ(GetWindowText(label), u"Recording: 00:02, 21KB");
  EXPECT_EQ(SendMessage(label, WM_GETDLGCODE, 0, 0), DLGC_STATIC);
  SendMessage(label, BM_CLICK, 0, 0);
  EXPECT_THAT(parent_.calls, IsEmpty());
}

TEST_F(ControlsTest, LinksTellTheParentOfTapsUnlessDisabled) {
  HWND link = Make(kStaticClass, 1050, SS_NOTIFY, u"Sign up for an account");
  EXPECT_TRUE(PostClick(link));
  MSG msg;
  while (PeekMessage(&msg)) DispatchMessage(msg);
  SendMessage(link, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
  EXPECT_THAT(parent_.calls, ElementsAre("command 1050 0", "command 1050 0"));  // STN_CLICKED
  EnableWindow(link, false);
  SendMessage(link, BM_CLICK, 0, 0);
  EnableWindow(link, true);
  EnableWindow(parent_hwnd_, false);
  SendMessage(link, BM_CLICK, 0, 0);
  EXPECT_EQ(parent_.calls.size(), 2u);
}

}  // namespace
}  // namespace toolkit
