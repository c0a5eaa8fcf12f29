// The status dialog as the program's resources describe it: made into a real
// dialog, its controls, their texts and first states, and its soft-key bar.

#include "resources/status_dialog.h"

#include <gtest/gtest.h>

#include "tests/support/test_environment.h"
#include "toolkit/controls.h"
#include "toolkit/dialog_manager.h"
#include "toolkit/menu_bar.h"
#include "toolkit/resources.h"

namespace resources {
namespace {

using namespace platform;

bool Overlap(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

TEST(StatusDialogResourceTest, MakesTheStatusDialogWithItsControls) {
  testing_support::ScopedTestHome home;
  RegisterProgramResources();
  RegisterProgramResources();  // a second call changes nothing
  EXPECT_EQ(toolkit::LoadStringW(kAppTitleString), u"Dictalo");
  EXPECT_EQ(toolkit::LoadStringW(kSavingNoteTitleString), u"Saving a Note");
  EXPECT_EQ(toolkit::LoadStringW(kDontShowAgainString), u"Don't show this again");
  EXPECT_NE(toolkit::LoadStringW(kSavingNoteTextString).find(u"unsent"), std::u16string::npos);

  HWND dialog = toolkit::CreateDialogParamW(kStatusDialog, nullptr, nullptr, 0);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(GetWindowText(dialog), u"Dictalo");
  RECT client;
  GetClientRect(dialog, &client);
  EXPECT_EQ(client.bottom, kStatusDialogHeight);

  struct Row {
    int id;
    std::u16string_view class_name;
    std::u16string text;
    bool visible;
  } rows[] = {
      {kStatusTextControl, toolkit::kStaticClass, u"", true},
      {kStatusDetailControl, toolkit::kStaticClass, u"", true},
      {kStopSendButton, toolkit::kButtonClass, u"Stop && Send", true},
      {kStopSaveButton, toolkit::kButtonClass, u"Stop && Save", true},
      {kCancelButton, toolkit::kButtonClass, u"Cancel", true},
      {kStatusProgressControl, toolkit::kProgressClass, u"", false},
  };
  RECT dialog_rect;
  GetWindowRect(dialog, &dialog_rect);
  std::vector<RECT> buttons;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.id);
    HWND control = GetDlgItem(dialog, row.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(GetClassName(control), row.class_name);
    EXPECT_EQ(GetWindowText(control), row.text);
    EXPECT_EQ((GetWindowLongPtr(control, GWL_STYLE) & WS_VISIBLE) != 0, row.visible);
    RECT r;
    GetWindowRect(control, &r);
    EXPECT_GE(r.left, dialog_rect.left);
    EXPECT_LE(r.right, dialog_rect.right);
    EXPECT_GE(r.top, dialog_rect.top);
    EXPECT_LE(r.bottom, dialog_rect.bottom);
    if (row.class_name == toolkit::kButtonClass) {
      EXPECT_EQ(GetWindowLongPtr(control, GWL_STYLE) & toolkit::BS_TYPEMASK, toolkit::BS_OWNERDRAW);
      for (const RECT& other : buttons) EXPECT_FALSE(Overlap(r, other));
      buttons.push_back(r);
    }
  }
  // The progress bar takes the second line's place, below the first line.
  RECT first, second, bar;
  GetWindowRect(GetDlgItem(dialog, kStatusTextControl), &first);
  GetWindowRect(GetDlgItem(dialog, kStatusDetailControl), &second);
  GetWindowRect(GetDlgItem(dialog, kStatusProgressControl), &bar);
  EXPECT_TRUE(Overlap(second, bar));
  EXPECT_FALSE(Overlap(first, bar));
  EXPECT_LE(second.bottom, buttons.front().top);

  toolkit::CMenuBar menu_bar;
  ASSERT_TRUE(menu_bar.Create(dialog, kStatusMenuBar));
  ASSERT_EQ(menu_bar.GetKeyCount(), 2u);
  EXPECT_EQ(menu_bar.GetKey(0)->text, u"Send");
  EXPECT_EQ(menu_bar.GetKey(0)->command, kSendCommand);
  EXPECT_EQ(menu_bar.GetKey(1)->text, u"Save");
  EXPECT_EQ(menu_bar.GetKey(1)->command, kSaveCommand);
  DestroyWindow(dialog);
}

}  // namespace
}  // namespace resources
