// The interactive main window as the options screen's host: the screen and the
// menu bar it makes, the menu commands it hands on, and OK and Cancel when the
// user is quicker than the program (twice, or while a page is open).

#include <gtest/gtest.h>

#include <chrono>

#include "app/main_window.h"
#include "resources/account_resources.h"
#include "resources/options_resources.h"
#include "settings/app_settings.h"
#include "settings/options/options_screen.h"
#include "settings/options/options_services_fake.h"
#include "settings/options/options_test_support.h"
#include "tests/support/test_environment.h"
#include "toolkit/common_controls.h"
#include "toolkit/controls.h"
#include "toolkit/menu_bar.h"
#include "toolkit/renderer.h"

namespace app {
namespace {

namespace pw = platform;
namespace rs = resources;

class MainWindowOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rs::RegisterOptionsResources();
    rs::RegisterAccountResources();
    settings_ = settings::AppSettings::WithDefaults();
    settings_.Load();
    settings_.notes_send_mode = settings::SendMode::MailServer;
    window_ = std::make_unique<MainWindow>(settings_, true, u"");
    window_->set_options_services(&services_);
    ASSERT_TRUE(window_->CreateMainWindow(u"Dictalo"));
    Pump();
  }
  // Handles what is queued; true when the quit message was among it.
  static bool Pump() {
    bool quit = false;
    pw::MSG msg;
    while (pw::PeekMessage(&msg, nullptr, 0, 0, pw::PM_REMOVE)) {
      if (msg.message == pw::WM_QUIT) {
        quit = true;
        continue;
      }
      pw::TranslateMessage(msg);
      pw::DispatchMessage(msg);
    }
    return quit;
  }
  pw::HWND ScreenItem(int id) const { return window_->options_screen()->GetDlgItem(id); }

  testing_support::ScopedTestHome home_;
  settings::AppSettings settings_;
  settings::FakeOptionsServices services_;
  settings::options_testing::RecordingBoxes boxes_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowOptionsTest, HostsTheScreenAboveItsMenuBar) {
  settings::OptionsScreen* screen = window_->options_screen();
  ASSERT_NE(screen, nullptr);
  ASSERT_TRUE(screen->IsWindow());
  EXPECT_EQ(pw::GetParent(*screen), window_->GetSafeHwnd());
  ASSERT_NE(window_->menu_bar(), nullptr);
  EXPECT_EQ(window_->menu_bar()->GetBarId(), rs::kMainMenuBar);

  pw::MoveWindow(*window_, 0, 0, 300, 400, true);
  pw::RECT client{}, screen_rect{}, bar{}, main{};
  pw::GetClientRect(*window_, &client);
  pw::GetWindowRect(*window_, &main);
  pw::GetWindowRect(*screen, &screen_rect);
  pw::GetWindowRect(window_->menu_bar()->GetWindow(), &bar);
  EXPECT_EQ(screen_rect.top, main.top);
  EXPECT_EQ(screen_rect.right - screen_rect.left, client.right);
  EXPECT_EQ(screen_rect.bottom, bar.top) << "the screen ends where the bar begins";
  EXPECT_EQ(bar.bottom - main.top, client.bottom);

  MainWindow hidden(settings_, false, u"-record");
  hidden.set_options_services(&services_);
  ASSERT_TRUE(hidden.CreateMainWindow(u"Dictalo"));
  EXPECT_EQ(hidden.options_screen(), nullptr) << "the record-only window shows no options";
  pw::DestroyWindow(hidden);
  Pump();
}

TEST_F(MainWindowOptionsTest, MenuCommandsGoToTheScreen) {
  // Nothing waits: the notes entries of the bar are greyed.
  for (auto command : {rs::kViewNotesCommand, rs::kDeleteNotesCommand, rs::kResendNotesCommand})
    EXPECT_FALSE(window_->menu_bar()->IsItemEnabled(command)) << command;
  EXPECT_TRUE(window_->menu_bar()->IsItemEnabled(rs::kAboutCommand));
  services_.pending = {2, 2048};
  pw::PostMessage(*window_->options_screen(), base::UM_NOTES_CHANGED, 0, 0);
  Pump();
  for (auto command : {rs::kViewNotesCommand, rs::kDeleteNotesCommand, rs::kResendNotesCommand})
    EXPECT_TRUE(window_->menu_bar()->IsItemEnabled(command)) << command;
  services_.calls.clear();
  window_->menu_bar()->ChoosePopupItem(1, rs::kViewNotesCommand);
  window_->menu_bar()->ChoosePopupItem(1, rs::kResendNotesCommand);
  EXPECT_EQ(services_.CountOf("View"), 1);
  EXPECT_EQ(services_.CountOf("Resend"), 1);
  window_->menu_bar()->ChoosePopupItem(1, rs::kAboutCommand);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_NE(boxes_.boxes[0].text.find(u"Version"), std::u16string::npos);
  EXPECT_FALSE(Pump());
}

TEST_F(MainWindowOptionsTest, OkTwiceAppliesTheScreenAndOffersTheConversionOnce) {
  services_.pending = {3, 4096};
  toolkit::PostUserSelect(ScreenItem(rs::kModeList), 2);
  Pump();
  window_->menu_bar()->PressKey(0);
  window_->menu_bar()->PressKey(0);
  pw::SendMessage(*window_, pw::WM_COMMAND, toolkit::IDCANCEL, 0);  // too late to cancel
  EXPECT_TRUE(Pump());
  EXPECT_EQ(services_.CountOf("Offer:2"), 1);
  settings::AppSettings saved;
  saved.Load();
  EXPECT_EQ(saved.notes_send_mode, settings::SendMode::SaveAsFile) << "saved by the first OK";
}

TEST_F(MainWindowOptionsTest, OkAndCancelWaitWhileAPageIsOpen) {
  settings::options_testing::UserScript script;
  bool quit_during_page = true;
  script.Then([&] {
    window_->menu_bar()->PressKey(0);
    pw::SendMessage(*window_, pw::WM_COMMAND, toolkit::IDCANCEL, 0);
  });
  script.Then([&] {
    pw::MSG msg;
    quit_during_page = pw::PeekMessage(&msg, nullptr, pw::WM_QUIT, pw::WM_QUIT, pw::PM_NOREMOVE);
    pw::PostMessage(window_->options_screen()->open_dialog(), pw::WM_COMMAND, toolkit::IDCANCEL, 0);
  });
  toolkit::PostClick(ScreenItem(rs::kDetailsButton));
  script.Start();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!script.done() && std::chrono::steady_clock::now() < deadline) Pump();
  EXPECT_FALSE(Pump());
  EXPECT_FALSE(quit_during_page);
  // With the page closed, OK ends the program.
  window_->menu_bar()->PressKey(0);
  EXPECT_TRUE(Pump());
}

TEST_F(MainWindowOptionsTest, ClosingTheWindowWhileAPageIsOpenEndsThePageWithoutStoring) {
  const std::u16string subject = settings_.message_subject;
  settings::options_testing::UserScript script;
  pw::HWND page = nullptr;
  script.Then([&] {
    page = window_->options_screen()->open_dialog();
    toolkit::PostUserText(pw::GetDlgItem(page, rs::kSubjectEdit), u"Typed before the close");
  });
  script.Then([&] { pw::PostMessage(*window_, pw::WM_CLOSE, 0, 0); });
  // Had the page stayed open, this OK would store the subject.
  script.Then([&] {
    if (pw::IsWindow(page)) pw::PostMessage(page, pw::WM_COMMAND, toolkit::IDOK, 0);
  });
  toolkit::PostClick(ScreenItem(rs::kDetailsButton));
  script.Start();
  bool quit = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!script.done() && std::chrono::steady_clock::now() < deadline) quit |= Pump();
  quit |= Pump();
  EXPECT_TRUE(quit);
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(pw::IsWindow(page));
  EXPECT_EQ(settings_.message_subject, subject);
}

}  // namespace
}  // namespace app
