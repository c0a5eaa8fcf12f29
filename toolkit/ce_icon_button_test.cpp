// The icon button bar: order and layout, press and release, check buttons,
// disabled buttons, repeat and hold, the renderer's taps and what it reads.

#include "toolkit/ce_icon_button.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "toolkit/control_describe.h"
#include "toolkit/control_test_support.h"
#include "toolkit/renderer.h"

namespace toolkit {
namespace {

using namespace testing_controls;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

CeIconButtonBase Button(UINT id, const char16_t* icon, int order = 0) {
  CeIconButtonBase b;
  b.id = id;
  b.icon = icon;
  b.order = order;
  return b;
}

// Sorts by icon name, backwards.
class ReversedBar : public CeIconButton {
 public:
  int CompareFunc(const CeIconButtonBase& a, const CeIconButtonBase& b) const override { return b.icon.compare(a.icon); }
};

class CeIconButtonTest : public ControlTest {
 protected:
  static std::vector<UINT> Order(const CeIconButton& bar) {
    std::vector<UINT> ids;
    for (const auto& b : bar.buttons()) ids.push_back(b.id);
    return ids;
  }
  static LPARAM At(int x, int y) { return MAKELPARAM(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y)); }
  void PumpFor(std::chrono::milliseconds time) {
    auto end = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < end) {
      MsgWaitForEvents({}, std::chrono::milliseconds(5), true);
      Pump();
    }
  }
};

TEST_F(CeIconButtonTest, ButtonsAreKeptInOrderAndLaidOut) {
  CeIconButton bar;
  ASSERT_NE(bar.Create(parent_hwnd_, 2200, RECT{0, 0, 200, 28}), nullptr);
  EXPECT_TRUE(bar.AddButton(Button(30, u"stop", 2)));
  EXPECT_TRUE(bar.AddButton(Button(10, u"record", 1)));
  CeIconButtonBase wide = Button(20, u"send", 2);
  wide.width = 40;
  EXPECT_TRUE(bar.AddButton(wide));
  EXPECT_FALSE(bar.AddButton(Button(20, u"again")));  // the id is taken
  EXPECT_FALSE(bar.AddButton(Button(0, u"none")));
  EXPECT_THAT(Order(bar), ElementsAre(10, 20, 30));
  // Square buttons as high as the bar less the padding; the padding between them.
  EXPECT_EQ(bar.GetButton(10)->rect.left, 2);
  EXPECT_EQ(bar.GetButton(10)->rect.right, 26);
  EXPECT_EQ(bar.GetButton(20)->rect.left, 28);
  EXPECT_EQ(bar.GetButton(20)->rect.right, 68);
  EXPECT_EQ(bar.GetButton(30)->rect.left, 70);
  EXPECT_EQ(bar.HitTest(POINT{27, 10}), 0u);  // in the padding
  EXPECT_EQ(bar.HitTest(POINT{30, 10}), 20u);
  EXPECT_TRUE(bar.RemoveButton(20));
  EXPECT_FALSE(bar.RemoveButton(20));
  EXPECT_EQ(bar.GetButton(30)->rect.left, 28);

  ReversedBar reversed;
  reversed.Create(parent_hwnd_, 2201, RECT{0, 30, 200, 58});
  reversed.AddButton(Button(1, u"a"));
  reversed.AddButton(Button(2, u"c"));
  reversed.AddButton(Button(3, u"b"));
  EXPECT_THAT(Order(reversed), ElementsAre(2, 3, 1));
}

TEST_F(CeIconButtonTest, PressAndReleaseClickAndCheckButtonsToggle) {
  CeIconButton bar;
  HWND hwnd = bar.Create(parent_hwnd_, 2202, RECT{0, 0, 200, 28});
  CeIconButtonBase mute = Button(11, u"audio-volume-muted");
  mute.checkable = true;
  bar.AddButton(Button(10, u"media-record"));
  bar.AddButton(mute);

  SendMessage(hwnd, WM_LBUTTONDOWN, 0, At(5, 5));
  EXPECT_EQ(bar.GetCurrent(), 10u);
  EXPECT_TRUE(bar.GetButton(10)->pressed);
  SendMessage(hwnd, WM_LBUTTONUP, 0, At(5, 5));
  EXPECT_EQ(bar.GetCurrent(), 0u);
  EXPECT_FALSE(bar.GetButton(10)->pressed);
  SendMessage(hwnd, WM_LBUTTONDOWN, 0, At(5, 5));
  SendMessage(hwnd, WM_LBUTTONUP, 0, At(150, 5));  // released elsewhere: no click
  SendMessage(hwnd, WM_LBUTTONDOWN, 0, At(30, 5));
  SendMessage(hwnd, WM_LBUTTONUP, 0, At(30, 5));
  EXPECT_TRUE(bar.GetButton(11)->checked);
  EXPECT_THAT(parent_.calls, ElementsAre("command 10 0", "command 11 0"));

  parent_.calls.clear();
  bar.EnableButton(10, false);
  SendMessage(hwnd, WM_LBUTTONDOWN, 0, At(5, 5));
  SendMessage(hwnd, WM_LBUTTONUP, 0, At(5, 5));
  PostUserActivate(hwnd, 10);
  PostUserActivate(hwnd, 11);
  PostUserActivate(hwnd, -1);
  Pump();
  EXPECT_THAT(parent_.calls, ElementsAre("command 11 0"));
  EXPECT_FALSE(bar.GetButton(11)->checked);
  EnableWindow(hwnd, false);
  PostUserActivate(hwnd, 11);
  Pump();
  EXPECT_EQ(parent_.calls.size(), 1u);

  // What a renderer reads of the bar.
  EXPECT_EQ(DescribeControlState(hwnd, ControlKindOf(hwnd)),
            " buttons=[{10,\"media-record\",\"\",checked=0,pressed=0,enabled=0},"
            "{11,\"audio-volume-muted\",\"\",checked=0,pressed=0,enabled=1}] current=0");
}

TEST_F(CeIconButtonTest, RepeatWhileHeldAndHoldForTheContext) {
  CeIconButton bar;
  HWND hwnd = bar.Create(parent_hwnd_, 2203, RECT{0, 0, 200, 28});
  CeIconButtonBase louder = Button(12, u"list-add");
  louder.repeat = true;
  CeIconButtonBase note = Button(13, u"note");
  note.context = true;
  bar.AddButton(louder);
  bar.AddButton(note);
  bar.SetRepeatTimes(30, 20);
  bar.SetHoldTime(40);

  SendMessage(hwnd, WM_LBUTTONDOWN, 0, At(5, 5));
  PumpFor(std::chrono::milliseconds(150));
  SendMessage(hwnd, WM_LBUTTONUP, 0, At(5, 5));
  std::size_t repeats = parent_.calls.size();
  EXPECT_GE(repeats, 3u);  // at once, then again while held
  PumpFor(std::chrono::milliseconds(60));
  EXPECT_EQ(parent_.calls.size(), repeats);  // and not after the release

  parent_.calls.clear();
  SendMessage(hwnd, WM_LBUTTONDOWN, 0, At(30, 5));
  PumpFor(std::chrono::milliseconds(100));
  SendMessage(hwnd, WM_LBUTTONUP, 0, At(30, 5));
  SendMessage(hwnd, WM_LBUTTONDOWN, 0, At(30, 5));
  SendMessage(hwnd, WM_LBUTTONUP, 0, At(30, 5));  // a short tap is a click
  EXPECT_THAT(parent_.calls, ElementsAre("command 13 256", "command 13 0"));
}

}  // namespace
}  // namespace toolkit
