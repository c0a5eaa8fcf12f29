// The tab control: tabs and the current one, and the user's change that the
// parent may refuse.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/control_test_support.h"
#include "toolkit/renderer.h"

namespace toolkit {
namespace {

using namespace testing_controls;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TabControlTest : public ControlTest {
 protected:
  HWND MakeTabs() {
    HWND tabs = Make(kTabControlClass, 1500, 0);
    for (const char16_t* name : {u"General", u"Security"}) {
      std::u16string text = name;
      TCITEMW item;
      item.mask = TCIF_TEXT | TCIF_PARAM;
      item.pszText = text.data();
      item.lParam = static_cast<LPARAM>(text.size());
      SendMessage(tabs, TCM_INSERTITEMW, 99, reinterpret_cast<LPARAM>(&item));
    }
    return tabs;
  }
};

TEST_F(TabControlTest, TabsAndTheCurrentOne) {
  HWND tabs = Make(kTabControlClass, 1500, 0);
  EXPECT_EQ(SendMessage(tabs, TCM_GETCURSEL, 0, 0), -1);
  SendMessage(tabs, WM_NULL, 0, 0);
  DestroyWindow(tabs);
  tabs = MakeTabs();
  EXPECT_EQ(SendMessage(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessage(tabs, TCM_GETCURSEL, 0, 0), 0);  // the first tab shows at once
  char16_t text[5];
  TCITEMW item;
  item.mask = TCIF_TEXT | TCIF_PARAM;
  item.pszText = text;
  item.cchTextMax = 5;
  EXPECT_EQ(SendMessage(tabs, TCM_GETITEMW, 1, reinterpret_cast<LPARAM>(&item)), 1);
  EXPECT_EQ(std::u16string(text), u"Secu");
  EXPECT_EQ(item.lParam, 8);
  EXPECT_EQ(SendMessage(tabs, TCM_GETITEMW, 2, reinterpret_cast<LPARAM>(&item)), 0);

  EXPECT_EQ(SendMessage(tabs, TCM_SETCURSEL, 1, 0), 0);
  EXPECT_EQ(SendMessage(tabs, TCM_SETCURSEL, 2, 0), -1);
  EXPECT_EQ(SendMessage(tabs, TCM_GETCURSEL, 0, 0), 1);
  SendMessage(tabs, TCM_DELETEITEM, 1, 0);
  EXPECT_EQ(SendMessage(tabs, TCM_GETCURSEL, 0, 0), 0);
  SendMessage(tabs, TCM_DELETEALLITEMS, 0, 0);
  EXPECT_EQ(SendMessage(tabs, TCM_GETCURSEL, 0, 0), -1);
  EXPECT_THAT(parent_.calls, IsEmpty());
}

TEST_F(TabControlTest, TheParentMayKeepTheCurrentTab) {
  HWND tabs = MakeTabs();
  parent_.notify_answer = 1;
  PostUserSelect(tabs, 1);
  Pump();
  EXPECT_EQ(SendMessage(tabs, TCM_GETCURSEL, 0, 0), 0);
  EXPECT_THAT(parent_.calls, ElementsAre("notify 1500 -552"));

  parent_.calls.clear();
  parent_.notify_answer = 0;
  PostUserSelect(tabs, 1);
  PostUserSelect(tabs, 1);
  PostUserSelect(tabs, 5);
  Pump();
  EXPECT_EQ(SendMessage(tabs, TCM_GETCURSEL, 0, 0), 1);
  EXPECT_THAT(parent_.calls, ElementsAre("notify 1500 -552", "notify 1500 -551"));

  // Destroyed while asked: nothing more happens, nothing breaks.
  parent_.calls.clear();
  parent_.on_notification = [&] { DestroyWindow(tabs); };
  PostUserSelect(tabs, 0);
  Pump();
  EXPECT_FALSE(IsWindow(tabs));
  EXPECT_THAT(parent_.calls, ElementsAre("notify 1500 -552"));
  EXPECT_FALSE(PostUserSelect(tabs, 0));
}

}  // namespace
}  // namespace toolkit
