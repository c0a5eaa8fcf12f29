// The edit field: the program's text and EN_CHANGE, what the user may type
// (digits only, the limit, read-only, disabled), the selection, focus
// notifications, and texts that no renderer made.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/control_test_support.h"
#include "toolkit/renderer.h"

namespace toolkit {
namespace {

using namespace testing_controls;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class EditTest : public ControlTest {};

TEST_F(EditTest, ProgramTextNotifiesOnlyRealChangesAndCopiesOutSafely) {
  HWND edit = Make(kEditClass, 1001, ES_AUTOHSCROLL, u"start");
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(Text(edit), u"start");
  EXPECT_THAT(parent_.calls, IsEmpty());  // the creation text is no change
  SetWindowText(edit, u"smtp.example.org");
  SetWindowText(edit, u"smtp.example.org");
  EXPECT_THAT(parent_.calls, ElementsAre("command 1001 768"));  // EN_CHANGE once

  // A buffer too small for the text gets what fits and a terminator, nothing beyond.
  char16_t buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(SendMessage(edit, WM_GETTEXT, 5, reinterpret_cast<LPARAM>(buffer)), 4);
  EXPECT_EQ(std::u16string(buffer), u"smtp");
  EXPECT_EQ(buffer[5], u'#');
  EXPECT_EQ(SendMessage(edit, WM_GETTEXTLENGTH, 0, 0), 16);
  EXPECT_EQ(SendMessage(edit, WM_GETTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 0);

  // A parent that rewrites the text while it hears of the change comes to rest.
  parent_.on_notification = [&] { SetWindowText(edit, u"fixed"); };
  SetWindowText(edit, u"other");
  EXPECT_EQ(Text(edit), u"fixed");
}

TEST_F(EditTest, UserTextKeepsToTheFieldsRules) {
  HWND number = Make(kEditClass, 1002, ES_NUMBER);
  HWND limited = Make(kEditClass, 1003, 0);
  HWND read_only = Make(kEditClass, 1004, ES_READONLY, u"fixed");
  SendMessage(limited, EM_LIMITTEXT, 4, 0);

  EXPECT_TRUE(PostUserText(number, u"2a5b"));
  EXPECT_TRUE(PostUserText(limited, u"abcdefgh"));
  EXPECT_TRUE(PostUserText(read_only, u"changed"));
  Pump();
  EXPECT_EQ(Text(number), u"25");
  EXPECT_EQ(Text(limited), u"abcd");
  EXPECT_EQ(Text(read_only), u"fixed");
  EXPECT_THAT(parent_.calls, ElementsAre("command 1002 768", "command 1003 768"));

  // The program itself is not held to the limit.
  SetWindowText(limited, u"longer text");
  EXPECT_EQ(Text(limited), u"longer text");

  // A single-line field keeps the first line of a pasted text.
  PostUserText(limited, u"ab\r\ncd");
  Pump();
  EXPECT_EQ(Text(limited), u"ab");

  // The limit never splits a character outside the basic plane.
  PostUserText(limited, u"abc\U0001F600");
  Pump();
  EXPECT_EQ(Text(limited), u"abc");
}

TEST_F(EditTest, DisabledFieldsAndFieldsInDisabledWindowsIgnoreTheUser) {
  HWND edit = Make(kEditClass, 1005, 0, u"kept");
  EnableWindow(edit, false);
  PostUserText(edit, u"typed");
  Pump();
  EXPECT_EQ(Text(edit), u"kept");

  EnableWindow(edit, true);
  EnableWindow(parent_hwnd_, false);  // as a modal dialog over it does
  PostUserText(edit, u"typed");
  PostMessage(edit, WM_CHAR, 'x', 0);
  Pump();
  EXPECT_EQ(Text(edit), u"kept");
  EXPECT_THAT(parent_.calls, IsEmpty());

  EnableWindow(parent_hwnd_, true);
  DestroyWindow(edit);
  EXPECT_FALSE(PostUserText(edit, u"late"));
  EXPECT_FALSE(PostUserFocus(edit));
}

TEST_F(EditTest, TypedCharactersReplaceTheSelectionWithinTheRules) {
  HWND edit = Make(kEditClass, 1006, ES_NUMBER, u"1234");
  SendMessage(edit, EM_SETSEL, 1, 3);
  EXPECT_EQ(SendMessage(edit, EM_GETSEL, 0, 0), MAKELPARAM(1, 3));
  SendMessage(edit, WM_CHAR, '9', 0);
  EXPECT_EQ(Text(edit), u"194");
  SendMessage(edit, WM_CHAR, 'x', 0);  // refused: digits only
  EXPECT_EQ(Text(edit), u"194");
  SendMessage(edit, WM_CHAR, VK_BACK, 0);
  EXPECT_EQ(Text(edit), u"14");
  SendMessage(edit, EM_LIMITTEXT, 2, 0);
  SendMessage(edit, WM_CHAR, '5', 0);  // refused: at the limit
  EXPECT_EQ(Text(edit), u"14");
  SendMessage(edit, EM_SETSEL, 0, -1);
  EXPECT_EQ(SendMessage(edit, EM_GETSEL, 0, 0), MAKELPARAM(0, 2));
  SendMessage(edit, WM_CHAR, '7', 0);
  EXPECT_EQ(Text(edit), u"7");
  SendMessage(edit, WM_CHAR, '\r', 0);  // Enter is the dialog's, not a character
  EXPECT_EQ(Text(edit), u"7");
  EXPECT_EQ(parent_.calls.size(), 3u);

  // Out-of-range selections are kept within the text.
  SendMessage(edit, EM_SETSEL, 50, 40);
  EXPECT_EQ(SendMessage(edit, EM_GETSEL, 0, 0), MAKELPARAM(1, 1));

  SendMessage(edit, EM_SETREADONLY, 1, 0);
  SendMessage(edit, WM_CHAR, '8', 0);
  EXPECT_EQ(Text(edit), u"7");
  SendMessage(edit, EM_SETREADONLY, 0, 0);
  SendMessage(edit, WM_CHAR, '8', 0);
  EXPECT_EQ(Text(edit), u"78");
}

TEST_F(EditTest, MultiLineFieldsTakeEnter) {
  HWND single = Make(kEditClass, 1007, 0);
  HWND multi = Make(kEditClass, 1008, ES_MULTILINE, u"a");
  MSG enter{single, WM_KEYDOWN, VK_RETURN, 0, 0};
  EXPECT_FALSE(SendMessage(single, WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&enter)) & DLGC_WANTMESSAGE);
  enter.hwnd = multi;
  EXPECT_TRUE(SendMessage(multi, WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&enter)) & DLGC_WANTMESSAGE);
  EXPECT_TRUE(SendMessage(single, WM_GETDLGCODE, 0, 0) & DLGC_WANTCHARS);
  SendMessage(multi, EM_SETSEL, 1, 1);
  SendMessage(multi, WM_CHAR, '\r', 0);
  SendMessage(multi, WM_CHAR, 'b', 0);
  EXPECT_EQ(Text(multi), u"a\r\nb");
  PostUserText(multi, u"one\r\ntwo");
  Pump();
  EXPECT_EQ(Text(multi), u"one\r\ntwo");
}

TEST_F(EditTest, FocusChangesTellTheParent) {
  HWND first = Make(kEditClass, 1009, 0);
  HWND second = Make(kEditClass, 1010, 0);
  PostUserFocus(first);
  Pump();
  EXPECT_EQ(GetFocus(), first);
  PostUserFocus(second);
  Pump();
  EXPECT_EQ(GetFocus(), second);
  EXPECT_THAT(parent_.calls, ElementsAre("command 1009 256", "command 1009 512", "command 1010 256"));
}

TEST_F(EditTest, TextMessagesNoRendererMadeAreIgnored) {
  HWND edit = Make(kEditClass, 1011, 0, u"safe");
  // A stray or forged TKM_USER_TEXT carries no text made for this field.
  SendMessage(edit, TKM_USER_TEXT, 0, 0x1234);
  SendMessage(edit, TKM_USER_TEXT, 0, 0);
  EXPECT_EQ(Text(edit), u"safe");
  // A text posted for another field is not taken by this one.
  HWND other = Make(kEditClass, 1012, 0);
  PostUserText(other, u"for other");
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg));
  SendMessage(edit, msg.message, msg.wParam, msg.lParam);
  EXPECT_EQ(Text(edit), u"safe");
  DispatchMessage(msg);
  EXPECT_EQ(Text(other), u"for other");
  // Only fields take typed text.
  HWND button = Make(kButtonClass, 1013, BS_PUSHBUTTON, u"OK");
  EXPECT_FALSE(PostUserText(button, u"typed"));
  EXPECT_FALSE(PeekMessage(&msg));
}

}  // namespace
}  // namespace toolkit
