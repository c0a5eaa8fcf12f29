// The program on a real (virtual) desktop, driven only by mouse clicks and key
// presses as a user gives them: the options screen set up for a local mail
// server through its dialogs and the account tested, and a recording stopped
// with the status window's Stop & Send button whose note then arrives at the
// server. Screenshots of each step go to the build tree's artefacts/screenshots.

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "tests/integration/desktop_harness.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace {

namespace fs = std::filesystem;
using desktop_harness::Desktop;
using desktop_harness::DumpWindow;
using desktop_harness::Exim;
using desktop_harness::VirtualDisplay;
using testing_support::ChildProcess;
using testing_support::RunProgram;
using testing_support::WaitUntil;

fs::path Bin(const char* name) { return testing_support::BinaryDir() / name; }

constexpr int kAccountPort = 28650;
constexpr int kRecordingPort = 28651;

class DesktopClickThroughTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists("/usr/bin/Xvfb")) GTEST_SKIP() << "Xvfb (package xvfb) is not installed: no display to click on";
    for (const char* tool : {"xdotool", "import"})
      ASSERT_TRUE(desktop_harness::HaveProgram(tool)) << tool << " is missing (packages xdotool, imagemagick)";
    display_ = std::make_unique<VirtualDisplay>();
    ASSERT_TRUE(display_->running()) << "Xvfb did not start: " << display_->errors();
    // exim's delivery runs as Debian-exim and must reach its folder.
    fs::permissions(home_.root(), fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    dump_ = home_.root() / "ui.dump";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path screenshots = testing_support::BinaryDir().parent_path() / "artefacts" / "screenshots" / info->name();
    fs::remove_all(screenshots);  // only this run's pictures
    desktop_ = std::make_unique<Desktop>(display_->name(), dump_, screenshots);
    setenv("DISPLAY", display_->name().c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");
    unsetenv("WAYLAND_DISPLAY");
    setenv("DICTALO_UI_DUMP", dump_.c_str(), 1);
    setenv("DICTALO_AUDIO_OUTPUT", "null", 1);
    setenv("DICTALO_OPEN_COMMAND", "/bin/true", 1);
  }
  void TearDown() override {
    for (const char* v : {"DISPLAY", "DICTALO_UI_DUMP", "DICTALO_AUDIO_INPUT", "DICTALO_AUDIO_OUTPUT",
                          "DICTALO_OPEN_COMMAND"})
      unsetenv(v);
  }

  void Set(const std::string& key, const std::string& value) {
    auto r = RunProgram(Bin("dictaloctl"), {"settings", "set", key, value});
    ASSERT_EQ(r.status, 0) << key << ": " << r.err;
  }
  std::string Get(const std::string& key) {
    std::string out = RunProgram(Bin("dictaloctl"), {"settings", "get", key}).out;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
  // The steps below end the test at the first one that cannot be done (an
  // exception), saying what the screen held then: every later step needs it.
  [[noreturn]] void Stuck(const std::string& what) {
    desktop_->Screenshot("stuck");
    throw std::runtime_error(what + "; the program shows:\n" + desktop_->DumpText());
  }
  // Waits for the window titled `title` with a control labelled `control`.
  DumpWindow Expect(const std::string& title, const std::string& control = {},
                    std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
    auto w = desktop_->WaitForWindow(title, control, timeout);
    if (!w) Stuck("no window \"" + title + "\" with \"" + control + "\"");
    return *w;
  }
  // Types into the edit field that follows the label `label` in window `title`.
  void Fill(const std::string& title, const std::string& label, const std::string& text) {
    auto w = Expect(title, label);
    const auto* field = w.FieldAfter(label);
    if (!field) Stuck("no field after \"" + label + "\" in " + w.Texts());
    if (!desktop_->Type(title, field->id, text)) Stuck("cannot type into \"" + label + "\"");
    bool holds = WaitUntil([&] {
      auto now = desktop_->FindWindow(title, label);
      const auto* f = now ? now->FieldAfter(label) : nullptr;
      // A password field shows one '*' per character.
      return f && f->text == (f->password ? std::string(text.size(), '*') : text);
    });
    if (!holds) Stuck("\"" + label + "\" does not hold \"" + text + "\" after typing");
  }
  void Click(const std::string& title, const std::string& label, int id = 0) {
    if (!desktop_->Click(title, label, id)) Stuck("cannot click \"" + label + "\" in \"" + title + "\"");
  }
  void Gone(const std::string& title, const std::string& control = {}) {
    if (!desktop_->WaitForWindowGone(title, control)) Stuck("\"" + title + "\" stays open");
  }

  testing_support::ScopedTestHome home_;
  std::unique_ptr<VirtualDisplay> display_;
  std::unique_ptr<Desktop> desktop_;
  fs::path dump_;
};

TEST_F(DesktopClickThroughTest, SetsUpTheMailServerThroughTheDialogsAndTestsIt) {
  Exim exim(home_.root() / "exim", kAccountPort);
  if (!exim.ready() && exim.status() == 4) GTEST_SKIP() << "exim needs root";
  ASSERT_TRUE(exim.ready()) << "exim did not start: " << exim.errors();

  ChildProcess program(Bin("dictalo"), {});
  Expect("Dictalo", "Details");
  desktop_->Screenshot("01-options-screen");

  // The mode list's first entry is the mail server: the list takes the focus
  // (a click, or shift+Tab from the Details… button beside it) and Home picks it.
  {
    auto w = Expect("Dictalo", "Recorded notes will be:");
    const auto* list = w.FieldAfter("Recorded notes will be:", "COMBOBOX");
    if (!list) Stuck("no mode list");
    if (list->rect) {
      Click("Dictalo", "", list->id);
    } else if (!desktop_->FocusByKeyboard("Dictalo", "Details…") || !desktop_->Key("shift+Tab")) {
      Stuck("cannot reach the mode list");
    }
    desktop_->Key("Home");
    if (list->rect) desktop_->Key("Return");
    bool chosen = WaitUntil([&] {
      auto now = desktop_->FindWindow("Dictalo", "Recorded notes will be:");
      const auto* l = now ? now->FieldAfter("Recorded notes will be:", "COMBOBOX") : nullptr;
      return l && l->text == "Sent via mail server" && l->selected == 0;
    });
    if (!chosen) Stuck("the mail server is not chosen");
  }
  desktop_->Screenshot("02-mail-server-chosen");

  Click("Dictalo", "Details…");
  Expect("Send Via SMTP Settings", "Account…");
  Fill("Send Via SMTP Settings", "Send From:", "alice@example.org");
  Fill("Send Via SMTP Settings", "Send To:", "bob@example.org");
  desktop_->Screenshot("03-smtp-page");

  // Account… and Test… work only when the program gives the options screen its
  // services (the account dialogs, the connection-status window).
  {
    auto page = Expect("Send Via SMTP Settings", "Account…");
    const auto* account = page.Find("Account…");
    const auto* test = page.Find("Test…");
    if (!account || !test || !account->enabled || !test->enabled)
      Stuck("Account… and Test… are disabled: the options screen runs without the program's services");
  }
  Click("Send Via SMTP Settings", "Account…");
  Expect("Account Settings", "Host Address:");
  Fill("Account Settings", "Host Address:", "127.0.0.1");
  Fill("Account Settings", "Port:", std::to_string(kAccountPort));
  // Ticking authentication asks for the credentials at once.
  Click("Account Settings", "Authentication required");
  Expect("SMTP Authentication Settings", "User Name:");
  Fill("SMTP Authentication Settings", "User Name:", "alice");
  Fill("SMTP Authentication Settings", "Password:", "secret");
  desktop_->Screenshot("04-authentication");
  Click("SMTP Authentication Settings", "OK");
  Gone("SMTP Authentication Settings");
  desktop_->Screenshot("05-account");
  Click("Account Settings", "OK");
  Gone("Account Settings");

  Click("Send Via SMTP Settings", "Test…");
  bool finished = WaitUntil(
      [&] { return desktop_->DumpText().find("Connection test successfully finished") != std::string::npos; },
      std::chrono::seconds(60));
  desktop_->Screenshot("06-connection-test");
  ASSERT_TRUE(finished) << desktop_->DumpText() << "\nexim:\n" << exim.Log();
  // The result may wait in a message box for the user's OK.
  if (auto box = desktop_->FindWindow("Connection Status", "OK")) Click("Connection Status", "OK");
  desktop_->WaitForWindowGone("Connection Status");

  Click("Send Via SMTP Settings", "OK");
  Gone("Send Via SMTP Settings");
  desktop_->Screenshot("07-back-on-the-options-screen");
  // The options screen's OK saves and ends the program.
  Click("Dictalo", "OK");
  EXPECT_EQ(program.Wait(std::chrono::seconds(20)), 0) << program.Errors();

  EXPECT_EQ(Get("NotesSendMode"), "0");
  EXPECT_EQ(Get("SendFromAddress"), "alice@example.org");
  EXPECT_EQ(Get("SendToAddress"), "bob@example.org");
  EXPECT_EQ(Get("SMTPHost"), "127.0.0.1");
  EXPECT_EQ(Get("SMTPPort"), std::to_string(kAccountPort));
  EXPECT_EQ(Get("SMTPUserName"), "alice");
  EXPECT_EQ(Get("SMTPPassword"), "secret");
  std::string file = testing_support::ReadFileBytes(home_.data_home() / "dictalo" / "Settings.ini");
  EXPECT_NE(file.find("SMTPHost=127.0.0.1"), std::string::npos) << file;
  EXPECT_EQ(file.find("secret"), std::string::npos) << "the password typed is never stored in clear";
  EXPECT_NE(Get("SMTPAuthentication"), "0");
  // A test sends nothing.
  EXPECT_TRUE(exim.Messages().empty());
}

TEST_F(DesktopClickThroughTest, StopAndSendButtonDeliversTheRecordingToTheMailServer) {
  Exim exim(home_.root() / "exim", kRecordingPort);
  if (!exim.ready() && exim.status() == 4) GTEST_SKIP() << "exim needs root";
  ASSERT_TRUE(exim.ready()) << "exim did not start: " << exim.errors();
  Set("NotesSendMode", "0");
  Set("SMTPHost", "127.0.0.1");
  Set("SMTPPort", std::to_string(kRecordingPort));
  Set("SMTPTimeout", "10");
  Set("SMTPAuthentication", "3");
  Set("SMTPUserName", "alice");
  Set("SMTPPassword", "secret");
  Set("SendFromAddress", "alice@example.org");
  Set("SendToAddress", "bob@example.org");
  Set("MessageSubject", "Desktop note");
  Set("PlaySound", "false");
  setenv("DICTALO_AUDIO_INPUT", ("file:" + (testing_support::SourceDir() / "samples" / "voice-note.wav").string()).c_str(),
         1);

  ChildProcess recorder(Bin("dictalo"), {"-record"});
  Expect("Dictalo", "Stop && Send");
  desktop_->Screenshot("01-recording");
  std::this_thread::sleep_for(std::chrono::seconds(2));
  Click("Dictalo", "Stop && Send");
  // A hurried user presses again at once: the stop under way is not repeated.
  desktop_->Key("space");
  bool arrived = WaitUntil([&] { return exim.Messages().size() == 1; }, std::chrono::seconds(60));
  desktop_->Screenshot("02-after-stop-and-send");
  ASSERT_TRUE(arrived) << "no note at exim; the program shows:\n"
                       << desktop_->DumpText() << "\nexim:\n"
                       << exim.Log() << "\nprogram:\n"
                       << recorder.Errors();
  std::string message = exim.Messages().front();
  EXPECT_NE(message.find("Subject: Desktop note"), std::string::npos) << message.substr(0, 2000);
  EXPECT_NE(message.find("audio/"), std::string::npos) << message.substr(0, 2000);
  EXPECT_NE(message.find("To: bob@example.org"), std::string::npos) << message.substr(0, 2000);
  // The status window goes when the delivery is done; the recorder stays resident.
  EXPECT_TRUE(desktop_->WaitForWindowGone("Dictalo", "Stop && Send", std::chrono::seconds(30)));
  EXPECT_TRUE(recorder.Running()) << recorder.Errors();
  EXPECT_EQ(exim.Messages().size(), 1u) << "one note, sent once";
  recorder.Signal(SIGTERM);
  EXPECT_EQ(recorder.Wait(std::chrono::seconds(20)), 0) << recorder.Errors();
}

}  // namespace
