// Starting the program with or without a display: headless on the calling
// thread when there is none (also when a display variable names one that does
// not answer), else the Qt renderer on the main thread and the program on a
// second one, with its exit code, failures and the UI dump passed through.

#include "toolkit/qt/qt_program_start.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "platform/window_system.h"
#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"
#include "toolkit/display.h"
#include "toolkit/headless_renderer.h"
#include "toolkit/qt/qt_renderer.h"
#include "toolkit/renderer.h"

namespace toolkit::qt {
namespace {

using namespace platform;

class ProgramStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DICTALO_UI_DUMP", "DICTALO_RENDERER"}) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
      ::unsetenv(name);
    }
  }
  void TearDown() override {
    for (auto& [name, value] : saved_) {
      if (value) ::setenv(name.c_str(), value->c_str(), 1);
      else ::unsetenv(name.c_str());
    }
  }
  int Run(const std::function<int()>& program) {
    static char name[] = "dictalo";
    static char* argv[] = {name, nullptr};
    return RunProgramWithRenderer(1, argv, program);
  }

  testing_support::ScopedTestHome home_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(ProgramStartTest, WithoutADisplayTheProgramRunsHereWithTheHeadlessRenderer) {
  auto caller = std::this_thread::get_id();
  int code = Run([&] {
    EXPECT_EQ(std::this_thread::get_id(), caller);
    EXPECT_NE(dynamic_cast<HeadlessRenderer*>(CurrentRenderer()), nullptr);
    return 3;
  });
  EXPECT_EQ(code, 3);
}

TEST_F(ProgramStartTest, ADisplayThatDoesNotAnswerMeansHeadless) {
  // A display number nobody serves, and a Wayland socket that is not there.
  int number = 90;
  while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number))) ++number;
  ::setenv("DISPLAY", (":" + std::to_string(number)).c_str(), 1);
  ::setenv("WAYLAND_DISPLAY", "wayland-nobody", 1);
  EXPECT_EQ(DetectDisplay(), DisplayKind::kNone);
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  EXPECT_EQ(DetectDisplay(), DisplayKind::kNone);
  int code = Run([] { return CurrentRenderer() && dynamic_cast<QtRenderer*>(CurrentRenderer()) == nullptr ? 4 : 0; });
  EXPECT_EQ(code, 4);
}

TEST_F(ProgramStartTest, WithAQtPlatformTheProgramRunsOnASecondThreadWithTheQtRenderer) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::string dump = (home_.root() / "ui.txt").string();
  ::setenv("DICTALO_UI_DUMP", dump.c_str(), 1);
  ::setenv("DICTALO_RENDERER", "headless", 1);
  EXPECT_EQ(DetectDisplay(), DisplayKind::kNone);
  ::unsetenv("DICTALO_RENDERER");
  EXPECT_EQ(DetectDisplay(), DisplayKind::kQtPlatform);
  auto caller = std::this_thread::get_id();
  QtRenderer* seen = nullptr;
  int code = Run([&] {
    EXPECT_NE(std::this_thread::get_id(), caller);
    seen = dynamic_cast<QtRenderer*>(CurrentRenderer());
    EXPECT_NE(seen, nullptr);
    // The program's own start keeps the renderer it finds.
    EXPECT_EQ(InitRenderer(), CurrentRenderer());
    WNDCLASS wc;
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = u"QtStartProbe";
    RegisterClass(wc);
    HWND w = CreateWindowEx(0, u"QtStartProbe", u"Probe", WS_POPUP | WS_VISIBLE, 0, 0, 100, 50, nullptr, 0, nullptr);
    // The dump is written as without a display.
    EXPECT_NE(testing_support::ReadFileBytes(dump).find("title=\"Probe\""), std::string::npos);
    DestroyWindow(w);
    return 7;
  });
  EXPECT_EQ(code, 7);
  ASSERT_NE(seen, nullptr);
  EXPECT_NE(CurrentRenderer(), seen);
}

// A real X server (Xvfb): found through DISPLAY, the program runs with the Qt
// renderer over xcb and learns the screen's size and work area.
TEST_F(ProgramStartTest, AnXServerThatAnswersIsUsed) {
  const std::filesystem::path xvfb = "/usr/bin/Xvfb";
  if (!std::filesystem::exists(xvfb)) GTEST_SKIP() << "Xvfb is not installed";
  int number = 150;
  while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)) ||
         std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock"))
    ++number;
  std::string display = ":" + std::to_string(number);
  testing_support::ChildProcess server(xvfb, {display, "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
  ASSERT_TRUE(testing_support::WaitUntil(
      [&] { return std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)); }));
  ::setenv("DISPLAY", display.c_str(), 1);
  ASSERT_TRUE(testing_support::WaitUntil([] { return DetectDisplay() == DisplayKind::kX11; }));
  ::setenv("DISPLAY", ("unix" + display + ".0").c_str(), 1);
  EXPECT_EQ(DetectDisplay(), DisplayKind::kX11);

  DisplayMetrics metrics;
  bool qt_renderer = false;
  int code = Run([&] {
    qt_renderer = dynamic_cast<QtRenderer*>(CurrentRenderer()) != nullptr;
    metrics = GetDisplayMetrics();
    return 0;
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(qt_renderer);
  EXPECT_EQ(metrics.dpi, 96);
  // In the program's pixels at 96 dpi.
  double scale = metrics.screen_width > 0 ? 1024.0 / metrics.screen_width : 0;
  EXPECT_NEAR(metrics.screen_height * scale, 768, 2);
  EXPECT_GT(metrics.work_area.right, 0);
  EXPECT_LE(metrics.work_area.bottom, metrics.screen_height);
}

TEST_F(ProgramStartTest, AFailureOfTheProgramReachesTheCaller) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  EXPECT_THROW(Run([]() -> int { throw std::runtime_error("broken"); }), std::runtime_error);
}

}  // namespace
}  // namespace toolkit::qt
