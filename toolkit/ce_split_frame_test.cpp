// The split frame: where the panes go, the minimum sizes, which pane keeps its
// size when the frame is resized, and the user's drag of the bar.

#include "toolkit/ce_split_frame.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/control_test_support.h"
#include "toolkit/renderer.h"

namespace toolkit {
namespace {

using namespace testing_controls;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class CeSplitFrameTest : public ControlTest {
 protected:
  static RECT Place(HWND pane) {
    RECT r;
    GetWindowRect(pane, &r);
    RECT parent;
    GetWindowRect(GetParent(pane), &parent);
    return RECT{r.left - parent.left, r.top - parent.top, r.right - parent.left, r.bottom - parent.top};
  }
  static LPARAM At(int x, int y) { return MAKELPARAM(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y)); }
  HWND Pane(HWND frame, int id) {
    return CreateWindowEx(0, kListBoxClass, u"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, frame, static_cast<UINT>(id),
                          nullptr);
  }
};

TEST_F(CeSplitFrameTest, PanesFollowThePositionWithinTheirMinimums) {
  CeSplitFrame frame;
  frame.SetSplitterPos(80);  // asked before the frame exists: kept
  HWND hwnd = frame.Create(parent_hwnd_, 2300, RECT{0, 0, 204, 100}, CeSplitFrame::kLeftRight);
  HWND list = Pane(hwnd, 1), detail = Pane(hwnd, 2);
  frame.SetPanes(list, detail);
  RECT a = Place(list), b = Place(detail);
  EXPECT_EQ(a.right, 80);
  EXPECT_EQ(b.left, 84);  // after the 4-pixel bar
  EXPECT_EQ(b.right, 204);
  EXPECT_EQ(a.bottom, 100);

  frame.SetMinSizes(50, 130);
  EXPECT_EQ(frame.GetSplitterPos(), 70);  // the second pane's minimum pushes the bar left
  frame.SetSplitterPos(10);
  EXPECT_EQ(frame.GetSplitterPos(), 50);

  // Narrower than both minimums: the docked pane keeps its minimum.
  MoveWindow(hwnd, 0, 0, 100, 100, true);
  EXPECT_EQ(frame.GetSplitterPos(), 50);
  EXPECT_EQ(Place(detail).left, 54);
  EXPECT_EQ(Place(detail).right, 100);
  EXPECT_EQ(SendMessage(hwnd, SFM_GETPOS, 0, 0), 50);
  EXPECT_THAT(parent_.calls, IsEmpty());
}

TEST_F(CeSplitFrameTest, TheDockedPaneKeepsItsSize) {
  CeSplitFrame frame;
  HWND hwnd = frame.Create(parent_hwnd_, 2301, RECT{0, 0, 100, 200}, CeSplitFrame::kTopBottom);
  HWND top = Pane(hwnd, 1), bottom = Pane(hwnd, 2);
  frame.SetOffsets(RECT{0, 10, 0, 0});
  frame.SetPanes(top, bottom);
  frame.SetDockSide(CeSplitFrame::kDockSecond);
  frame.SetSplitterPos(60);
  EXPECT_EQ(Place(bottom).top, 140);
  EXPECT_EQ(Place(top).top, 10);
  MoveWindow(hwnd, 0, 0, 100, 300, true);
  EXPECT_EQ(Place(bottom).top, 240);  // still 60 high
  EXPECT_EQ(Place(top).bottom, 236);
  // Switching the docked side leaves the panes where they are.
  frame.SetDockSide(CeSplitFrame::kDockFirst);
  EXPECT_EQ(Place(top).bottom, 236);
  EXPECT_EQ(frame.GetSplitterPos(), 226);
}

TEST_F(CeSplitFrameTest, TheUserDragsTheBar) {
  CeSplitFrame frame;
  HWND hwnd = frame.Create(parent_hwnd_, 2302, RECT{0, 0, 200, 100}, CeSplitFrame::kLeftRight);
  HWND left = Pane(hwnd, 1), right = Pane(hwnd, 2);
  frame.SetPanes(left, right);
  frame.SetSplitterPos(100);
  frame.SetMinSizes(20, 20);
  SendMessage(hwnd, WM_LBUTTONDOWN, 0, At(50, 5));  // not on the bar
  EXPECT_FALSE(frame.IsDragging());
  SendMessage(hwnd, WM_LBUTTONDOWN, 0, At(102, 5));
  EXPECT_TRUE(frame.IsDragging());
  SendMessage(hwnd, WM_MOUSEMOVE, 0, At(62, 5));
  EXPECT_EQ(Place(left).right, 60);
  SendMessage(hwnd, WM_LBUTTONUP, 0, At(2, 5));  // past the minimum
  EXPECT_EQ(frame.GetSplitterPos(), 20);
  EXPECT_THAT(parent_.calls, ElementsAre("command 2302 1"));

  EXPECT_TRUE(PostUserPosition(hwnd, 150));
  EXPECT_TRUE(PostUserPosition(hwnd, 150));  // no move: no message
  Pump();
  EXPECT_EQ(Place(right).left, 154);
  EXPECT_THAT(parent_.calls, ElementsAre("command 2302 1", "command 2302 1"));
  EnableWindow(hwnd, false);
  PostUserPosition(hwnd, 40);
  Pump();
  EXPECT_EQ(frame.GetSplitterPos(), 150);
}

}  // namespace
}  // namespace toolkit
