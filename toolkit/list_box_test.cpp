// The list box: entries and values, indexes out of range, the selection when
// entries go, and what the user's choices tell a parent that asked to hear them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/control_test_support.h"
#include "toolkit/renderer.h"

namespace toolkit {
namespace {

using namespace testing_controls;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ListBoxTest : public ControlTest {
 protected:
  static LRESULT Add(HWND list, const char16_t* text) {
    return SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
};

TEST_F(ListBoxTest, EntriesSelectionAndRangeChecks) {
  HWND list = Make(kListBoxClass, 1300, LBS_SORT);
  Add(list, u"outbox");
  Add(list, u"Drafts");
  EXPECT_EQ(Add(list, u"inbox"), 1);
  EXPECT_EQ(SendMessage(list, LB_GETTEXTLEN, 1, 0), 5);
  char16_t text[6];
  EXPECT_EQ(SendMessage(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text)), 5);
  EXPECT_EQ(std::u16string(text), u"inbox");
  EXPECT_EQ(SendMessage(list, LB_SETITEMDATA, 2, 7), 1);
  EXPECT_EQ(SendMessage(list, LB_GETITEMDATA, 2, 0), 7);

  EXPECT_EQ(SendMessage(list, LB_SETCURSEL, 3, 0), LB_ERR);
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), LB_ERR);
  EXPECT_EQ(SendMessage(list, LB_SETCURSEL, 2, 0), 2);
  EXPECT_EQ(SendMessage(list, LB_SETCURSEL, 5, 0), LB_ERR);
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(SendMessage(list, LB_GETTEXT, 3, reinterpret_cast<LPARAM>(text)), LB_ERR);
  EXPECT_EQ(SendMessage(list, LB_GETITEMDATA, 3, 0), LB_ERR);
  EXPECT_EQ(SendMessage(list, LB_DELETESTRING, 3, 0), LB_ERR);

  // Removing an entry above keeps the selected one; removing it leaves none.
  EXPECT_EQ(SendMessage(list, LB_DELETESTRING, 0, 0), 2);
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(SendMessage(list, LB_DELETESTRING, 1, 0), 1);
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), LB_ERR);
  SendMessage(list, LB_RESETCONTENT, 0, 0);
  EXPECT_EQ(SendMessage(list, LB_GETCOUNT, 0, 0), 0);
  EXPECT_THAT(parent_.calls, IsEmpty());
}

TEST_F(ListBoxTest, TheUserChoosesAndOpensEntries) {
  HWND quiet = Make(kListBoxClass, 1301, 0);
  HWND list = Make(kListBoxClass, 1302, LBS_NOTIFY);
  for (HWND h : {quiet, list}) {
    Add(h, u"a");
    Add(h, u"b");
  }
  PostUserSelect(quiet, 1);
  PostUserSelect(list, 1);
  PostUserSelect(list, 1);
  PostUserActivate(list, 0);  // a double click picks the entry first
  PostUserSelect(list, 2);    // no such entry
  Pump();
  EXPECT_EQ(SendMessage(quiet, LB_GETCURSEL, 0, 0), 1);  // chosen, but it tells nobody
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 0);
  EXPECT_THAT(parent_.calls, ElementsAre("command 1302 1", "command 1302 1", "command 1302 2"));

  parent_.calls.clear();
  SendMessage(list, WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 1);
  EnableWindow(list, false);
  PostUserActivate(list, 0);
  Pump();
  EXPECT_THAT(parent_.calls, ElementsAre("command 1302 1"));
  EnableWindow(list, true);
  PostUserSelect(list, -1);  // the user cleared the selection
  PostUserActivate(list, -1);
  Pump();
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), LB_ERR);
  EXPECT_THAT(parent_.calls, ElementsAre("command 1302 1", "command 1302 1"));
}

}  // namespace
}  // namespace toolkit
