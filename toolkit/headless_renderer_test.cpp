// The headless renderer: what it describes of a dialog running on a thread of its
// own while another thread changes its controls, the dump file another process
// reads, and the renderer that InitRenderer installs.

#include "toolkit/headless_renderer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "tests/support/test_environment.h"
#include "toolkit/ce_dialog.h"
#include "toolkit/controls.h"
#include "toolkit/menu_bar.h"
#include "toolkit/resources.h"

namespace toolkit {
namespace {

using namespace platform;
using ::testing::HasSubstr;

constexpr UINT kDialogId = 9101;

class StatusLikeDialog : public CeDialog {
 public:
  std::atomic<HWND> ready{nullptr};
  LRESULT OnInitDialog(HWND focus, LPARAM param, bool& handled) override {
    LRESULT result = CeDialog::OnInitDialog(focus, param, handled);
    bar_.Create(GetSafeHwnd(), 309);
    ready.store(GetSafeHwnd());
    return result;
  }

 private:
  CMenuBar bar_;
};

bool PumpUntil(const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    MsgWaitForEvents({}, std::chrono::milliseconds(5), true);
    MSG msg;
    while (PeekMessage(&msg)) DispatchMessage(msg);
  }
  return true;
}

std::string Hex(HWND hwnd) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(hwnd)));
  return buf;
}

class HeadlessRendererTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DialogTemplate d;
    d.title = u"Status";
    d.x = 0;
    d.y = 158;
    d.width = 240;
    d.height = 162;
    d.style = WS_POPUP;
    d.controls = {
        {std::u16string(kStaticClass), 10120, u"", RECT{4, 4, 236, 24}, WS_VISIBLE, 0},
        {std::u16string(kStaticClass), 10121, u"", RECT{4, 28, 236, 48}, WS_VISIBLE, 0},
        {std::u16string(kButtonClass), 10122, u"Stop && Send", RECT{6, 56, 78, 154},
         BS_OWNERDRAW | WS_TABSTOP | WS_VISIBLE, 0},
        {std::u16string(kButtonClass), 300, u"Keep", RECT{82, 56, 154, 154}, BS_AUTOCHECKBOX | WS_VISIBLE, 0},
        {std::u16string(kProgressClass), 10126, u"", RECT{4, 30, 236, 46}, 0, 0},
    };
    AddDialogTemplate(kDialogId, d);
    MenuBarResource bar;
    bar.keys = {SoftKeyResource{u"Send", 50600, 0, {}}, SoftKeyResource{u"Save", 50601, 0, {}}};
    AddMenuBar(309, bar);
    dump_ = home_.root() / "ui.txt";
    ASSERT_TRUE(CeWnd::RegisterClassW(u"Main", 0, 0, 0, 0, 0, 0, u""));
  }

  testing_support::ScopedTestHome home_;
  std::filesystem::path dump_;
};

TEST_F(HeadlessRendererTest, DescribesADialogOfAnotherThreadAsItsControlsChange) {
  HeadlessRenderer renderer(dump_.string());
  SetRenderer(&renderer);
  CeWnd main_window;
  HWND main_hwnd = main_window.Create(CeWnd::ClassName(u"Main"), u"Dictalo", 0, 0, 0, 240, 320, nullptr, 0);
  ASSERT_NE(main_hwnd, nullptr);

  StatusLikeDialog dialog;
  Event ended;
  std::thread thread([&] {
    dialog.DoModal(kDialogId, main_hwnd);
    ended.Set();
  });
  ASSERT_TRUE(PumpUntil([&] { return dialog.ready.load() && IsWindowVisible(dialog.ready.load()); }));
  HWND hwnd = dialog.ready.load();
  auto item = [&](int id) { return GetDlgItem(hwnd, id); };

  // What the UI thread does to the status window, from its own thread.
  SetWindowText(item(10120), u"Say \"hi\"\n");
  SetWindowText(item(10121), u"Recording: 00:02, 21KB");
  EXPECT_THAT(renderer.Describe(hwnd),
              HasSubstr("  control id=10121 class=\"STATIC\" text=\"Recording: 00:02, 21KB\" visible=1 enabled=1 rect=4,107,236,127\n"));
  ShowWindow(item(10121), SW_HIDE);
  SendMessage(item(10126), PBM_SETRANGE32, 0, 4096);
  SendMessage(item(10126), PBM_SETPOS, 512, 0);
  ShowWindow(item(10126), SW_SHOW);
  EnableWindow(item(10122), false);
  SendMessage(item(300), BM_SETCHECK, BST_CHECKED, 0);

  std::string expected =
      "window hwnd=" + Hex(hwnd) +
      " class=\"Dialog\" title=\"Status\" visible=1 enabled=1 rect=0,79,240,241\n"  // modal: centred
      "  control id=10120 class=\"STATIC\" text=\"Say \\\"hi\\\"\\n\" visible=1 enabled=1 rect=4,83,236,103\n"
      "  control id=10121 class=\"STATIC\" text=\"Recording: 00:02, 21KB\" visible=0 enabled=1 rect=4,107,236,127\n"
      "  control id=10122 class=\"BUTTON\" text=\"Stop && Send\" visible=1 enabled=0 checked=0 pressed=0 focused=1 rect=6,135,78,233\n"
      "  control id=300 class=\"BUTTON\" text=\"Keep\" visible=1 enabled=1 checked=1 pressed=0 focused=0 rect=82,135,154,233\n"
      "  control id=10126 class=\"msctls_progress32\" text=\"\" visible=1 enabled=1 range=0,4096 pos=512 rect=4,109,236,125\n"
      "  control id=309 class=\"menu_worker\" text=\"\" visible=1 enabled=1 rect=0,215,240,241\n"
      "    control id=50600 class=\"BUTTON\" text=\"Send\" visible=1 enabled=1 checked=0 pressed=0 focused=0 rect=0,215,120,241\n"
      "    control id=50601 class=\"BUTTON\" text=\"Save\" visible=1 enabled=1 checked=0 pressed=0 focused=0 rect=120,215,240,241\n";
  EXPECT_EQ(renderer.Describe(hwnd), expected);
  // The hidden main window is known but not shown in the dump.
  EXPECT_THAT(renderer.Describe(main_hwnd), HasSubstr("title=\"Dictalo\" visible=0"));
  EXPECT_EQ(renderer.DescribeAll(), expected);
  EXPECT_EQ(testing_support::ReadFileBytes(dump_), expected);

  // A press of the check box moves the focus there, then toggles it.
  SendMessage(item(300), WM_LBUTTONDOWN, 0, MAKELPARAM(2, 2));
  EXPECT_THAT(renderer.Describe(hwnd), HasSubstr("id=10122 class=\"BUTTON\" text=\"Stop && Send\" visible=1 "
                                                 "enabled=0 checked=0 pressed=0 focused=0"));
  EXPECT_THAT(renderer.Describe(hwnd), HasSubstr("text=\"Keep\" visible=1 enabled=1 checked=1 pressed=1 focused=1"));
  SendMessage(item(300), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_THAT(testing_support::ReadFileBytes(dump_),
              HasSubstr("text=\"Keep\" visible=1 enabled=1 checked=0 pressed=0 focused=1"));

  dialog.EndDialog(0);
  ASSERT_TRUE(PumpUntil([&] { return ended.IsSet(); }));
  thread.join();
  EXPECT_EQ(renderer.Describe(hwnd), "");
  EXPECT_EQ(testing_support::ReadFileBytes(dump_), "");  // nothing visible any more
  EXPECT_TRUE(std::filesystem::exists(dump_));
  for (const auto& entry : std::filesystem::directory_iterator(home_.root()))
    EXPECT_EQ(entry.path().filename().string().find("ui.txt.tmp"), std::string::npos) << entry.path();

  ShowWindow(main_hwnd, SW_SHOW);
  EXPECT_EQ(testing_support::ReadFileBytes(dump_),
            "window hwnd=" + Hex(main_hwnd) + " class=\"CeWnd:Main\" title=\"Dictalo\" visible=1 enabled=1 "
                                              "rect=0,0,240,320\n");
  DestroyWindow(main_hwnd);
  SetRenderer(nullptr);
}

TEST_F(HeadlessRendererTest, InitRendererInstallsTheHeadlessRendererOnce) {
  ::setenv("DICTALO_UI_DUMP", dump_.c_str(), 1);
  ::setenv("DICTALO_MESSAGEBOX_ANSWERS", "IDOK:unchecked", 1);
  Renderer* renderer = InitRenderer();
  ASSERT_NE(renderer, nullptr);
  EXPECT_EQ(InitRenderer(), renderer);
  EXPECT_EQ(CurrentRenderer(), renderer);
  EXPECT_NE(dynamic_cast<HeadlessRenderer*>(renderer), nullptr);

  CeWnd window;
  HWND hwnd = window.Create(CeWnd::ClassName(u"Main"), u"Shown", WS_VISIBLE, 0, 0, 100, 50, nullptr, 0);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_THAT(testing_support::ReadFileBytes(dump_), HasSubstr("title=\"Shown\" visible=1"));

  // Its message boxes answer from the script, check box included.
  ::testing::internal::CaptureStderr();
  bool checked = true;
  EXPECT_EQ(CheckedNoticeBox(hwnd, u"Stored", u"Saving a Note", MB_OK, u"Don't show this again", checked), IDOK);
  ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(checked);

  DestroyWindow(hwnd);
  SetRenderer(nullptr);
  ::unsetenv("DICTALO_UI_DUMP");
  ::unsetenv("DICTALO_MESSAGEBOX_ANSWERS");
}

class InputDialog : public CeDialog {
 public:
  std::vector<std::string> calls;
  LRESULT OnCommand(WPARAM wparam, LPARAM, bool& handled) override {
    calls.push_back("command " + std::to_string(LOWORD(wparam)));
    handled = true;
    return 0;
  }
  void OnKeyDown(UINT key, UINT, UINT, bool& handled) override {
    calls.push_back("key " + std::to_string(key));
    handled = true;
  }
};

TEST_F(HeadlessRendererTest, InputGoesBackAsMessages) {
  InputDialog dialog;
  HWND hwnd = dialog.Create(kDialogId);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_TRUE(PostClick(GetDlgItem(hwnd, 300)));
  EXPECT_TRUE(PostKey(hwnd, 'Q'));                   // to the focused button, which passes it on
  EXPECT_TRUE(PostKey(GetDlgItem(hwnd, 10120), 'R'));  // a window inside the dialog: the same
  EXPECT_TRUE(PostKey(hwnd, VK_ESCAPE));             // through the dialog's keyboard interface
  MSG msg;
  while (PeekMessage(&msg))
    if (!CeBaseDialog::IsDialogMsg(&msg)) DispatchMessage(msg);
  EXPECT_THAT(dialog.calls, ::testing::ElementsAre("command 300", "key 81", "key 82"));
  EXPECT_EQ(SendMessage(GetDlgItem(hwnd, 300), BM_GETCHECK, 0, 0), BST_CHECKED);
  DestroyWindow(hwnd);
  EXPECT_FALSE(PostClick(GetDlgItem(hwnd, 300)));
}

}  // namespace
}  // namespace toolkit
