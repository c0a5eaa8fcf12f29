// "Account Settings" and the dialogs behind it, driven as a user would: typed
// text, clicks and slider moves posted to the controls, commands to the
// dialog, message boxes answered from the headless presenter's script.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/text.h"
#include "resources/account_resources.h"
#include "settings/account/account_dialogs.h"
#include "settings/account/account_dialogs_internal.h"
#include "settings/account/dialog_script.h"
#include "settings/account/recording_message_boxes.h"
#include "tests/support/test_environment.h"
#include "toolkit/ce_wnd.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/renderer.h"

namespace settings {
namespace {

using namespace resources;
using platform::HWND;
using testing::DialogScript;

constexpr std::u16string_view kAccount = u"Account Settings";
constexpr std::u16string_view kAuth = u"SMTP Authentication Settings";
constexpr std::u16string_view kSocks = u"Socks Settings";
constexpr std::u16string_view kSsl = u"SSL Settings";

// The account test as the options screen would run it; records each call.
class FakeOptionsServices : public OptionsServices {
 public:
  std::vector<AppSettings> tested;
  PendingNotesSummary CountPendingNotes(const AppSettings&) override { return {}; }
  void ViewPendingNotes(HWND, const AppSettings&) override {}
  void DeleteAllPendingNotes(HWND, const AppSettings&) override {}
  void ResendPendingNotes(HWND, const AppSettings&) override {}
  bool TestAccount(HWND, const AppSettings& settings) override {
    tested.push_back(settings);
    return true;
  }
  void OfferConversion(HWND, const AppSettings&, SendMode) override {}
  std::vector<HotkeyChoice> HotkeyChoices() override { return {}; }
  std::vector<CueSoundChoice> CueSounds() override { return {}; }
  void PlayCueSound(const CueSoundChoice&) override {}
  void OpenAddress(const std::string&) override {}
};

std::u16string Text(std::u16string_view title, int id) { return platform::GetWindowText(DialogScript::Item(title, id)); }
bool Checked(std::u16string_view title, int id) {
  return platform::SendMessage(DialogScript::Item(title, id), toolkit::BM_GETCHECK, 0, 0) == toolkit::BST_CHECKED;
}
bool Enabled(std::u16string_view title, int id) { return platform::IsWindowEnabled(DialogScript::Item(title, id)); }

class AccountDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("DICTALO_MESSAGEBOX_ANSWERS", "", 1);
    toolkit::RegisterControlClasses();
    RegisterAccountResources();
    ASSERT_TRUE(toolkit::CeWnd::RegisterClassW(u"AccountOwner", 0, 0, 0, 0, 0, 0, u""));
    owner_ = owner_window_.Create(toolkit::CeWnd::ClassName(u"AccountOwner"), u"Options", 0, 0, 0, 240, 320,
                                  nullptr, 0);
    ASSERT_NE(owner_, nullptr);
    settings_.smtp_host = "mail.example.org";
  }
  void TearDown() override {
    if (platform::IsWindow(owner_)) platform::DestroyWindow(owner_);
    unsetenv("DICTALO_MESSAGEBOX_ANSWERS");
  }

  int Run(DialogScript& script, bool preset_applied = false) {
    script.Start();
    int result = ShowAccountDialog(owner_, settings_, services_, preset_applied);
    script.Stop();
    EXPECT_TRUE(script.Done()) << "the dialog closed before the script ended";
    return result;
  }

  // Steps.
  static DialogScript::Step Opened(std::u16string_view title) {
    return [title] { return DialogScript::Dialog(title) != nullptr; };
  }
  static DialogScript::Step Closed(std::u16string_view title) {
    return [title] { return DialogScript::Dialog(title) == nullptr; };
  }
  static DialogScript::Step Type(std::u16string_view title, int id, std::u16string text) {
    return [title, id, text] { return toolkit::PostUserText(DialogScript::Item(title, id), text); };
  }
  static DialogScript::Step Click(std::u16string_view title, int id) {
    return [title, id] { return toolkit::PostClick(DialogScript::Item(title, id)); };
  }
  static DialogScript::Step Command(std::u16string_view title, int command) {
    return [title, command] {
      return platform::PostMessage(DialogScript::Dialog(title), platform::WM_COMMAND, command, 0);
    };
  }
  DialogScript::Step BoxesShown(std::size_t count) {
    return [this, count] { return boxes_.Shown().size() >= count; };
  }
  static DialogScript::Step Check(std::function<void()> check) {
    return [check] {
      check();
      return true;
    };
  }

  // The last box shown, with the focus the dialog's thread had then.
  void ExpectRefused(std::u16string_view text, std::u16string_view title, HWND focus) {
    auto shown = boxes_.Shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(platform::Utf16ToUtf8(shown.back().text), platform::Utf16ToUtf8(text));
    EXPECT_EQ(shown.back().caption, title);
    EXPECT_EQ(shown.back().type & toolkit::MB_ICONMASK, toolkit::MB_ICONERROR);
    EXPECT_EQ(shown.back().focus, focus);
  }

  testing_support::ScopedTestHome home_;
  testing::RecordingMessageBoxes boxes_;
  toolkit::CeWnd owner_window_;
  HWND owner_ = nullptr;
  AppSettings settings_;
  FakeOptionsServices services_;
};

// OK checks host, port and proxy in that order, each with its message, the
// title "Account Settings" and the focus on the field at fault; nothing is
// stored until all pass.
TEST_F(AccountDialogTest, ValidationMessagesInOrderWithTheirFocus) {
  settings_.smtp_socks_version = 3;  // SOCKS ticked, but no proxy host
  const AppSettings before = settings_;
  const std::u16string port_range = u"Port number must be in range between 1 and 65535";
  DialogScript script({kAccount});
  auto refused = [&](std::u16string text, int id) {
    return Check([=, this] { ExpectRefused(text, kAccount, DialogScript::Item(kAccount, id)); });
  };
  script.Then(Opened(kAccount))
      .Then(Type(kAccount, kAccountHostEdit, u""))
      .Then(Command(kAccount, toolkit::IDOK))
      .Then(BoxesShown(1))
      .Then(refused(u"The field \"Host Address\" must not be empty", kAccountHostEdit))
      .Then(Type(kAccount, kAccountHostEdit, u"smtp.example.org"))
      .Then(Type(kAccount, kAccountPortEdit, u""))
      .Then(Command(kAccount, toolkit::IDOK))
      .Then(BoxesShown(2))
      .Then(refused(u"The field \"Port\" must not be empty", kAccountPortEdit))
      .Then(Type(kAccount, kAccountPortEdit, u"2a"))
      .Then(Command(kAccount, toolkit::IDOK))
      .Then(BoxesShown(3))
      .Then(refused(u"The value \"2a\" is not a valid port number", kAccountPortEdit))
      .Then(Type(kAccount, kAccountPortEdit, u"0"))
      .Then(Command(kAccount, toolkit::IDOK))
      .Then(BoxesShown(4))
      .Then(refused(port_range, kAccountPortEdit))
      .Then(Type(kAccount, kAccountPortEdit, u"70000"))
      .Then(Command(kAccount, toolkit::IDOK))
      .Then(BoxesShown(5))
      .Then(refused(port_range, kAccountPortEdit))
      .Then(Type(kAccount, kAccountPortEdit, u"2525"))
      .Then(Command(kAccount, toolkit::IDOK))
      .Then(BoxesShown(6))
      .Then(refused(u"Invalid Socks Server settings. Press \"Settings\u2026\" button and enter correct server "
                    u"parameters.",
                    kAccountSocksSettings))
      .Then(Command(kAccount, toolkit::IDCANCEL));
  EXPECT_EQ(Run(script), toolkit::IDCANCEL);
  EXPECT_EQ(settings_.smtp_host, before.smtp_host);
  EXPECT_EQ(settings_.smtp_port, before.smtp_port);
}

// The time-out label in its three forms as the slider moves, and what OK stores.
TEST_F(AccountDialogTest, TimeoutLabelFollowsTheSlider) {
  DialogScript script({kAccount});
  auto move_to = [&](int seconds, std::u16string label) {
    script.Then([=] { return toolkit::PostUserPosition(DialogScript::Item(kAccount, kAccountTimeoutSlider), seconds); })
        .Then(Check([=] { EXPECT_EQ(Text(kAccount, kAccountTimeoutLabel), label) << seconds; }));
  };
  script.Then(Opened(kAccount)).Then(Check([] { EXPECT_EQ(Text(kAccount, kAccountTimeoutLabel), u"1 min"); }));
  move_to(59, u"59 sec");
  move_to(60, u"1 min");
  move_to(120, u"2 min");
  move_to(90, u"1:30 min");
  script.Then(Command(kAccount, toolkit::IDOK));
  EXPECT_EQ(Run(script), toolkit::IDOK);
  EXPECT_EQ(settings_.smtp_timeout, 90);
  EXPECT_EQ(FormatTimeoutLabel(5), u"5 sec");

  // A time-out beyond the slider's range is kept unless the slider moves.
  settings_.smtp_timeout = 3600;
  DialogScript untouched({kAccount});
  untouched.Then(Opened(kAccount))
      .Then(Check([] { EXPECT_EQ(Text(kAccount, kAccountTimeoutLabel), u"60 min"); }))
      .Then(Command(kAccount, toolkit::IDOK));
  EXPECT_EQ(Run(untouched), toolkit::IDOK);
  EXPECT_EQ(settings_.smtp_timeout, 3600);
  EXPECT_EQ(FormatTimeoutLabel(605), u"10:05 min");
}

// "Use Defaults" and the secure-connection box move the port between 25 and
// 465 as the kind of TLS asks.
TEST_F(AccountDialogTest, UseDefaultsAndTheSecureConnectionBox) {
  settings_.smtp_use_ssl = true;
  settings_.smtp_ssl_explicit = false;
  settings_.smtp_port = 587;
  settings_.smtp_timeout = 300;
  DialogScript script({kAccount});
  auto port_is = [](std::u16string port) {
    return Check([=] { EXPECT_EQ(Text(kAccount, kAccountPortEdit), port); });
  };
  script.Then(Opened(kAccount))
      .Then(Check([] {
        EXPECT_EQ(Text(kAccount, kAccountTimeoutLabel), u"5 min");
        EXPECT_TRUE(Enabled(kAccount, kAccountSslSettings));
      }))
      .Then(Click(kAccount, kAccountDefaultsButton))
      .Then(port_is(u"465"))
      .Then(Check([] { EXPECT_EQ(Text(kAccount, kAccountTimeoutLabel), u"1 min"); }))
      .Then(Click(kAccount, kAccountSslCheck))  // off: 465 becomes 25
      .Then(port_is(u"25"))
      .Then(Check([] { EXPECT_FALSE(Enabled(kAccount, kAccountSslSettings)); }))
      .Then(Click(kAccount, kAccountSslCheck))  // on with implicit TLS: 25 becomes 465
      .Then(port_is(u"465"))
      .Then(Click(kAccount, kAccountSslCheck))
      .Then(Type(kAccount, kAccountPortEdit, u"2525"))
      .Then(Click(kAccount, kAccountDefaultsButton))
      .Then(port_is(u"25"))
      .Then(Command(kAccount, toolkit::IDOK));
  EXPECT_EQ(Run(script), toolkit::IDOK);
  EXPECT_EQ(settings_.smtp_port, 25);
  EXPECT_FALSE(settings_.smtp_use_ssl);
  EXPECT_EQ(settings_.smtp_timeout, 60);
}

// Ticking "Use SOCKS server" on a fresh configuration proposes SOCKS 5 on port
// 1080, as the SOCKS dialog then shows; OK there stores the proxy.
TEST_F(AccountDialogTest, SocksTickOnAFreshConfiguration) {
  DialogScript script({kAccount, kSocks});
  script.Then(Opened(kAccount))
      .Then(Check([] { EXPECT_FALSE(Enabled(kAccount, kAccountSocksSettings)); }))
      .Then(Click(kAccount, kAccountSocksCheck))
      .Then(Check([] { EXPECT_TRUE(Enabled(kAccount, kAccountSocksSettings)); }))
      .Then(Click(kAccount, kAccountSocksSettings))
      .Then(Opened(kSocks))
      .Then(Check([] {
        EXPECT_EQ(Text(kSocks, kSocksPortEdit), u"1080");
        HWND combo = DialogScript::Item(kSocks, kSocksVersionCombo);
        EXPECT_EQ(platform::SendMessage(combo, toolkit::CB_GETCURSEL, 0, 0), 2);
      }))
      .Then(Command(kSocks, toolkit::IDOK))
      .Then(BoxesShown(1))
      .Then(Check([this] {
        ExpectRefused(u"The field \"Host Address\" must not be empty", kSocks,
                      DialogScript::Item(kSocks, kSocksHostEdit));
      }))
      .Then(Type(kSocks, kSocksHostEdit, u"proxy.example.org"))
      .Then(Type(kSocks, kSocksPortEdit, u"x1"))
      .Then(Command(kSocks, toolkit::IDOK))
      .Then(BoxesShown(2))
      .Then(Check([this] {
        ExpectRefused(u"Port number must be in range between 1 and 65535", kSocks,
                      DialogScript::Item(kSocks, kSocksPortEdit));
      }))
      .Then(Type(kSocks, kSocksPortEdit, u"1080"))
      .Then(Command(kSocks, toolkit::IDOK))
      .Then(Closed(kSocks))
      .Then(Command(kAccount, toolkit::IDOK));
  EXPECT_EQ(Run(script), toolkit::IDOK);
  EXPECT_EQ(settings_.smtp_socks_version, 3);
  EXPECT_EQ(settings_.smtp_socks_port, 1080);
  EXPECT_EQ(settings_.smtp_socks_address, "proxy.example.org");
}

// Ticking "Authentication required" without credentials opens the
// authentication dialog at once; Cancel there unticks the box.
TEST_F(AccountDialogTest, AuthenticationCancelUnticks) {
  DialogScript script({kAccount, kAuth});
  script.Then(Opened(kAccount))
      .Then(Click(kAccount, kAccountAuthCheck))
      .Then(Opened(kAuth))
      .Then(Command(kAuth, toolkit::IDCANCEL))
      .Then(Closed(kAuth))
      .Then(Check([] {
        EXPECT_FALSE(Checked(kAccount, kAccountAuthCheck));
        EXPECT_FALSE(Enabled(kAccount, kAccountAuthSettings));
      }))
      .Then(Command(kAccount, toolkit::IDOK));
  EXPECT_EQ(Run(script), toolkit::IDOK);
  EXPECT_EQ(settings_.smtp_authentication, 0);
}

// The authentication dialog's checks ("Invalid Credentials"), and the mode its
// check box gives.
TEST_F(AccountDialogTest, AuthenticationDialogChecksAndStores) {
  DialogScript script({kAccount, kAuth});
  script.Then(Opened(kAccount))
      .Then(Click(kAccount, kAccountAuthCheck))
      .Then(Opened(kAuth))
      .Then(Command(kAuth, toolkit::IDOK))
      .Then(BoxesShown(1))
      .Then(Check([this] {
        ExpectRefused(u"Please enter user name.", u"Invalid Credentials", DialogScript::Item(kAuth, kAuthUserEdit));
      }))
      .Then(Type(kAuth, kAuthUserEdit, u"ann"))
      .Then(Command(kAuth, toolkit::IDOK))
      .Then(BoxesShown(2))
      .Then(Check([this] {
        ExpectRefused(u"Please enter password.", u"Invalid Credentials",
                      DialogScript::Item(kAuth, kAuthPasswordEdit));
      }))
      .Then(Type(kAuth, kAuthPasswordEdit, u"s3cret"))
      .Then(Click(kAuth, kAuthCheckMailCheck))
      .Then(Command(kAuth, toolkit::IDOK))
      .Then(Closed(kAuth))
      .Then(Check([] { EXPECT_TRUE(Checked(kAccount, kAccountAuthCheck)); }))
      .Then(Command(kAccount, toolkit::IDOK));
  EXPECT_EQ(Run(script), toolkit::IDOK);
  EXPECT_EQ(settings_.smtp_authentication, 1);
  EXPECT_EQ(settings_.smtp_user_name, "ann");
  EXPECT_EQ(settings_.smtp_password, "s3cret");
}

// The provider's host with port 587 and explicit TLS: No stores what was
// entered; Yes (through "Save && Test") stores the provider's settings and
// then runs the account test with them.
TEST_F(AccountDialogTest, ProviderCheckOnConfirm) {
  settings_.smtp_host = "smtp.webmx.net";
  settings_.smtp_port = 587;
  settings_.smtp_use_ssl = true;
  settings_.smtp_ssl_explicit = true;
  setenv("DICTALO_MESSAGEBOX_ANSWERS", "IDNO,IDYES", 1);
  {
    DialogScript script({kAccount});
    script.Then(Opened(kAccount)).Then(Command(kAccount, toolkit::IDOK));
    EXPECT_EQ(Run(script), toolkit::IDOK);
  }
  EXPECT_EQ(settings_.smtp_port, 587);
  EXPECT_TRUE(settings_.smtp_ssl_explicit);
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_EQ(boxes_.Shown()[0].caption, u"Account Settings");
  EXPECT_TRUE(services_.tested.empty());

  DialogScript script({kAccount});
  script.Then(Opened(kAccount)).Then(Command(kAccount, kSaveAndTestCommand));
  EXPECT_EQ(Run(script), toolkit::IDOK);
  EXPECT_EQ(settings_.smtp_port, 465);
  EXPECT_FALSE(settings_.smtp_ssl_explicit);
  ASSERT_EQ(services_.tested.size(), 1u);
  EXPECT_EQ(services_.tested[0].smtp_port, 465);
  EXPECT_EQ(services_.tested[0].smtp_host, "smtp.webmx.net");
}

// A preset the user cancels leaves no server behind; confirmed, it stays.
TEST_F(AccountDialogTest, CancelledPresetLeavesNoServer) {
  settings_.smtp_host.clear();
  ASSERT_TRUE(ApplyProviderPreset(settings_, u"ann@webmx.net"));
  {
    DialogScript script({kAccount});
    script.Then(Opened(kAccount))
        .Then(Check([] { EXPECT_EQ(Text(kAccount, kAccountHostEdit), u"smtp.webmx.net"); }))
        .Then(Command(kAccount, toolkit::IDCANCEL));
    EXPECT_EQ(Run(script, true), toolkit::IDCANCEL);
  }
  EXPECT_EQ(settings_.smtp_host, "");

  ASSERT_TRUE(ApplyProviderPreset(settings_, u"ann@webmx.net"));
  DialogScript script({kAccount});
  script.Then(Opened(kAccount)).Then(Command(kAccount, toolkit::IDOK));
  EXPECT_EQ(Run(script, true), toolkit::IDOK);
  EXPECT_EQ(settings_.smtp_host, "smtp.webmx.net");
  EXPECT_EQ(settings_.smtp_port, 465);
  EXPECT_TRUE(boxes_.Shown().empty()) << "the preset is what the provider needs";
}

// "Connection Settings": a stored value beyond the five choices shows as the
// first; the choice is stored on OK only.
TEST_F(AccountDialogTest, ConnectionDialogStoresTheChoice) {
  constexpr std::u16string_view kConnection = u"Connection Settings";
  settings_.connection = 7;
  auto radio_checked = [](int k) { return Checked(u"Connection Settings", kConnectionFirstRadio + k); };
  DialogScript cancelled({kConnection});
  cancelled.Then(Opened(kConnection))
      .Then(Check([&] {
        for (int k = 0; k < 5; ++k) EXPECT_EQ(radio_checked(k), k == 0) << k;
      }))
      .Then(Click(kConnection, kConnectionFirstRadio + 2))
      .Then(Command(kConnection, toolkit::IDCANCEL));
  cancelled.Start();
  EXPECT_EQ(ShowConnectionDialog(owner_, settings_), toolkit::IDCANCEL);
  cancelled.Stop();
  EXPECT_EQ(settings_.connection, 7);

  DialogScript chosen({kConnection});
  chosen.Then(Opened(kConnection))
      .Then(Click(kConnection, kConnectionFirstRadio + 4))
      .Then(Check([&] {
        for (int k = 0; k < 5; ++k) EXPECT_EQ(radio_checked(k), k == 4) << k;
      }))
      .Then(Command(kConnection, toolkit::IDOK));
  chosen.Start();
  EXPECT_EQ(ShowConnectionDialog(owner_, settings_), toolkit::IDOK);
  chosen.Stop();
  EXPECT_TRUE(chosen.Done());
  EXPECT_EQ(settings_.connection, 4);
}

}  // namespace
}  // namespace settings
