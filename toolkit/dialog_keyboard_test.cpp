// The keyboard in a dialog with edit fields and lists: typing goes to the field,
// Enter in a one-line field presses the default button and in a multi-line one
// starts a new line, Escape cancels, Tab and Shift-Tab walk the tab stops
// (selecting a field's text), arrows stay with the list that has the focus, and
// the fields tell the dialog when they gain and lose the focus.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_environment.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/dialog_manager.h"
#include "toolkit/renderer.h"
#include "toolkit/resources.h"

namespace toolkit {
namespace {

using namespace platform;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int kName = 3001, kNotes = 3002, kPort = 3003, kMode = 3004, kSend = 3005, kLabel = 3006;

std::vector<std::string> g_commands;

LRESULT RecordingDialogProc(HWND, UINT msg, WPARAM wparam, LPARAM) {
  if (msg == WM_INITDIALOG) return 1;
  if (msg != WM_COMMAND) return 0;
  g_commands.push_back(std::to_string(LOWORD(wparam)) + " " + std::to_string(HIWORD(wparam)));
  return 1;
}

class DialogKeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_commands.clear();
    DialogTemplate d;
    d.title = u"Account";
    d.width = 240;
    d.height = 200;
    d.style = WS_POPUP | WS_VISIBLE;
    auto control = [](std::u16string_view cls, int id, const char16_t* text, DWORD style, int top) {
      return ControlTemplate{std::u16string(cls), id, text, RECT{4, top, 200, top + 20}, style | WS_VISIBLE, 0};
    };
    d.controls = {
        control(kStaticClass, kLabel, u"Name:", 0, 0),
        control(kEditClass, kName, u"Jane", WS_TABSTOP | ES_AUTOHSCROLL, 20),
        control(kEditClass, kNotes, u"", WS_TABSTOP | ES_MULTILINE, 40),
        control(kEditClass, kPort, u"25", WS_TABSTOP | ES_NUMBER, 60),
        control(kComboBoxClass, kMode, u"", WS_TABSTOP | CBS_DROPDOWNLIST, 80),
        control(kButtonClass, kSend, u"Send", WS_TABSTOP | BS_DEFPUSHBUTTON, 100),
        control(kButtonClass, IDCANCEL, u"Cancel", WS_TABSTOP | BS_PUSHBUTTON, 120),
    };
    dialog_ = CreateDialogIndirectParamW(d, nullptr, RecordingDialogProc, 0);
    ASSERT_NE(dialog_, nullptr);
    for (const char16_t* mode : {u"Plain", u"SSL"})
      SendMessage(GetDlgItem(dialog_, kMode), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(mode));
  }
  void TearDown() override {
    if (IsWindow(dialog_)) DestroyWindow(dialog_);
  }

  void Pump() {
    MSG msg;
    while (PeekMessage(&msg)) {
      if (!IsDialogMessageW(dialog_, &msg)) {
        TranslateMessage(msg);
        DispatchMessage(msg);
      }
    }
  }
  void Key(UINT vk) {
    ASSERT_TRUE(PostKey(dialog_, vk));
    Pump();
  }
  HWND Item(int id) { return GetDlgItem(dialog_, id); }

  testing_support::ScopedTestHome home_;
  HWND dialog_ = nullptr;
};

TEST_F(DialogKeyboardTest, TypingEnterAndEscapeInAOneLineField) {
  HWND name = Item(kName);
  EXPECT_EQ(GetFocus(), name);
  // The first field starts with its text selected: typing replaces it.
  EXPECT_EQ(SendMessage(name, EM_GETSEL, 0, 0), MAKELPARAM(0, 4));
  Key('J');
  Key('O');
  EXPECT_EQ(GetWindowText(name), u"jo");
  g_commands.clear();
  Key(VK_RETURN);  // the default button, and no line break in the field
  EXPECT_EQ(GetWindowText(name), u"jo");
  Key(VK_ESCAPE);
  EXPECT_THAT(g_commands, ElementsAre("3005 0", "2 0"));
  EXPECT_EQ(GetFocus(), name);
}

TEST_F(DialogKeyboardTest, MultiLineFieldsKeepEnterAndNumberFieldsRefuseLetters) {
  Key(VK_TAB);
  HWND notes = Item(kNotes);
  EXPECT_EQ(GetFocus(), notes);
  g_commands.clear();
  Key('A');
  Key(VK_RETURN);
  Key('B');
  EXPECT_EQ(GetWindowText(notes), u"a\r\nb");
  EXPECT_THAT(g_commands, ElementsAre("3002 768", "3002 768", "3002 768"));  // EN_CHANGE each time

  Key(VK_TAB);
  HWND port = Item(kPort);
  EXPECT_EQ(GetFocus(), port);
  Key('X');
  Key('5');
  EXPECT_EQ(GetWindowText(port), u"5");  // "25" was selected by Tab and replaced
}

TEST_F(DialogKeyboardTest, TabWalksTheStopsAndFieldsReportTheirFocus) {
  g_commands.clear();
  Key(VK_TAB);
  Key(VK_TAB);
  Key(VK_TAB);
  EXPECT_EQ(GetFocus(), Item(kMode));
  EXPECT_THAT(g_commands, ElementsAre("3001 512", "3002 256", "3002 512", "3003 256", "3003 512", "3004 3"));

  // Arrows belong to the list that has the focus.
  g_commands.clear();
  Key(VK_DOWN);
  EXPECT_EQ(SendMessage(Item(kMode), CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(GetWindowText(Item(kMode)), u"Plain");
  EXPECT_THAT(g_commands, ElementsAre("3004 1"));

  Key(VK_TAB);
  Key(VK_TAB);
  EXPECT_EQ(GetFocus(), Item(IDCANCEL));
  Key(VK_TAB);
  EXPECT_EQ(GetFocus(), Item(kName));  // round again; the label is no stop
  PostMessage(GetFocus(), WM_KEYDOWN, VK_SHIFT, 0);  // held while Tab is pressed
  Key(VK_TAB);
  EXPECT_EQ(GetFocus(), Item(IDCANCEL));
  PostMessage(Item(IDCANCEL), WM_KEYUP, VK_SHIFT, 0);
  Pump();

  // WM_NEXTDLGCTL: to a named control, or to the next stop; a disabled stop is passed over.
  SendMessage(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(kPort)), 1);
  EXPECT_EQ(GetFocus(), Item(kPort));
  EnableWindow(Item(kMode), false);
  SendMessage(dialog_, WM_NEXTDLGCTL, 0, 0);
  EXPECT_EQ(GetFocus(), Item(kSend));
}

TEST_F(DialogKeyboardTest, ATappedFieldTakesTheFocusThroughItsDialog) {
  HWND port = Item(kPort);
  ASSERT_TRUE(PostUserFocus(port));
  Pump();
  EXPECT_EQ(GetFocus(), port);
  EXPECT_EQ(GetDialogFocus(dialog_), port);
  // A tap does not select the text, unlike Tab.
  EXPECT_EQ(SendMessage(port, EM_GETSEL, 0, 0), MAKELPARAM(0, 0));
  Key('7');
  EXPECT_EQ(GetWindowText(port), u"725");
}

}  // namespace
}  // namespace toolkit
