// "Account Settings" and the dialogs behind it, driven as a user would: typed
// text, clicks and slider moves posted to the controls, commands to the
// dialog, message boxes answered from the headless presenter's script.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/text.h"
#include "security/certs/openssl_test_ca.h"
#include "settings/account/mailhaven_accounts.h"
#include "settings/account/trusted_roots.h"
#include "settings/config_store.h"
#include "toolkit/headless_renderer.h"
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
  bool StartUpdateUtility() override { return false; }
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

  // One that cannot wait for anything is not kept.
  settings_.smtp_timeout = -30;
  DialogScript negative({kAccount});
  negative.Then(Opened(kAccount))
      .Then(Check([] { EXPECT_EQ(Text(kAccount, kAccountTimeoutLabel), u"5 sec"); }))
      .Then(Command(kAccount, toolkit::IDOK));
  EXPECT_EQ(Run(negative), toolkit::IDOK);
  EXPECT_EQ(settings_.smtp_timeout, kMinTimeout);
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

// "SSL Settings", tab "General": the version rule keeps the dialog open with
// its message; the insecure fallback is offered for explicit TLS only.
TEST_F(AccountDialogTest, SslVersionMessageKeepsTheDialogOpen) {
  AccountValues values;
  values.ssl_explicit = false;
  values.ssl_versions = 7;
  DialogScript script({kSsl});
  script.Then(Opened(kSsl))
      .Then(Check([] {
        EXPECT_TRUE(Checked(kSsl, kSslImplicitRadio));
        EXPECT_FALSE(Enabled(kSsl, kSslInsecureCheck));
      }))
      .Then(Click(kSsl, kSslSsl3Check))
      .Then(Command(kSsl, toolkit::IDOK))
      .Then(BoxesShown(1))
      .Then(Check([this] {
        auto box = boxes_.Shown().back();
        EXPECT_EQ(box.text,
                  u"Cannot use SSL2 and TLS1 and do not use SSL3. You should enable using SSL3 or disable using SSL2.");
        EXPECT_EQ(box.caption, u"SSL Settings");
        EXPECT_EQ(box.type & toolkit::MB_ICONMASK, toolkit::MB_ICONERROR);
        EXPECT_TRUE(box.type & toolkit::MB_TOPMOST);
        EXPECT_NE(DialogScript::Dialog(kSsl), nullptr);
      }))
      .Then(Click(kSsl, kSslSsl2Check))
      .Then(Click(kSsl, kSslExplicitRadio))
      .Then(Check([] { EXPECT_TRUE(Enabled(kSsl, kSslInsecureCheck)); }))
      .Then(Click(kSsl, kSslInsecureCheck))
      .Then(Click(kSsl, kSslStrongCheck))
      .Then(Command(kSsl, toolkit::IDOK));
  script.Start();
  EXPECT_EQ(ShowSslDialog(owner_, values), toolkit::IDOK);
  script.Stop();
  EXPECT_TRUE(script.Done());
  EXPECT_EQ(values.ssl_versions, 4);
  EXPECT_TRUE(values.ssl_explicit);
  EXPECT_TRUE(values.ssl_allow_insecure);
  EXPECT_TRUE(values.ssl_strong_encryption);
}

// After the SSL dialog's OK a standard port follows the kind of TLS chosen.
TEST_F(AccountDialogTest, SslSettingsMovesAStandardPort) {
  settings_.smtp_use_ssl = true;
  settings_.smtp_ssl_explicit = true;
  settings_.smtp_port = 25;
  DialogScript script({kAccount, kSsl});
  script.Then(Opened(kAccount))
      .Then(Click(kAccount, kAccountSslSettings))
      .Then(Opened(kSsl))
      .Then(Click(kSsl, kSslImplicitRadio))
      .Then(Command(kSsl, toolkit::IDOK))
      .Then(Closed(kSsl))
      .Then(Check([] { EXPECT_EQ(Text(kAccount, kAccountPortEdit), u"465"); }))
      .Then(Type(kAccount, kAccountPortEdit, u"2465"))
      .Then(Click(kAccount, kAccountSslSettings))
      .Then(Opened(kSsl))
      .Then(Click(kSsl, kSslExplicitRadio))
      .Then(Command(kSsl, toolkit::IDOK))
      .Then(Closed(kSsl))
      .Then(Check([] { EXPECT_EQ(Text(kAccount, kAccountPortEdit), u"2465"); }))
      .Then(Command(kAccount, toolkit::IDOK));
  EXPECT_EQ(Run(script), toolkit::IDOK);
  EXPECT_EQ(settings_.smtp_port, 2465);
  EXPECT_TRUE(settings_.smtp_ssl_explicit);
}

// The renderer's file dialog, answering with the paths a test gives it.
class ScriptedFileDialogs : public toolkit::FileDialogPresenter {
 public:
  std::vector<std::optional<std::u16string>> answers;
  std::vector<toolkit::FileDialogRequest> requests;
  std::optional<std::u16string> Present(const toolkit::FileDialogRequest& request) override {
    requests.push_back(request);
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }
};

class FileDialogRenderer : public toolkit::HeadlessRenderer {
 public:
  explicit FileDialogRenderer(toolkit::FileDialogPresenter& files) : files_(files) {}
  toolkit::FileDialogPresenter* FileDialogs() override { return &files_; }

 private:
  toolkit::FileDialogPresenter& files_;
};

// Tab "Certificates": our trusted roots, imported from a file chosen in the
// open dialog and removed after a question, in the store `dictaloctl cert` uses.
TEST_F(AccountDialogTest, CertificatesTabImportsAndRemovesRoots) {
  security::testing::OpenSslTestCa ca(home_.root() / "ca");
  ca.MakeKey("k", "rsa:2048");
  ca.Issue({.name = "root", .key = "k", .subject = "/CN=Dialog Root",
            .extensions = {"basicConstraints=critical,CA:true", "keyUsage=critical,keyCertSign,cRLSign"}});
  const auto der = ca.Der("root");
  const auto root_file = home_.root() / "root.der";
  testing_support::WriteFileBytes(root_file, std::string(der.begin(), der.end()));

  ScriptedFileDialogs files;
  files.answers = {std::nullopt, platform::Utf8ToUtf16(root_file.string()), platform::Utf8ToUtf16(root_file.string())};
  FileDialogRenderer renderer(files);
  toolkit::Renderer* previous = toolkit::SetRenderer(&renderer);
  toolkit::SetMessageBoxPresenter(&boxes_);  // the renderer brought its own
  setenv("DICTALO_MESSAGEBOX_ANSWERS", "IDOK,IDNO,IDYES", 1);

  AccountValues values;
  auto list_count = [] {
    return platform::SendMessage(DialogScript::Item(kSsl, kSslCertList), toolkit::LB_GETCOUNT, 0, 0);
  };
  DialogScript script({kSsl});
  script.Then(Opened(kSsl))
      .Then(Check([] { EXPECT_FALSE(platform::IsWindowVisible(DialogScript::Item(kSsl, kSslCertList))); }))
      .Then([] { return toolkit::PostUserSelect(DialogScript::Item(kSsl, kSslTabs), 1); })
      .Then(Check([&] {
        EXPECT_TRUE(platform::IsWindowVisible(DialogScript::Item(kSsl, kSslCertList)));
        EXPECT_FALSE(platform::IsWindowVisible(DialogScript::Item(kSsl, kSslSsl3Check)));
        EXPECT_EQ(list_count(), 0);
        EXPECT_FALSE(Enabled(kSsl, kSslCertRemove));
      }))
      .Then(Click(kSsl, kSslCertImport))  // cancelled
      .Then(Click(kSsl, kSslCertImport))
      .Then(Check([&] {
        ASSERT_EQ(list_count(), 1);
        EXPECT_TRUE(Enabled(kSsl, kSslCertRemove));
        EXPECT_TRUE(boxes_.Shown().empty());
      }))
      .Then(Click(kSsl, kSslCertImport))  // the same again: refused, said once
      .Then(BoxesShown(1))
      .Then(Check([&] {
        EXPECT_NE(boxes_.Shown()[0].text.find(u"Certificate already exists"), std::u16string::npos);
        EXPECT_EQ(list_count(), 1);
      }))
      .Then([] { return toolkit::PostUserSelect(DialogScript::Item(kSsl, kSslCertList), 0); })
      .Then(Click(kSsl, kSslCertRemove))  // answered No
      .Then(BoxesShown(2))
      .Then(Check([&] { EXPECT_EQ(list_count(), 1); }))
      .Then(Click(kSsl, kSslCertRemove))  // answered Yes
      .Then(BoxesShown(3))
      .Then(Check([&] { EXPECT_EQ(list_count(), 0); }))
      .Then(Command(kSsl, toolkit::IDCANCEL));
  script.Start();
  EXPECT_EQ(ShowSslDialog(owner_, values), toolkit::IDCANCEL);
  script.Stop();
  toolkit::SetRenderer(previous);
  EXPECT_TRUE(script.Done());
  ASSERT_EQ(files.requests.size(), 3u);
  EXPECT_FALSE(files.requests[0].save);
  EXPECT_TRUE(ListTrustedRoots().empty());
  auto shown = boxes_.Shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_NE(shown[1].text.find(u"Dialog Root"), std::u16string::npos);
}

// The store changed by `dictaloctl cert` while the tab is open: Remove takes
// away nothing but the certificate the user chose.
TEST_F(AccountDialogTest, RemoveDoesNotHitACertificateMovedMeanwhile) {
  security::testing::OpenSslTestCa ca(home_.root() / "ca");
  ca.MakeKey("k", "rsa:2048");
  const std::vector<std::string> ca_ext = {"basicConstraints=critical,CA:true"};
  ca.Issue({.name = "a", .key = "k", .subject = "/CN=Root A", .extensions = ca_ext});
  ca.Issue({.name = "b", .key = "k", .subject = "/CN=Root B", .extensions = ca_ext});
  for (const char* name : {"a", "b"}) {
    const auto der = ca.Der(name);
    const auto file = home_.root() / (std::string(name) + ".der");
    testing_support::WriteFileBytes(file, std::string(der.begin(), der.end()));
    ASSERT_EQ(ImportTrustedRoots(file).added, 1);
  }
  ASSERT_EQ(ListTrustedRoots().size(), 2u);
  const std::u16string first = ListTrustedRoots()[0];
  const std::u16string second = ListTrustedRoots()[1];
  setenv("DICTALO_MESSAGEBOX_ANSWERS", "IDYES,IDYES", 1);

  AccountValues values;
  DialogScript script({kSsl});
  script.Then(Opened(kSsl))
      .Then([] { return toolkit::PostUserSelect(DialogScript::Item(kSsl, kSslTabs), 1); })
      .Then([] { return toolkit::PostUserSelect(DialogScript::Item(kSsl, kSslCertList), 0); })
      .Then(Check([] { ASSERT_TRUE(RemoveTrustedRoot(0)); }))  // another process
      .Then(Click(kSsl, kSslCertRemove))
      .Then(Check([&] {
        ASSERT_EQ(ListTrustedRoots(), std::vector<std::u16string>{second});
        HWND list = DialogScript::Item(kSsl, kSslCertList);
        EXPECT_EQ(platform::SendMessage(list, toolkit::LB_GETCOUNT, 0, 0), 1);
      }))
      .Then(Command(kSsl, toolkit::IDCANCEL));
  script.Start();
  EXPECT_EQ(ShowSslDialog(owner_, values), toolkit::IDCANCEL);
  script.Stop();
  EXPECT_TRUE(script.Done());
  EXPECT_NE(first, second);
}

// "Import from Mailhaven…": the list offers the POP3 and IMAP4 accounts, the
// chosen one fills the dialog, and OK stores it.
TEST_F(AccountDialogTest, ImportFromMailhavenFillsTheDialog) {
  constexpr std::u16string_view kImport = u"Account Import";
  const MailAccountGuid first = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  const MailAccountGuid second = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
  ConfigStore file;
  auto add = [&](const MailAccountGuid& guid, std::u16string name, std::string host, int port) {
    file.SelectNode("\\Service." + MailAccountGuidText(guid));
    file.WriteText("Class", "IMAP4");
    file.WriteBinary("GUID", guid);
    file.WriteWideText("ServiceName", name);
    file.WriteText("SMTPHost", host);
    file.WriteInt("SMTPPort", port);
  };
  add(first, u"First", "smtp.first.example", 25);
  add(second, u"Second", "smtp.second.example", 587);
  file.WriteInt("SMTPAuthentication", 3);
  file.WriteText("SMTPUserName", "gina");
  file.WriteText("SMTPPassword", "pw");
  file.WriteInt("SMTPTimeout", 90);
  std::filesystem::create_directories(MailhavenSettingsFile().parent_path());
  ASSERT_TRUE(file.SaveFile(MailhavenSettingsFile()));

  DialogScript script({kAccount, kImport});
  script.Then(Opened(kAccount))
      .Then(Command(kAccount, kImportMailhavenCommand))
      .Then(Opened(kImport))
      .Then(Check([] {
        HWND list = DialogScript::Item(u"Account Import", kMailhavenList);
        EXPECT_EQ(platform::SendMessage(list, toolkit::LB_GETCOUNT, 0, 0), 2);
        EXPECT_EQ(platform::SendMessage(list, toolkit::LB_GETCURSEL, 0, 0), 0);
      }))
      .Then([] { return toolkit::PostUserSelect(DialogScript::Item(u"Account Import", kMailhavenList), 1); })
      .Then(Command(kImport, toolkit::IDOK))
      .Then(Closed(kImport))
      .Then(Check([] {
        EXPECT_EQ(Text(kAccount, kAccountHostEdit), u"smtp.second.example");
        EXPECT_EQ(Text(kAccount, kAccountPortEdit), u"587");
        EXPECT_EQ(Text(kAccount, kAccountTimeoutLabel), u"1:30 min");
        EXPECT_TRUE(Checked(kAccount, kAccountAuthCheck));
      }))
      .Then(Command(kAccount, toolkit::IDOK));
  EXPECT_EQ(Run(script), toolkit::IDOK);
  EXPECT_EQ(settings_.smtp_host, "smtp.second.example");
  EXPECT_EQ(settings_.smtp_port, 587);
  EXPECT_EQ(settings_.smtp_authentication, 3);
  EXPECT_EQ(settings_.smtp_user_name, "gina");
  EXPECT_EQ(settings_.smtp_password, "pw");
  EXPECT_EQ(settings_.smtp_timeout, 90);
}

}  // namespace
}  // namespace settings
