// The soft-key bar: keys from the resource, a key press as a menu command to the
// owner, disabled keys, popup items (greyed ones too), and a bar whose owner
// went first.

#include "toolkit/menu_bar.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_environment.h"
#include "toolkit/ce_wnd.h"
#include "toolkit/controls.h"
#include "toolkit/headless_renderer.h"

namespace toolkit {
namespace {

using namespace platform;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// The headless dump, and which controls reported a change.
class WatchingRenderer : public HeadlessRenderer {
 public:
  std::vector<HWND> changed;
  void OnControlChanged(HWND control) override {
    changed.push_back(control);
    HeadlessRenderer::OnControlChanged(control);
  }
};

class Owner : public CeWnd {
 public:
  std::vector<std::string> commands;
  LRESULT OnCommand(WPARAM wparam, LPARAM lparam, bool& handled) override {
    commands.push_back(std::to_string(LOWORD(wparam)) + " " + std::to_string(HIWORD(wparam)) + " " +
                       std::to_string(lparam));
    handled = true;
    return 0;
  }
};

class MenuBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MenuBarResource bar;
    bar.keys = {SoftKeyResource{u"Send", 50600, 0, {}}, SoftKeyResource{u"Save", 50601, 0, {}}};
    AddMenuBar(309, bar);
    MenuBarResource with_popup;
    with_popup.keys = {SoftKeyResource{u"OK", 1, 0, {}},
                       SoftKeyResource{u"Menu", 0, 308, {{u"About...", 40001}, {u"", 0}, {u"Resend Notes", 40014}}}};
    AddMenuBar(307, with_popup);
    ASSERT_TRUE(CeWnd::RegisterClassW(u"Owner", 0, 0, 0, 0, 0, 0, u""));
    hwnd_ = owner_.Create(CeWnd::ClassName(u"Owner"), u"Owner", WS_VISIBLE, 0, 0, 240, 162, nullptr, 0);
    ASSERT_NE(hwnd_, nullptr);
  }
  void TearDown() override { DestroyWindow(hwnd_); }

  testing_support::ScopedTestHome home_;
  Owner owner_;
  HWND hwnd_ = nullptr;
};

TEST_F(MenuBarTest, KeysSendTheirCommandsToTheOwner) {
  CMenuBar bar;
  EXPECT_FALSE(bar.Create(hwnd_, 999));  // no such resource
  ASSERT_TRUE(bar.Create(hwnd_, 309));
  EXPECT_FALSE(bar.Create(hwnd_, 309));  // already made
  EXPECT_EQ(bar.GetBarId(), 309u);
  EXPECT_EQ(GetDlgItem(hwnd_, 309), bar.GetWindow());
  RECT r;
  GetWindowRect(bar.GetWindow(), &r);
  EXPECT_EQ(r.bottom, 162);  // along the owner's bottom edge
  EXPECT_EQ(r.right - r.left, 240);
  ASSERT_EQ(bar.GetKeyCount(), 2u);
  EXPECT_EQ(GetWindowText(bar.GetKeyWindow(0)), u"Send");
  EXPECT_EQ(GetDlgCtrlID(bar.GetKeyWindow(1)), 50601);

  EXPECT_TRUE(bar.PressKey(0));
  EXPECT_TRUE(bar.PressKey(1));
  SendMessage(bar.GetKeyWindow(0), BM_CLICK, 0, 0);  // a renderer's tap on the key
  EXPECT_FALSE(bar.PressKey(2));
  EXPECT_TRUE(bar.EnableKey(50600, false));
  EXPECT_FALSE(bar.PressKey(0));
  SendMessage(bar.GetKeyWindow(0), BM_CLICK, 0, 0);
  EXPECT_FALSE(IsWindowEnabled(bar.GetKeyWindow(0)));
  EXPECT_FALSE(bar.EnableKey(12345, false));
  EXPECT_TRUE(bar.SetKeyText(50601, u"Keep"));
  EXPECT_EQ(GetWindowText(bar.GetKeyWindow(1)), u"Keep");
  EXPECT_THAT(owner_.commands, ElementsAre("50600 0 0", "50601 0 0", "50600 0 0"));

  // A key pressed from another thread still reaches the owner on its own thread.
  std::thread other([&] { SendMessage(bar.GetKeyWindow(1), BM_CLICK, 0, 0); });
  while (owner_.commands.size() < 4) MsgWaitForEvents({}, std::chrono::milliseconds(5), true);
  other.join();
  EXPECT_EQ(owner_.commands.back(), "50601 0 0");
}

TEST_F(MenuBarTest, PopupItemsAreChosenByTheRenderer) {
  CMenuBar bar;
  ASSERT_TRUE(bar.Create(hwnd_, 307));
  auto key = bar.GetKey(1);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->popup_id, 308u);
  ASSERT_EQ(key->popup.size(), 3u);
  EXPECT_EQ(GetDlgCtrlID(bar.GetKeyWindow(1)), 308);
  EXPECT_FALSE(bar.PressKey(1));  // opens a popup: no command of its own
  SendMessage(bar.GetKeyWindow(1), BM_CLICK, 0, 0);
  EXPECT_TRUE(bar.ChoosePopupItem(1, 40014));
  EXPECT_FALSE(bar.ChoosePopupItem(1, 0));      // the separator
  EXPECT_FALSE(bar.ChoosePopupItem(1, 40002));  // not an item of it
  EXPECT_FALSE(bar.ChoosePopupItem(0, 40014));
  EXPECT_THAT(owner_.commands, ElementsAre("40014 0 0"));
}

TEST_F(MenuBarTest, GreyedPopupItemsAreShownButRefused) {
  WatchingRenderer renderer;
  Renderer* previous = SetRenderer(&renderer);
  {
    CMenuBar bar;
    ASSERT_TRUE(bar.Create(hwnd_, 307));
    HWND popup_key = bar.GetKeyWindow(1);
    auto dump = [&] { return renderer.Describe(bar.GetWindow()); };
    EXPECT_THAT(dump(), HasSubstr("control id=308 class=\"BUTTON\" text=\"Menu\" visible=1 enabled=1 checked=0 "
                                  "pressed=0 focused=0 popup=[{40001,\"About...\",enabled=1},-,"
                                  "{40014,\"Resend Notes\",enabled=1}] rect="));
    // The key with a command of its own lists no popup.
    EXPECT_THAT(dump(), HasSubstr("control id=1 class=\"BUTTON\" text=\"OK\" visible=1 enabled=1 checked=0 "
                                  "pressed=0 focused=0 rect="));
    EXPECT_TRUE(bar.IsItemEnabled(40014));

    renderer.changed.clear();  // what the keys reported as they were made
    EXPECT_TRUE(bar.EnableItem(40014, false));
    EXPECT_THAT(renderer.changed, ElementsAre(popup_key));
    EXPECT_FALSE(bar.IsItemEnabled(40014));
    EXPECT_TRUE(bar.GetKey(1)->popup[2].grayed);
    EXPECT_THAT(dump(), HasSubstr("{40014,\"Resend Notes\",enabled=0}]"));
    EXPECT_THAT(dump(), HasSubstr("{40001,\"About...\",enabled=1}"));
    EXPECT_FALSE(bar.ChoosePopupItem(1, 40014));
    EXPECT_TRUE(bar.ChoosePopupItem(1, 40001));  // the others stay usable

    // Greying again changes nothing to show.
    renderer.changed.clear();
    EXPECT_TRUE(bar.EnableItem(40014, false));
    EXPECT_THAT(renderer.changed, IsEmpty());
    EXPECT_FALSE(bar.EnableItem(40099, false));  // no such item
    EXPECT_FALSE(bar.EnableItem(0, false));      // a separator is no item to grey
    EXPECT_THAT(renderer.changed, IsEmpty());

    EXPECT_TRUE(bar.EnableItem(40014, true));
    EXPECT_THAT(renderer.changed, ElementsAre(popup_key));
    EXPECT_THAT(dump(), HasSubstr("{40014,\"Resend Notes\",enabled=1}]"));
    EXPECT_TRUE(bar.ChoosePopupItem(1, 40014));
    EXPECT_THAT(owner_.commands, ElementsAre("40001 0 0", "40014 0 0"));
  }
  SetRenderer(previous);
}

TEST_F(MenuBarTest, BarGoesWithItsOwnerOrItsObject) {
  {
    CMenuBar bar;
    ASSERT_TRUE(bar.Create(hwnd_, 309));
    HWND window = bar.GetWindow();
    EXPECT_EQ(CMenuBar::FromWindow(window), &bar);
    bar.Destroy();
    EXPECT_FALSE(IsWindow(window));
  }
  CMenuBar bar;
  ASSERT_TRUE(bar.Create(hwnd_, 309));
  HWND key = bar.GetKeyWindow(0);
  DestroyWindow(hwnd_);
  hwnd_ = nullptr;
  EXPECT_FALSE(IsWindow(key));
  EXPECT_FALSE(bar.PressKey(0));
}

}  // namespace
}  // namespace toolkit
