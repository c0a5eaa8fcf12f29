// The drop-down list: filling, sorting, finding and reading entries, indexes
// out of range, deleting the selected entry, and the user's choices.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/control_test_support.h"
#include "toolkit/renderer.h"

namespace toolkit {
namespace {

using namespace testing_controls;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ComboBoxTest : public ControlTest {
 protected:
  static LRESULT Add(HWND combo, const char16_t* text) {
    return SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  static std::u16string Item(HWND combo, int index) {
    LRESULT length = SendMessage(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) return u"<err>";
    std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
    SendMessage(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
  }
};

TEST_F(ComboBoxTest, EntriesKeepTheirOrderValuesAndSelection) {
  HWND combo = Make(kComboBoxClass, 1100, CBS_DROPDOWNLIST);
  EXPECT_EQ(Add(combo, u"Work"), 0);
  EXPECT_EQ(Add(combo, u"The Internet"), 1);
  EXPECT_EQ(SendMessage(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(u"None")), 0);
  EXPECT_EQ(SendMessage(combo, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"Last")), 3);
  EXPECT_EQ(SendMessage(combo, CB_GETCOUNT, 0, 0), 4);
  EXPECT_EQ(SendMessage(combo, CB_SETITEMDATA, 2, 42), 1);
  EXPECT_EQ(SendMessage(combo, CB_GETITEMDATA, 2, 0), 42);
  EXPECT_EQ(SendMessage(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"the internet")),
            2);
  EXPECT_EQ(SendMessage(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"Intern")),
            CB_ERR);

  EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(SendMessage(combo, CB_SETCURSEL, 2, 0), 2);
  EXPECT_EQ(Text(combo), u"The Internet");
  // An insertion before the selection keeps the same entry selected.
  SendMessage(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(u"First"));
  EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 3);
  EXPECT_EQ(SendMessage(combo, CB_GETITEMDATA, 3, 0), 42);
  EXPECT_THAT(parent_.calls, IsEmpty());  // the program's own changes tell nobody
}

TEST_F(ComboBoxTest, IndexesOutOfRangeFailAndChangeNothing) {
  HWND combo = Make(kComboBoxClass, 1101, CBS_DROPDOWNLIST);
  Add(combo, u"a");
  Add(combo, u"b");
  SendMessage(combo, CB_SETCURSEL, 1, 0);
  EXPECT_EQ(SendMessage(combo, CB_SETCURSEL, 2, 0), CB_ERR);
  EXPECT_EQ(SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(-5), 0), CB_ERR);
  EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(SendMessage(combo, CB_DELETESTRING, 7, 0), CB_ERR);
  EXPECT_EQ(SendMessage(combo, CB_GETLBTEXTLEN, 2, 0), CB_ERR);
  char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(SendMessage(combo, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(buffer)), CB_ERR);
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(SendMessage(combo, CB_GETLBTEXT, 0, 0), CB_ERR);
  EXPECT_EQ(SendMessage(combo, CB_INSERTSTRING, 3, reinterpret_cast<LPARAM>(u"c")), CB_ERR);
  EXPECT_EQ(Add(combo, nullptr), CB_ERR);
  EXPECT_EQ(SendMessage(combo, CB_SETITEMDATA, 2, 1), CB_ERR);
  EXPECT_EQ(SendMessage(combo, CB_GETITEMDATA, 2, 0), CB_ERR);
  EXPECT_EQ(SendMessage(combo, CB_GETCOUNT, 0, 0), 2);
  PostUserSelect(combo, 9);
  Pump();
  EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 1);
  EXPECT_THAT(parent_.calls, IsEmpty());
}

TEST_F(ComboBoxTest, DeletingTheSelectedEntryLeavesNoSelection) {
  HWND combo = Make(kComboBoxClass, 1102, CBS_DROPDOWNLIST);
  for (auto text : {u"a", u"b", u"c"}) Add(combo, text);
  SendMessage(combo, CB_SETCURSEL, 2, 0);
  EXPECT_EQ(SendMessage(combo, CB_DELETESTRING, 0, 0), 2);
  EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 1);  // still "c"
  EXPECT_EQ(Text(combo), u"c");
  EXPECT_EQ(SendMessage(combo, CB_DELETESTRING, 1, 0), 1);
  EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(Text(combo), u"");
  SendMessage(combo, CB_SETCURSEL, 0, 0);
  SendMessage(combo, CB_RESETCONTENT, 0, 0);
  EXPECT_EQ(SendMessage(combo, CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST_F(ComboBoxTest, SortedListsInsertInOrder) {
  HWND combo = Make(kComboBoxClass, 1103, CBS_DROPDOWNLIST | CBS_SORT);
  Add(combo, u"pop3");
  Add(combo, u"IMAP");
  Add(combo, u"Exchange");
  EXPECT_EQ(Add(combo, u"imap"), 2);  // equal texts go after the ones there
  EXPECT_EQ(Item(combo, 0), u"Exchange");
  EXPECT_EQ(Item(combo, 1), u"IMAP");
  EXPECT_EQ(Item(combo, 2), u"imap");
  EXPECT_EQ(Item(combo, 3), u"pop3");
}

TEST_F(ComboBoxTest, TheUsersChoiceTellsTheParent) {
  HWND combo = Make(kComboBoxClass, 1104, CBS_DROPDOWNLIST);
  Add(combo, u"Wave");
  Add(combo, u"Ogg Vorbis");
  EXPECT_TRUE(PostUserSelect(combo, 1));
  EXPECT_TRUE(PostUserSelect(combo, 1));  // the same again is no change
  Pump();
  EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(Text(combo), u"Ogg Vorbis");
  EXPECT_THAT(parent_.calls, ElementsAre("command 1104 1"));

  // The arrow keys choose as the user.
  SendMessage(combo, WM_KEYDOWN, VK_UP, 0);
  EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 0);
  SendMessage(combo, WM_KEYDOWN, VK_UP, 0);  // nothing above the first
  EXPECT_EQ(parent_.calls.size(), 2u);

  // A list only takes no typed text; a drop-down's edit part does.
  PostUserText(combo, u"typed");
  Pump();
  EXPECT_EQ(Text(combo), u"Wave");
  HWND editable = Make(kComboBoxClass, 1105, CBS_DROPDOWN);
  PostUserText(editable, u"typed");
  Pump();
  EXPECT_EQ(Text(editable), u"typed");
  EXPECT_EQ(parent_.calls.back(), "command 1105 5");

  EnableWindow(combo, false);
  PostUserSelect(combo, 1);
  Pump();
  EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 0);
}

}  // namespace
}  // namespace toolkit
