// The status dialog as the program's resources describe it: made into a real
// dialog, its controls, their texts and first states, and its soft-key bar.

#include "resources/status_dialog.h"

#include <gtest/gtest.h>

#include "platform/text.h"
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

// Room for a control's text on the desktop, estimated: the 9-point sans of a
// desktop at 96 dpi takes about 6 pixels a character and 14 a line; a check
// box or radio button gives its mark 20 pixels, a push button its frame 4.
// Where the text needs more than one line, the control must be that high.
struct TextRoom {
  int width = 0;  // pixels for the text on one line
  bool counts = false;
};

TextRoom RoomFor(const toolkit::ControlTemplate& c) {
  const int width = c.rect.right - c.rect.left;
  if (c.text.empty()) return {};
  if (platform::EqualsIgnoreAsciiCase(c.class_name, toolkit::kStaticClass)) return {width, true};
  if (!platform::EqualsIgnoreAsciiCase(c.class_name, toolkit::kButtonClass)) return {};
  switch (c.style & toolkit::BS_TYPEMASK) {
    case toolkit::BS_GROUPBOX:
      return {};
    case toolkit::BS_CHECKBOX:
    case toolkit::BS_AUTOCHECKBOX:
    case toolkit::BS_3STATE:
    case toolkit::BS_AUTO3STATE:
    case toolkit::BS_RADIOBUTTON:
    case toolkit::BS_AUTORADIOBUTTON:
      return {width - 20, true};
    default:
      return {width - 4, true};
  }
}

TEST(StatusDialogResourceTest, EveryDialogsTextsHaveTheLinesTheyNeed) {
  testing_support::ScopedTestHome home;
  RegisterProgramResources();
  constexpr int kCharWidth = 6;
  constexpr int kLineHeight = 14;
  for (UINT id : toolkit::DialogTemplateIds()) {
    auto dialog = toolkit::FindDialogTemplate(id);
    ASSERT_TRUE(dialog);
    for (const auto& c : dialog->controls) {
      TextRoom room = RoomFor(c);
      if (!room.counts) continue;
      int text_width = 0;
      for (std::size_t i = 0; i < c.text.size(); ++i)
        if (c.text[i] != u'&' || (i > 0 && c.text[i - 1] == u'&')) text_width += kCharWidth;
      ASSERT_GT(room.width, 0) << "dialog " << id << ", control " << c.id;
      const int lines = (text_width + room.width - 1) / room.width;
      if (lines > 1)
        EXPECT_GE(c.rect.bottom - c.rect.top, lines * kLineHeight)
            << "dialog " << id << ", control " << c.id << " needs " << lines << " lines";
    }
  }
}

// A group box's title is drawn across its top: what it frames starts below.
TEST(StatusDialogResourceTest, GroupTitlesHaveALineOfTheirOwn) {
  testing_support::ScopedTestHome home;
  RegisterProgramResources();
  constexpr int kTitleLine = 16;
  for (UINT id : toolkit::DialogTemplateIds()) {
    auto dialog = toolkit::FindDialogTemplate(id);
    ASSERT_TRUE(dialog);
    for (const auto& group : dialog->controls) {
      if (!platform::EqualsIgnoreAsciiCase(group.class_name, toolkit::kButtonClass) ||
          (group.style & toolkit::BS_TYPEMASK) != toolkit::BS_GROUPBOX)
        continue;
      for (const auto& c : dialog->controls)
        if (&c != &group && (c.style & WS_VISIBLE) && Overlap(c.rect, group.rect))
          EXPECT_GE(c.rect.top, group.rect.top + kTitleLine) << "dialog " << id << ": control " << c.id
                                                              << " under the title of group " << group.id;
    }
  }
}

}  // namespace
}  // namespace resources
