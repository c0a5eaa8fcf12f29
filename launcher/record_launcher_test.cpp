#include "launcher/record_launcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/window_system.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace launcher {
namespace {

using testing_support::ReadFileBytes;

// A stand-in main program that records its arguments, one per line.
std::filesystem::path WriteArgumentRecorder(const std::filesystem::path& dir) {
  auto script = dir / "fake-dictalo";
  testing_support::WriteFileBytes(script, "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" +
                                              (dir / "args.txt").string() + "'\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  return script;
}

TEST(RecordLauncherTest, StartsTheProgramWithRecordExactlyWhenNoneRuns) {
  testing_support::ScopedTestHome home;
  auto program = WriteArgumentRecorder(home.root());
  EXPECT_EQ(RunLauncher(u"", program), LaunchAction::Started);
  ASSERT_TRUE(testing_support::WaitUntil([&] { return !ReadFileBytes(home.root() / "args.txt").empty(); }));
  EXPECT_EQ(ReadFileBytes(home.root() / "args.txt"), "-record\n");

  std::filesystem::remove(home.root() / "args.txt");
  EXPECT_EQ(RunLauncher(u"-profile \"Work Settings.ini\"", program), LaunchAction::Started);
  ASSERT_TRUE(testing_support::WaitUntil([&] { return !ReadFileBytes(home.root() / "args.txt").empty(); }));
  EXPECT_EQ(ReadFileBytes(home.root() / "args.txt"), "-record\n-profile\nWork Settings.ini\n");
}

// A main window of this process answering the handshake like the real one.
struct FakeMainWindow {
  static inline std::atomic<int> toggles{0};
  static inline std::atomic<int> queries{0};
  static inline std::u16string received;
  static inline platform::LRESULT copy_data_reply = 1;

  static platform::LRESULT Proc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM w, platform::LPARAM l) {
    if (msg == platform::WM_COPYDATA) {
      auto* cds = reinterpret_cast<const platform::COPYDATASTRUCT*>(l);
      EXPECT_EQ(cds->dwData, 1u);
      received.assign(static_cast<const char16_t*>(cds->lpData), cds->cbData / 2);
      return copy_data_reply;
    }
    if (msg == 5365) ++toggles;
    if (msg == 5367) {
      ++queries;
      return 0;  // not record-only
    }
    return platform::DefWindowProc(hwnd, msg, w, l);
  }
};

TEST(RecordLauncherTest, HandshakeWithARunningMainWindow) {
  testing_support::ScopedTestHome home;
  auto program = WriteArgumentRecorder(home.root());
  platform::WNDCLASS wc;
  wc.lpfnWndProc = &FakeMainWindow::Proc;
  wc.lpszClassName = u"CeWnd:CorvaneEMMainWnd";
  ASSERT_TRUE(platform::RegisterClass(wc));
  platform::HWND hwnd = platform::CreateWindowEx(0, wc.lpszClassName, u"Dictalo", 0, 0, 0, 10, 10, nullptr, 0, nullptr);
  ASSERT_NE(hwnd, nullptr);

  auto run = [&](std::u16string line) {
    std::atomic<bool> done{false};
    LaunchAction action{};
    std::thread t([&] {
      action = RunLauncher(line, program);
      done = true;
    });
    platform::MSG msg;
    while (!done) {
      while (platform::PeekMessage(&msg)) platform::DispatchMessage(msg);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    t.join();
    return action;
  };

  FakeMainWindow::copy_data_reply = 1;
  EXPECT_EQ(run(u"x y"), LaunchAction::Toggled);
  EXPECT_EQ(FakeMainWindow::received, std::u16string(u"x y\0", 4)) << "zero-terminated, size counts the terminator";
  EXPECT_EQ(FakeMainWindow::toggles, 1);
  EXPECT_EQ(FakeMainWindow::queries, 0);

  FakeMainWindow::copy_data_reply = 0;
  EXPECT_EQ(run(u"x"), LaunchAction::Started);
  EXPECT_EQ(FakeMainWindow::toggles, 1);
  EXPECT_EQ(FakeMainWindow::queries, 1);
  ASSERT_TRUE(testing_support::WaitUntil([&] { return !ReadFileBytes(home.root() / "args.txt").empty(); }));
  EXPECT_EQ(ReadFileBytes(home.root() / "args.txt"), "-record\nx\n");
  platform::DestroyWindow(hwnd);
}

}  // namespace
}  // namespace launcher
