// The label edit: it opens on a tap or by Tab, takes the typed value when the
// focus leaves and tells its parent only of a real change; read-only labels
// stay shut; passwords never show; the arrow tells the parent.

#include "toolkit/ce_label_edit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/control_test_support.h"
#include "toolkit/renderer.h"

namespace toolkit {
namespace {

using namespace testing_controls;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class CeLabelEditTest : public ControlTest {};

TEST_F(CeLabelEditTest, OpensTakesTheTypedValueAndTellsOfChanges) {
  CeLabelEdit label;
  HWND hwnd = label.Create(parent_hwnd_, 2101, RECT{0, 0, 120, 20}, CeLabelEdit::TYPE_NUMBER, u"25");
  ASSERT_NE(hwnd, nullptr);
  HWND other = Make(kButtonClass, 2102, BS_PUSHBUTTON);
  EXPECT_EQ(GetWindowText(hwnd), u"25");
  EXPECT_FALSE(IsWindowVisible(label.edit()));

  EXPECT_TRUE(PostClick(hwnd));
  Pump();
  ASSERT_TRUE(label.IsEditing());
  EXPECT_TRUE(IsWindowVisible(label.edit()));
  EXPECT_EQ(GetFocus(), label.edit());
  EXPECT_EQ(SendMessage(label.edit(), EM_GETSEL, 0, 0), MAKELPARAM(0, 2));
  PostUserText(label.edit(), u"465x");  // a number field keeps the digits
  Pump();
  SetFocus(other);
  EXPECT_FALSE(label.IsEditing());
  EXPECT_FALSE(IsWindowVisible(label.edit()));
  EXPECT_EQ(label.GetValue(), u"465");
  EXPECT_EQ(GetWindowText(hwnd), u"465");
  EXPECT_THAT(parent_.calls, ElementsAre("command 2101 768"));

  // Opened by the focus and left unchanged: nobody is told.
  parent_.calls.clear();
  SetFocus(hwnd);
  EXPECT_EQ(GetFocus(), label.edit());
  SetFocus(other);
  EXPECT_THAT(parent_.calls, IsEmpty());

  label.SetReadOnly(true);
  SendMessage(hwnd, BM_CLICK, 0, 0);
  SendMessage(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_FALSE(label.IsEditing());
  EXPECT_EQ(SendMessage(hwnd, WM_GETDLGCODE, 0, 0), DLGC_STATIC);
  DestroyWindow(hwnd);
}

TEST_F(CeLabelEditTest, PasswordsStayHiddenAndTheArrowTellsTheParent) {
  CeLabelEdit password;
  HWND hwnd = password.Create(parent_hwnd_, 2103, RECT{0, 0, 120, 20}, CeLabelEdit::TYPE_PASSWORD, u"hunter2");
  EXPECT_EQ(GetWindowText(hwnd), u"*******");
  EXPECT_EQ(password.GetValue(), u"hunter2");
  EXPECT_TRUE(GetWindowLongPtr(password.edit(), GWL_STYLE) & ES_PASSWORD);
  EXPECT_EQ(GetWindowText(password.edit()), u"");  // the value is only in the field while it is open
  SendMessage(hwnd, BM_CLICK, 0, 0);
  EXPECT_EQ(GetWindowText(password.edit()), u"hunter2");
  SetFocus(nullptr);
  EXPECT_EQ(GetWindowText(password.edit()), u"");
  EXPECT_EQ(password.GetValue(), u"hunter2");

  CeLabelEdit server;
  HWND arrow = server.Create(parent_hwnd_, 2104, RECT{0, 30, 120, 50}, CeLabelEdit::TYPE_ARROW, u"Work");
  SendMessage(arrow, WM_LBUTTONUP, 0, MAKELPARAM(110, 5));  // on the arrow
  EXPECT_FALSE(server.IsEditing());
  EXPECT_THAT(parent_.calls, ElementsAre("command 2104 " + std::to_string(CeLabelEdit::LEN_ARROWCLICKED)));
  SendMessage(arrow, WM_LBUTTONUP, 0, MAKELPARAM(10, 5));  // on the text
  EXPECT_TRUE(server.IsEditing());
  RECT r;
  GetClientRect(server.edit(), &r);
  EXPECT_EQ(r.right, 120 - CeLabelEdit::kArrowWidth);  // the field leaves the arrow free

  // A key typed at a closed label opens it with that key.
  SetFocus(nullptr);
  EXPECT_FALSE(server.IsEditing());
  EnableWindow(arrow, false);
  SendMessage(arrow, WM_LBUTTONUP, 0, MAKELPARAM(10, 5));
  EXPECT_FALSE(server.IsEditing());
  EnableWindow(arrow, true);
  SendMessage(arrow, WM_CHAR, 'h', 0);
  EXPECT_TRUE(server.IsEditing());
  EXPECT_EQ(GetWindowText(server.edit()), u"h");
}

}  // namespace
}  // namespace toolkit
