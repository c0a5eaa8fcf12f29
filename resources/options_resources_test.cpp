// The options screen's resources: every dialog with its title and the texts the
// user reads, laid out without overlaps inside the dialog and above its
// soft-key bar, and the soft-key bars with their entries and commands.

#include "resources/options_resources.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "toolkit/menu_bar.h"
#include "toolkit/resources.h"

namespace resources {
namespace {

using platform::RECT;

bool Overlap(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

struct DialogCase {
  UINT id;
  std::u16string title;
  std::map<int, std::u16string> texts;  // control id → text
  bool page;                            // a popup with a soft-key bar of its own
};

const std::vector<DialogCase>& Dialogs() {
  static const std::vector<DialogCase> cases = {
      {kOptionsScreenDialog, u"Settings",
       {{kModeLabel, u"Recorded notes will be:"}, {kDetailsButton, u"Details\u2026"}, {kEncodingLabel, u"Encoding:"},
        {kHotkeyLabel, u"Hotkey:"}, {kPlaySoundCheck, u"Play Sound"}, {kPlayButton, u"\u2026"},
        {kViewNotesButton, u"View Notes\u2026"}, {kDeleteAllButton, u"Delete All"}, {kResendAllButton, u"Resend All"},
        {kModeList, u""}, {kEncodingList, u""}, {kSoundList, u""}, {kUnsentLine, u""}},
       false},
      {kFilePageDialog, u"Save As File Settings",
       {{kFileNameLabel, u"File Name:"}, {kFileNameEdit, u""}, {kSaveToLabel, u"Save To:"}, {kSaveToEdit, u""},
        {kBrowseButton, u"\u2026"}},
       true},
      {kSmtpPageDialog, u"Send Via SMTP Settings",
       {{kFromLabel, u"Send From:"}, {kFromEdit, u""}, {kToLabel, u"Send To:"}, {kToEdit, u""},
        {kSubjectLabel, u"Subject:"}, {kSubjectEdit, u""}, {kSendImmediatelyCheck, u"Send Immediately"},
        {kAccountButton, u"Account\u2026"}, {kTestButton, u"Test\u2026"}, {kConnectionButton, u"Connection\u2026"}},
       true},
      {kActiveSyncPageDialog, u"Send Via ActiveSync Settings",
       {{kToLabel, u"Send To:"}, {kToEdit, u""}, {kSubjectLabel, u"Subject:"}, {kSubjectEdit, u""}},
       true},
      {kWebPageDialog, u"Send Via Corvane Service Settings",
       {{kFromLabel, u"Send From:"}, {kFromEdit, u""}, {kToLabel, u"Send To:"}, {kToEdit, u""},
        {kSubjectLabel, u"Subject:"}, {kSubjectEdit, u""}, {kSendImmediatelyCheck, u"Send Immediately"},
        {kUseSmtpCheck, u"Use SMTP protocol"}, {kSignupButton, u"Signup\u2026"},
        {kConnectionButton, u"Connection\u2026"}},
       true},
      {kSignupDialog, u"Web Service Signup",
       {{kSignupIntroText, u"To use Corvane mail sending service you need to register for free at:"},
        {kSignupLink, u"https://www.corvane.com/products/dictalo/DK_Signup.php"},
        {kSignupAfterText, u"After registration please enter your user name and password below."},
        {kUserNameLabel, u"User Name:"}, {kUserNameEdit, u""}, {kPasswordLabel, u"Password:"}, {kPasswordEdit, u""}},
       true},
      {kSelectFolderDialog, u"Select Folder",
       {{kFolderPrompt, u"Please select a folder where you want voice notes to be stored"}, {kFolderTree, u""},
        {kNewFolderButton, u"New Folder"}},
       true},
      {kNewFolderDialog, u"Create New Folder", {{kNewFolderLabel, u"New Folder Name:"}, {kNewFolderEdit, u""}}, true},
  };
  return cases;
}

TEST(OptionsResourcesTest, DialogsHoldTheirTextsWithoutOverlapsAboveTheirBars) {
  RegisterOptionsResources();
  RegisterOptionsResources();  // a second call changes nothing
  for (const DialogCase& c : Dialogs()) {
    SCOPED_TRACE(c.id);
    auto dialog = toolkit::FindDialogTemplate(c.id);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->title, c.title);
    EXPECT_EQ(dialog->controls.size(), c.texts.size()) << "every control is listed here";
    EXPECT_EQ((dialog->style & platform::WS_CHILD) != 0, !c.page);
    const int content_bottom = c.page ? dialog->height - toolkit::kMenuBarHeight : dialog->height;
    for (std::size_t i = 0; i < dialog->controls.size(); ++i) {
      const auto& control = dialog->controls[i];
      SCOPED_TRACE(control.id);
      auto expected = c.texts.find(control.id);
      ASSERT_NE(expected, c.texts.end());
      EXPECT_EQ(control.text, expected->second);
      EXPECT_GE(control.rect.left, 0);
      EXPECT_LE(control.rect.right, dialog->width);
      EXPECT_GE(control.rect.top, 0);
      EXPECT_LE(control.rect.bottom, content_bottom);
      for (std::size_t j = 0; j < i; ++j)
        EXPECT_FALSE(Overlap(control.rect, dialog->controls[j].rect)) << "overlaps " << dialog->controls[j].id;
    }
  }
}

TEST(OptionsResourcesTest, SoftKeyBarsCarryTheirEntriesAndCommands) {
  RegisterOptionsResources();
  auto main = toolkit::FindMenuBar(kMainMenuBar);
  ASSERT_TRUE(main);
  ASSERT_EQ(main->keys.size(), 2u);
  EXPECT_EQ(main->keys[0].command, 1u);
  EXPECT_EQ(main->keys[1].popup_id, kMainMenuPopup);
  std::vector<std::pair<std::u16string, UINT>> popup;
  for (const auto& item : main->keys[1].popup) popup.emplace_back(item.text, item.command);
  EXPECT_EQ(popup, (std::vector<std::pair<std::u16string, UINT>>{{u"About\u2026", 40002},
                                                                   {u"View Notes\u2026", 40010},
                                                                   {u"Delete Notes", 40011},
                                                                   {u"Resend Notes", 40012},
                                                                   {u"Cancel", 2}}));

  auto entries = [](UINT bar_id) {
    std::vector<std::pair<std::u16string, UINT>> out;
    auto bar = toolkit::FindMenuBar(bar_id);
    if (!bar) return out;
    for (const auto& key : bar->keys) {
      if (key.popup.empty()) out.emplace_back(key.text, key.command);
      for (const auto& item : key.popup) out.emplace_back(item.text, item.command);
    }
    return out;
  };
  using Entries = std::vector<std::pair<std::u16string, UINT>>;
  EXPECT_EQ(entries(kOptionsOkCancelMenuBar), (Entries{{u"OK", 1}, {u"Cancel", 2}}));
  // Page menus send the ids of the buttons they stand for.
  EXPECT_EQ(entries(kSmtpPageMenuBar), (Entries{{u"OK", 1},
                                                {u"Mail Account\u2026", kAccountButton},
                                                {u"Test Account\u2026", kTestButton},
                                                {u"Connection\u2026", kConnectionButton},
                                                {u"Cancel", 2}}));
  EXPECT_EQ(entries(kWebPageMenuBar),
            (Entries{{u"OK", 1}, {u"Signup\u2026", kSignupButton}, {u"Connection\u2026", kConnectionButton}, {u"Cancel", 2}}));
}

}  // namespace
}  // namespace resources
