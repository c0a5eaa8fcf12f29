// The slider: range and position kept within it, the program's moves tell
// nobody, the user's moves tell the parent through WM_HSCROLL.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/control_test_support.h"
#include "toolkit/renderer.h"

namespace toolkit {
namespace {

using namespace testing_controls;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TrackbarTest : public ControlTest {};

TEST_F(TrackbarTest, ThePositionStaysWithinTheRange) {
  HWND slider = Make(kTrackbarClass, 1200, TBS_HORZ | TBS_AUTOTICKS);
  EXPECT_EQ(SendMessage(slider, TBM_GETRANGEMIN, 0, 0), 0);
  EXPECT_EQ(SendMessage(slider, TBM_GETRANGEMAX, 0, 0), 100);
  SendMessage(slider, TBM_SETRANGE, 1, MAKELPARAM(1, 10));
  SendMessage(slider, TBM_SETPOS, 1, 50);
  EXPECT_EQ(SendMessage(slider, TBM_GETPOS, 0, 0), 10);
  SendMessage(slider, TBM_SETPOS, 1, -3);
  EXPECT_EQ(SendMessage(slider, TBM_GETPOS, 0, 0), 1);
  SendMessage(slider, TBM_SETPOS, 1, 7);
  SendMessage(slider, TBM_SETRANGEMAX, 1, 5);  // shrinking the range pulls the position in
  EXPECT_EQ(SendMessage(slider, TBM_GETPOS, 0, 0), 5);
  SendMessage(slider, TBM_SETRANGEMIN, 1, 6);
  EXPECT_EQ(SendMessage(slider, TBM_GETPOS, 0, 0), 6);
  EXPECT_THAT(parent_.calls, IsEmpty());
}

TEST_F(TrackbarTest, TheUsersMovesTellTheParent) {
  HWND slider = Make(kTrackbarClass, 1201, 0);
  SendMessage(slider, TBM_SETRANGE, 1, MAKELPARAM(0, 20));
  EXPECT_TRUE(PostUserPosition(slider, 12));
  EXPECT_TRUE(PostUserPosition(slider, 12));  // no move, no message
  EXPECT_TRUE(PostUserPosition(slider, 99));  // kept within the range
  Pump();
  EXPECT_EQ(SendMessage(slider, TBM_GETPOS, 0, 0), 20);
  EXPECT_THAT(parent_.calls, ElementsAre("hscroll 4 12", "hscroll 8 0", "hscroll 4 20", "hscroll 8 0"));

  parent_.calls.clear();
  SendMessage(slider, TBM_SETLINESIZE, 0, 5);
  SendMessage(slider, WM_KEYDOWN, VK_LEFT, 0);
  EXPECT_EQ(SendMessage(slider, TBM_GETPOS, 0, 0), 15);
  EXPECT_THAT(parent_.calls, ElementsAre("hscroll 4 15", "hscroll 8 0"));

  parent_.calls.clear();
  EnableWindow(slider, false);
  PostUserPosition(slider, 3);
  Pump();
  EXPECT_EQ(SendMessage(slider, TBM_GETPOS, 0, 0), 15);
  EXPECT_THAT(parent_.calls, IsEmpty());
  DestroyWindow(slider);
  EXPECT_FALSE(PostUserPosition(slider, 3));
}

}  // namespace
}  // namespace toolkit
