// The settings pages of the delivery modes, driven as a user drives them: the
// checks on OK with their messages and the focus on the field at fault, OK
// storing and Cancel storing nothing, the Corvane page's From→To rule, and the
// buttons that open the account, test, connection and sign-up dialogs.

#include "settings/options/mode_pages.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "platform/window_system.h"
#include "resources/account_resources.h"
#include "resources/options_resources.h"
#include "settings/options/options_services_fake.h"
#include "settings/options/options_test_support.h"
#include "settings/options/signup_dialog.h"
#include "tests/support/test_environment.h"
#include "toolkit/controls.h"
#include "toolkit/renderer.h"

namespace settings {
namespace {

namespace pw = platform;
namespace rs = resources;
using options_testing::RecordingBoxes;
using options_testing::UserScript;

class ModePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rs::RegisterOptionsResources();
    rs::RegisterAccountResources();
    settings_ = AppSettings::WithDefaults();
    settings_.send_from_address = u"me@example.org";
    settings_.send_to_address = u"you@example.org";
    settings_.message_subject = u"Note";
    settings_.note_file_path = pw::Utf8ToUtf16(home_.root().string());
  }

  // Runs the page with the script's steps inside its loop; a last step closes
  // a page the steps left open, so a fault fails instead of hanging.
  pw::LRESULT Run(OptionsDialog& page) {
    script_.Then([&] {
      if (page.IsWindow()) pw::PostMessage(page, pw::WM_COMMAND, toolkit::IDCANCEL, 0);
    });
    script_.Start();
    pw::LRESULT result = page.Run(nullptr);
    script_.Clear();
    return result;
  }
  void Type(OptionsDialog& page, int id, std::u16string text) { toolkit::PostUserText(page.GetDlgItem(id), text); }
  void TapOk(OptionsDialog& page) { toolkit::PostClick(page.menu_bar().GetKeyWindow(0)); }
  std::u16string Text(OptionsDialog& page, int id) { return pw::GetWindowText(page.GetDlgItem(id)); }

  ::testing_support::ScopedTestHome home_;
  AppSettings settings_;
  FakeOptionsServices services_;
  UserScript script_;
  RecordingBoxes boxes_;
};

// One refused OK: the box (title, text, error icon) and where the focus went.
struct Refusal {
  std::u16string text;
  std::u16string title;
  bool error_icon = false;
  int focus_id = 0;
};

// Types each (field, text), taps OK and records what the refusal showed.
void RefuseWith(UserScript& script, OptionsDialog& page, RecordingBoxes& boxes,
                std::vector<std::pair<int, std::u16string>> fields, std::vector<Refusal>& out) {
  script.Then([&page, fields] {
    for (const auto& [id, text] : fields) toolkit::PostUserText(page.GetDlgItem(id), text);
    toolkit::PostClick(page.menu_bar().GetKeyWindow(0));
  });
  script.Then([&page, &boxes, &out] {
    Refusal r;
    if (!boxes.boxes.empty()) {
      r.text = boxes.boxes.back().text;
      r.title = boxes.boxes.back().caption;
      r.error_icon = (boxes.boxes.back().type & toolkit::MB_ICONMASK) == toolkit::MB_ICONERROR;
      boxes.boxes.clear();
    }
    r.focus_id = pw::GetDlgCtrlID(pw::GetFocus());
    out.push_back(r);
    (void)page;
  });
}

TEST_F(ModePageTest, MailPagesRefuseFromThenToThenSubjectWithTheFocusOnTheField) {
  for (bool web : {false, true}) {
    SCOPED_TRACE(web ? "web service" : "SMTP");
    MailPage page(settings_, &services_, web);
    std::vector<Refusal> refusals;
    RefuseWith(script_, page, boxes_, {{rs::kFromEdit, u"me-at-example.org"}}, refusals);
    RefuseWith(script_, page, boxes_, {{rs::kFromEdit, u"me@example"}, {rs::kToEdit, u""}}, refusals);
    RefuseWith(script_, page, boxes_, {{rs::kFromEdit, u"me@example.org"}, {rs::kToEdit, u"a@b.c"},
                                       {rs::kSubjectEdit, u""}}, refusals);
    // "@." holds both characters: it passes.
    script_.Then([&] {
      Type(page, rs::kToEdit, u"@.");
      Type(page, rs::kSubjectEdit, u"S");
      TapOk(page);
    });
    EXPECT_EQ(Run(page), toolkit::IDOK);
    ASSERT_EQ(refusals.size(), 3u);
    const std::u16string address = u"Please enter a valid email address.";
    EXPECT_EQ(refusals[0].text, address);
    EXPECT_EQ(refusals[0].focus_id, rs::kFromEdit);
    EXPECT_EQ(refusals[1].text, address) << "an address needs a \".\"";
    EXPECT_EQ(refusals[1].focus_id, rs::kFromEdit);
    EXPECT_EQ(refusals[2].text, u"Please enter a subject.");
    EXPECT_EQ(refusals[2].focus_id, rs::kSubjectEdit);
    for (const auto& r : refusals) {
      EXPECT_EQ(r.title, u"Dictalo");
      EXPECT_TRUE(r.error_icon);
    }
    EXPECT_EQ(settings_.send_to_address, u"@.") << "the last OK stored the page";
    settings_.send_to_address = u"you@example.org";
  }
}

TEST_F(ModePageTest, AnInvalidToIsRefusedWithTheFocusOnTo) {
  MailPage smtp(settings_, &services_, false);
  std::vector<Refusal> refusals;
  RefuseWith(script_, smtp, boxes_, {{rs::kToEdit, u"nobody"}}, refusals);
  Run(smtp);
  ActiveSyncPage sync(settings_);
  RefuseWith(script_, sync, boxes_, {{rs::kToEdit, u"x.y"}}, refusals);
  RefuseWith(script_, sync, boxes_, {{rs::kToEdit, u"x@y.z"}, {rs::kSubjectEdit, u""}}, refusals);
  Run(sync);
  FilePage file(settings_);
  RefuseWith(script_, file, boxes_, {{rs::kFileNameEdit, u""}}, refusals);
  Run(file);
  ASSERT_EQ(refusals.size(), 4u);
  EXPECT_EQ(refusals[0].text, u"Please enter a valid email address.");
  EXPECT_EQ(refusals[0].focus_id, rs::kToEdit);
  EXPECT_EQ(refusals[1].text, u"Please enter a valid email address.");
  EXPECT_EQ(refusals[1].focus_id, rs::kToEdit);
  EXPECT_EQ(refusals[2].text, u"Please enter a subject.");
  EXPECT_EQ(refusals[2].focus_id, rs::kSubjectEdit);
  EXPECT_EQ(refusals[3].text, u"Please enter a file name.");
  EXPECT_EQ(refusals[3].focus_id, rs::kFileNameEdit);
  for (const auto& r : refusals) EXPECT_EQ(r.title, u"Dictalo");
  // Nothing refused was stored.
  EXPECT_EQ(settings_.send_to_address, u"you@example.org");
  EXPECT_EQ(settings_.message_subject, u"Note");
}

TEST_F(ModePageTest, OkStoresEveryFieldAndCancelStoresNothing) {
  const AppSettings before = settings_;
  auto edit_all = [&](OptionsDialog& page, bool web) {
    script_.Then([&, web] {
      Type(page, rs::kFromEdit, u"new@from.org");
      Type(page, rs::kToEdit, u"new@to.org");
      Type(page, rs::kSubjectEdit, u"New subject");
      toolkit::PostClick(page.GetDlgItem(rs::kSendImmediatelyCheck));
      if (web) toolkit::PostClick(page.GetDlgItem(rs::kUseSmtpCheck));
    });
  };
  for (bool web : {false, true}) {
    MailPage cancelled(settings_, &services_, web);
    edit_all(cancelled, web);
    script_.Then([&] { toolkit::PostClick(cancelled.menu_bar().GetKeyWindow(1)); });  // "Menu"…
    script_.Then([&] { pw::PostMessage(cancelled, pw::WM_COMMAND, toolkit::IDCANCEL, 0); });  // …"Cancel"
    EXPECT_EQ(Run(cancelled), toolkit::IDCANCEL);
    EXPECT_EQ(settings_.send_from_address, before.send_from_address);
    EXPECT_EQ(settings_.send_to_address, before.send_to_address);
    EXPECT_EQ(settings_.message_subject, before.message_subject);
    EXPECT_EQ(settings_.send_immediately, before.send_immediately);
    EXPECT_EQ(settings_.use_smtp_for_web, before.use_smtp_for_web);
  }

  MailPage web(settings_, &services_, true);
  edit_all(web, true);
  script_.Then([&] { TapOk(web); });
  EXPECT_EQ(Run(web), toolkit::IDOK);
  EXPECT_EQ(settings_.send_from_address, u"new@from.org");
  EXPECT_EQ(settings_.send_to_address, u"new@to.org");
  EXPECT_EQ(settings_.message_subject, u"New subject");
  EXPECT_EQ(settings_.send_immediately, !before.send_immediately);
  EXPECT_EQ(settings_.use_smtp_for_web, !before.use_smtp_for_web);

  FilePage file(settings_);
  script_.Then([&] {
    EXPECT_EQ(Text(file, rs::kFileNameEdit), u"New subject");
    Type(file, rs::kFileNameEdit, u"Memo");
    pw::PostMessage(file, pw::WM_COMMAND, toolkit::IDCANCEL, 0);
  });
  EXPECT_EQ(Run(file), toolkit::IDCANCEL);
  EXPECT_EQ(settings_.message_subject, u"New subject");
  FilePage file_ok(settings_);
  script_.Then([&] {
    Type(file_ok, rs::kFileNameEdit, u"Memo");
    TapOk(file_ok);
  });
  EXPECT_EQ(Run(file_ok), toolkit::IDOK);
  EXPECT_EQ(settings_.message_subject, u"Memo");
  EXPECT_EQ(settings_.note_file_path, before.note_file_path);

  ActiveSyncPage sync(settings_);
  script_.Then([&] {
    Type(sync, rs::kToEdit, u"sync@to.org");
    Type(sync, rs::kSubjectEdit, u"Synced");
    TapOk(sync);
  });
  EXPECT_EQ(Run(sync), toolkit::IDOK);
  EXPECT_EQ(settings_.send_to_address, u"sync@to.org");
  EXPECT_EQ(settings_.message_subject, u"Synced");
}

TEST_F(ModePageTest, OkTappedTwiceStoresOnceAndEndsThePageOnce) {
  MailPage page(settings_, &services_, false);
  int boxes_before = static_cast<int>(boxes_.boxes.size());
  script_.Then([&] {
    Type(page, rs::kSubjectEdit, u"Twice");
    TapOk(page);
    TapOk(page);
    pw::PostMessage(page, pw::WM_COMMAND, toolkit::IDOK, 0);
  });
  EXPECT_EQ(Run(page), toolkit::IDOK);
  EXPECT_EQ(settings_.message_subject, u"Twice");
  EXPECT_EQ(static_cast<int>(boxes_.boxes.size()), boxes_before);
  // The second run of the same page starts afresh.
  script_.Then([&] { TapOk(page); });
  script_.Start();
  EXPECT_EQ(page.Run(nullptr), toolkit::IDOK);
}

TEST_F(ModePageTest, WebPageSendToTakesTheSenderWhileItHoldsThePlaceholder) {
  struct Case {
    bool web;
    std::u16string to;
    std::u16string expected_to;
  } cases[] = {
      {true, std::u16string(kPlaceholderOwnerEmail), u"typed@sender.org"},
      {true, u"someone@else.org", u"someone@else.org"},  // the user's own choice stays
      {false, std::u16string(kPlaceholderOwnerEmail), std::u16string(kPlaceholderOwnerEmail)},  // SMTP page: no rule
  };
  for (const Case& c : cases) {
    settings_.send_to_address = c.to;
    MailPage page(settings_, &services_, c.web);
    std::u16string to_after;
    script_.Then([&] { toolkit::PostUserFocus(page.GetDlgItem(rs::kFromEdit)); });
    script_.Then([&] {
      Type(page, rs::kFromEdit, u"typed@sender.org");
      toolkit::PostUserFocus(page.GetDlgItem(rs::kSubjectEdit));  // From loses the focus
    });
    script_.Then([&] { to_after = Text(page, rs::kToEdit); });
    Run(page);
    EXPECT_EQ(to_after, c.expected_to);
  }
}

TEST_F(ModePageTest, TestAccountRunsTheTestAndWithoutServicesIsDisabled) {
  MailPage page(settings_, &services_, false);
  settings_.smtp_host = "mail.example.org";
  script_.Then([&] { toolkit::PostClick(page.GetDlgItem(rs::kTestButton)); });
  script_.Then([&] { pw::PostMessage(page, pw::WM_COMMAND, rs::kTestButton, 0); });  // "Test Account…"
  Run(page);
  EXPECT_EQ(services_.CountOf("Test"), 2);
  EXPECT_EQ(services_.tested.smtp_host, "mail.example.org");

  MailPage bare(settings_, nullptr, false);
  bool account_enabled = true, test_enabled = true;
  script_.Then([&] {
    account_enabled = pw::IsWindowEnabled(bare.GetDlgItem(rs::kAccountButton));
    test_enabled = pw::IsWindowEnabled(bare.GetDlgItem(rs::kTestButton));
    pw::PostMessage(bare, pw::WM_COMMAND, rs::kAccountButton, 0);  // "Mail Account…": nothing to open
  });
  script_.Then([&] { EXPECT_EQ(pw::FindWindow(toolkit::kDialogClass, u"Account Settings"), nullptr); });
  Run(bare);
  EXPECT_FALSE(account_enabled);
  EXPECT_FALSE(test_enabled);
}

// The provider preset fills the account dialog; cancelling that dialog must
// leave the settings as they were.
TEST_F(ModePageTest, MailAccountAppliesThePresetOnlyWhenTheAccountIsConfirmed) {
  settings_.smtp_host.clear();
  for (int answer : {toolkit::IDCANCEL, toolkit::IDOK}) {
    MailPage page(settings_, &services_, false);
    std::u16string shown_port;
    script_.Then([&] {
      Type(page, rs::kFromEdit, u"someone@webmx.net");
      pw::PostMessage(page, pw::WM_COMMAND, rs::kAccountButton, 0);
    });
    script_.Then([&, answer] {
      pw::HWND account = pw::FindWindow(toolkit::kDialogClass, u"Account Settings");
      ASSERT_NE(account, nullptr);
      pw::PostMessage(account, pw::WM_COMMAND, static_cast<pw::WPARAM>(answer), 0);
    });
    Run(page);
    if (answer == toolkit::IDCANCEL) {
      EXPECT_EQ(settings_.smtp_host, "") << "a cancelled account dialog leaves no preset behind";
      EXPECT_EQ(settings_.smtp_port, 25);
      EXPECT_EQ(settings_.smtp_user_name, "");
    } else {
      EXPECT_EQ(settings_.smtp_host, "smtp.webmx.net");
      EXPECT_EQ(settings_.smtp_port, 465);
      EXPECT_EQ(settings_.smtp_user_name, "someone@webmx.net");
    }
  }
}

TEST_F(ModePageTest, ConnectionAndSignupOpenTheirDialogsOnce) {
  MailPage page(settings_, &services_, true);
  bool connection_open = false;
  pw::HWND signup_seen = nullptr;
  script_.Then([&] {
    toolkit::PostClick(page.GetDlgItem(rs::kConnectionButton));
    toolkit::PostClick(page.GetDlgItem(rs::kConnectionButton));  // a hurried second tap
  });
  script_.Then([&] {
    pw::HWND connection = pw::FindWindow(toolkit::kDialogClass, u"Connection Settings");
    connection_open = connection != nullptr;
    pw::PostMessage(connection, pw::WM_COMMAND, toolkit::IDCANCEL, 0);
  });
  script_.Then([&] {
    // Had the second tap opened a second dialog, it would be open now.
    EXPECT_EQ(pw::FindWindow(toolkit::kDialogClass, u"Connection Settings"), nullptr);
    pw::PostMessage(page, pw::WM_COMMAND, rs::kSignupButton, 0);  // "Signup…"
  });
  script_.Then([&] {
    signup_seen = pw::FindWindow(toolkit::kDialogClass, u"Web Service Signup");
    ASSERT_NE(signup_seen, nullptr);
    toolkit::PostClick(pw::GetDlgItem(signup_seen, rs::kSignupLink));
    toolkit::PostUserText(pw::GetDlgItem(signup_seen, rs::kUserNameEdit), u"subscriber");
    toolkit::PostUserText(pw::GetDlgItem(signup_seen, rs::kPasswordEdit), u"secret");
  });
  script_.Then([&] { pw::PostMessage(signup_seen, pw::WM_COMMAND, toolkit::IDOK, 0); });
  Run(page);
  EXPECT_TRUE(connection_open);
  EXPECT_EQ(services_.CountOf("Open:https://www.corvane.com/products/dictalo/DK_Signup.php"), 1);
  EXPECT_EQ(settings_.subscription_user_name, u"subscriber");
  EXPECT_EQ(settings_.subscription_password, u"secret");
}

TEST_F(ModePageTest, SignupCancelledStoresNothing) {
  settings_.subscription_user_name = u"old";
  SignupDialog signup(settings_, &services_);
  script_.Then([&] {
    Type(signup, rs::kUserNameEdit, u"new");
    pw::PostMessage(signup, pw::WM_COMMAND, toolkit::IDCANCEL, 0);
  });
  EXPECT_EQ(Run(signup), toolkit::IDCANCEL);
  EXPECT_EQ(settings_.subscription_user_name, u"old");
}

}  // namespace
}  // namespace settings
