#include "app/main_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "app/application.h"
#include "platform/process.h"
#include "settings/app_settings.h"
#include "tests/support/test_environment.h"

namespace app {
namespace {

using platform::COPYDATASTRUCT;
using platform::SendMessage;

TEST(MainWindowCopyDataTest, ReplyIsZeroOnlyWhenTheTextOccursInOurCommandLine) {
  EXPECT_EQ(MainWindow::CopyDataReply(u"", u"-record -profile a.ini"), 1);
  EXPECT_EQ(MainWindow::CopyDataReply(u"-profile a.ini", u"-record -profile a.ini"), 0);
  EXPECT_EQ(MainWindow::CopyDataReply(u"-PROFILE a.ini", u"-record -profile a.ini"), 1) << "case-sensitive";
  EXPECT_EQ(MainWindow::CopyDataReply(u"b.ini", u"-record -profile a.ini"), 1);
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { settings_ = settings::AppSettings::WithDefaults(); }
  std::unique_ptr<MainWindow> Make(bool interactive, std::u16string command_line = u"") {
    auto w = std::make_unique<MainWindow>(settings_, interactive, std::move(command_line));
    EXPECT_TRUE(w->CreateMainWindow(u"Dictalo"));
    return w;
  }
  testing_support::ScopedTestHome home_;
  settings::AppSettings settings_;
};

// Whether a quit message is waiting in this thread's queue.
bool QuitPosted() {
  platform::MSG msg;
  while (platform::PeekMessage(&msg, nullptr, 0, 0, platform::PM_REMOVE))
    if (msg.message == platform::WM_QUIT) return true;
  return false;
}

TEST_F(MainWindowTest, RecordOnlyInstanceAnswersTheQueryByQuitting) {
  auto w = Make(false);
  EXPECT_FALSE(platform::IsWindowVisible(*w));
  EXPECT_EQ(SendMessage(*w, UM_QUERY_RECORD_ONLY, 0, 0), 1);
  EXPECT_TRUE(QuitPosted());
}

TEST_F(MainWindowTest, InteractiveInstanceAnswersTheQueryAndStays) {
  auto w = Make(true);
  EXPECT_TRUE(platform::IsWindowVisible(*w));
  EXPECT_EQ(SendMessage(*w, UM_QUERY_RECORD_ONLY, 0, 0), 0);
  EXPECT_FALSE(QuitPosted());
  EXPECT_EQ(MainWindowHandle(), w->GetSafeHwnd());
}

TEST_F(MainWindowTest, OkWithAKeyTheDesktopCannotBindTellsTheUserTheCommand) {
  settings_.Load();
  auto w = Make(true);
  settings_.launch_hotkey = u"F9";
  const char* path = std::getenv("PATH");
  std::string saved = path ? path : "";
  setenv("PATH", home_.root().c_str(), 1);  // no gsettings
  testing::internal::CaptureStderr();
  SendMessage(*w, platform::WM_COMMAND, 1, 0);
  std::string box = testing::internal::GetCapturedStderr();
  setenv("PATH", saved.c_str(), 1);
  EXPECT_TRUE(QuitPosted());
  EXPECT_NE(box.find("could not be bound"), std::string::npos) << box;
  EXPECT_NE(box.find("dictalo-record"), std::string::npos) << box;
  std::string log = testing_support::ReadFileBytes(home_.data_home() / "dictalo" / "Dictalo.log");
  EXPECT_NE(log.find("bind it by hand to: "), std::string::npos) << log;
}

TEST_F(MainWindowTest, CopyDataReadsTheZeroTerminatedText) {
  auto w = Make(false, u"-record --note x");
  auto send = [&](std::u16string text, std::size_t cb) {
    COPYDATASTRUCT cds;
    cds.dwData = 1;
    cds.cbData = static_cast<platform::DWORD>(cb);
    cds.lpData = text.c_str();
    return SendMessage(*w, platform::WM_COPYDATA, 0, reinterpret_cast<platform::LPARAM>(&cds));
  };
  EXPECT_EQ(send(u"--note x", 18), 0);
  EXPECT_EQ(send(u"--note y", 18), 1);
  EXPECT_EQ(send(u"", 2), 1);
  // A size that cuts the text short reads only what it covers.
  EXPECT_EQ(send(u"--note zzz", 8), 0);
  // An odd size does not read past the data.
  EXPECT_EQ(send(u"-", 3), 0);
}

TEST_F(MainWindowTest, InvokeRunsOnlyOnTheOwnerThread) {
  auto w = Make(true);
  struct Target {
    int calls = 0;
    std::uintptr_t sum = 0;
  } target;
  auto fn = [](void* t, std::uintptr_t a, std::uintptr_t b) {
    static_cast<Target*>(t)->calls++;
    static_cast<Target*>(t)->sum = a + b;
  };
  InvokeRecord mine{platform::CurrentThreadId(), &target, fn, 2, 3};
  InvokeRecord foreign{platform::CurrentThreadId() + 1, &target, fn, 5, 5};

  // A worker sends the records; the UI thread (this one) runs them while it waits.
  platform::HWND hwnd = *w;
  std::thread worker([&] {
    SendMessage(hwnd, UM_INVOKE, reinterpret_cast<platform::WPARAM>(&mine), 0);
    SendMessage(hwnd, UM_INVOKE, reinterpret_cast<platform::WPARAM>(&foreign), 0);
    platform::PostMessage(hwnd, platform::WM_NULL, 0, 0);
  });
  platform::MSG msg;
  for (;;) {
    if (platform::GetMessage(&msg) && msg.message == platform::WM_NULL) break;
    platform::DispatchMessage(msg);
  }
  worker.join();
  EXPECT_EQ(target.calls, 1);
  EXPECT_EQ(target.sum, 5u);
}

TEST_F(MainWindowTest, CancelQuitsWithoutSavingAndOkSaves) {
  settings_.Load();
  auto w = Make(true);
  settings_.smtp_port = 2525;
  SendMessage(*w, platform::WM_COMMAND, 2, 0);
  EXPECT_TRUE(QuitPosted());
  settings::AppSettings reread;
  reread.Load();
  EXPECT_EQ(reread.smtp_port, 25);

  SendMessage(*w, platform::WM_COMMAND, 1, 0);
  EXPECT_TRUE(QuitPosted());
  reread.Load();
  EXPECT_EQ(reread.smtp_port, 2525);
}

TEST(ApplicationTest, PlatformKindFollowsTheVersionRule) {
  EXPECT_EQ(ComputePlatformKind(3, 11001), 2u);
  EXPECT_EQ(ComputePlatformKind(3, 11000), 0u);
  EXPECT_EQ(ComputePlatformKind(4, 0), 3u);
  EXPECT_EQ(ComputePlatformKind(5, 2), 4u);
  EXPECT_EQ(ComputePlatformKind(6, 1), 0u);
}

}  // namespace
}  // namespace app
