// Dialogs: the dialog procedure's results, the init-time rules, OK and Cancel,
// modal runs on the calling thread and on a second thread with the owner on the
// first, the keyboard interface, modeless dialogs and the crash path.

#include "toolkit/ce_base_dialog.h"
#include "toolkit/ce_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_environment.h"
#include "toolkit/controls.h"
#include "toolkit/crash_exit.h"
#include "toolkit/message_box.h"
#include "toolkit/resources.h"

namespace toolkit {
namespace {

using namespace platform;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr UINT kTestDialog = 9001;
constexpr int kFirst = 201, kSecond = 202, kHidden = 203, kDisabled = 204, kThird = 205, kLabel = 206;

// Three tab stops in order kFirst, kSecond, kThird; the hidden and the disabled
// one, and the label, are skipped.
void AddTestDialog(DWORD extra_style = 0) {
  DialogTemplate d;
  d.title = u"Test Dialog";
  d.x = 10;
  d.y = 20;
  d.width = 200;
  d.height = 120;
  d.style = WS_POPUP | extra_style;
  auto button = [](int id, const char16_t* text, DWORD style, int top) {
    return ControlTemplate{std::u16string(kButtonClass), id, text, RECT{10, top, 100, top + 20}, style, 0};
  };
  d.controls = {
      ControlTemplate{std::u16string(kStaticClass), kLabel, u"Label", RECT{10, 0, 100, 10}, WS_VISIBLE, 0},
      button(kFirst, u"First", BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 10),
      button(kSecond, u"Second", BS_AUTOCHECKBOX | WS_TABSTOP | WS_VISIBLE, 30),
      button(kHidden, u"Hidden", BS_PUSHBUTTON | WS_TABSTOP, 50),
      button(kDisabled, u"Disabled", BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE | WS_DISABLED, 70),
      button(kThird, u"Third", BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 90),
  };
  AddDialogTemplate(kTestDialog, d);
}

// Records what reaches its handlers; behaviour is set per test through the hooks.
class TestDialog : public CeDialog {
 public:
  std::vector<std::string> calls;
  std::function<void(TestDialog&)> on_init;
  std::function<LRESULT(TestDialog&, UINT, WPARAM, LPARAM, bool&)> on_message;
  std::function<void(TestDialog&, UINT)> on_command;
  HWND owner_at_init = nullptr;
  bool modal_at_init = false;
  HWND handle_at_final = reinterpret_cast<HWND>(1);
  bool delete_at_final = false;

  LRESULT OnInitDialog(HWND focus, LPARAM param, bool& handled) override {
    calls.push_back("OnInitDialog");
    owner_at_init = GetDialogOwner(GetSafeHwnd());
    modal_at_init = IsModal();
    LRESULT result = CeDialog::OnInitDialog(focus, param, handled);
    if (on_init) on_init(*this);
    return result;
  }
  void OnOK(bool& handled) override {
    calls.push_back("OnOK");
    CeDialog::OnOK(handled);
  }
  void OnCancel(bool& handled) override {
    calls.push_back("OnCancel");
    CeDialog::OnCancel(handled);
  }
  LRESULT OnCommand(WPARAM wparam, LPARAM, bool& handled) override {
    calls.push_back("OnCommand " + std::to_string(LOWORD(wparam)) + " " + std::to_string(HIWORD(wparam)));
    handled = true;
    if (on_command) on_command(*this, LOWORD(wparam));
    return 0;
  }
  LRESULT OnNotify(int id, NMHDR*, bool& handled) override {
    calls.push_back("OnNotify " + std::to_string(id));
    handled = true;
    return 0;
  }
  void OnKeyDown(UINT key, UINT, UINT, bool& handled) override {
    calls.push_back("OnKeyDown " + std::to_string(key));
    handled = true;
  }
  LRESULT OnCtlColorStatic(std::uintptr_t dc, HWND, bool& handled) override {
    handled = dc != 0;
    return 0x55;
  }
  LRESULT OnMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override {
    if (on_message) return on_message(*this, msg, wparam, lparam, handled);
    return CeDialog::OnMessage(msg, wparam, lparam, handled);
  }
  void OnFinalMessage(HWND) override {
    calls.push_back("OnFinalMessage");
    handle_at_final = GetSafeHwnd();
    if (delete_at_final) delete this;
  }
};

// Gets and dispatches the calling thread's messages, offering them to the
// modeless dialogs first, until none is waiting.
void Pump() {
  MSG msg;
  while (PeekMessage(&msg)) {
    if (!CeBaseDialog::IsDialogMsg(&msg)) {
      TranslateMessage(msg);
      DispatchMessage(msg);
    }
  }
}

// Handles messages (sent and posted) until done() or the time is up.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    MsgWaitForEvents({}, std::chrono::milliseconds(5), true);
    Pump();
  }
  return true;
}

class RecordingOwner : public CeWnd {
 public:
  std::vector<std::string> calls;
  std::vector<DWORD> enable_threads;
  void OnEnable(bool enabled, bool& handled) override {
    calls.push_back(enabled ? "OnEnable 1" : "OnEnable 0");
    enable_threads.push_back(GetCurrentThreadId());
    handled = true;
  }
};

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AddTestDialog();
    ASSERT_TRUE(CeWnd::RegisterClassW(u"Owner", 0, 0, 0, 0, 0, 0, u""));
  }
  testing_support::ScopedTestHome home_;
};

TEST_F(DialogTest, DialogProcedureReturnsDirectResultsOrStoresThemInMsgResult) {
  TestDialog dialog;
  dialog.on_message = [](TestDialog&, UINT msg, WPARAM, LPARAM, bool& handled) -> LRESULT {
    if (msg == WM_USER + 5 || msg == WM_COMPAREITEM || msg == WM_VKEYTOITEM) handled = true;
    return msg == WM_USER + 5 ? 77 : 3;
  };
  HWND hwnd = dialog.Create(kTestDialog);
  ASSERT_NE(hwnd, nullptr);
  SetWindowLongPtr(hwnd, DWLP_MSGRESULT, 1234);

  struct Row {
    UINT msg;
    WPARAM wparam;
    LRESULT proc_result;  // what the dialog procedure itself returns
    LRESULT msg_result;   // DWLP_MSGRESULT afterwards
    LRESULT send_result;  // what a sender gets
  } rows[] = {
      {WM_CTLCOLORSTATIC, 1, 0x55, 1234, 0x55},  // direct: the handler's result, slot untouched
      {WM_COMPAREITEM, 0, 3, 1234, 3},
      {WM_VKEYTOITEM, 0, 3, 1234, 3},
      {WM_USER + 5, 0, 1, 77, 77},               // stored, the procedure answers "handled"
      {WM_USER + 6, 0, 0, 77, 0},                // unhandled: 0, default handling
      {WM_CTLCOLORSTATIC, 0, 0, 77, 0},          // the handler declined
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.msg);
    EXPECT_EQ(CeBaseDialog::DialogProc(hwnd, row.msg, row.wparam, 0), row.proc_result);
    EXPECT_EQ(GetWindowLongPtr(hwnd, DWLP_MSGRESULT), row.msg_result);
    SetWindowLongPtr(hwnd, DWLP_MSGRESULT, row.msg_result);
    EXPECT_EQ(SendMessage(hwnd, row.msg, row.wparam, 0), row.send_result);
  }
  EXPECT_TRUE(IsDirectResultMessage(WM_INITDIALOG));
  EXPECT_TRUE(IsDirectResultMessage(306));
  EXPECT_FALSE(IsDirectResultMessage(305));
  EXPECT_FALSE(IsDirectResultMessage(313));
  EXPECT_FALSE(IsDirectResultMessage(WM_COMMAND));
  DestroyWindow(hwnd);
}

TEST_F(DialogTest, OnlyInitDialogBindsAnUnboundDialog) {
  HWND hwnd = CreateDialogParamW(kTestDialog, nullptr, nullptr, 0);
  ASSERT_NE(hwnd, nullptr);
  SetWindowLongPtr(hwnd, DWLP_DLGPROC, reinterpret_cast<std::intptr_t>(CeBaseDialog::DialogProc));
  TestDialog dialog;
  EXPECT_EQ(CeBaseDialog::DialogProc(hwnd, WM_COMMAND, 555, reinterpret_cast<LPARAM>(&dialog)), 0);
  EXPECT_EQ(CeBaseDialog::FromDialog(hwnd), nullptr);
  EXPECT_THAT(dialog.calls, IsEmpty());
  EXPECT_EQ(CeBaseDialog::DialogProc(hwnd, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&dialog)), 1);
  EXPECT_EQ(CeBaseDialog::FromDialog(hwnd), &dialog);
  EXPECT_EQ(dialog.GetSafeHwnd(), hwnd);
  EXPECT_THAT(dialog.calls, ElementsAre("OnInitDialog"));
  DestroyWindow(hwnd);
  EXPECT_EQ(dialog.handle_at_final, nullptr);
  EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
}

TEST_F(DialogTest, CommandsAndNotificationsDuringInitAreIgnored) {
  TestDialog dialog;
  dialog.on_init = [](TestDialog& d) {
    NMHDR header{d.GetSafeHwnd(), 7, 0};
    d.SendMessageW(WM_COMMAND, MAKEWPARAM(kFirst, 0), 0);
    d.SendMessageW(WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&header));
    d.SendMessageW(WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);  // OK and Cancel still count
    d.calls.push_back(d.IsInsideInit() ? "inside" : "outside");
  };
  HWND hwnd = dialog.Create(kTestDialog);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_FALSE(dialog.IsInsideInit());
  NMHDR header{hwnd, 7, 0};
  SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(kFirst, 0), 0);
  SendMessage(hwnd, WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&header));
  EXPECT_THAT(dialog.calls, ElementsAre("OnInitDialog", "OnOK", "inside", "OnCommand 201 0", "OnNotify 7"));
  DestroyWindow(hwnd);
}

TEST_F(DialogTest, CommandFFFFMovesTheFocusToTheControlAfterTheSender) {
  TestDialog dialog;
  HWND hwnd = dialog.Create(kTestDialog);
  ASSERT_NE(hwnd, nullptr);
  HWND second = GetDlgItem(hwnd, kSecond);
  SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(0xFFFF, 0), reinterpret_cast<LPARAM>(second));
  EXPECT_EQ(GetFocus(), GetDlgItem(hwnd, kFirst));  // posted: nothing yet
  Pump();
  EXPECT_EQ(GetFocus(), GetDlgItem(hwnd, kThird));  // hidden and disabled ones skipped
  SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(0xFFFF, 1), reinterpret_cast<LPARAM>(second));
  Pump();
  EXPECT_EQ(GetFocus(), GetDlgItem(hwnd, kThird));  // another notification: nothing
  EXPECT_THAT(dialog.calls, ElementsAre("OnInitDialog", "OnCommand 65535 1"));
  DestroyWindow(hwnd);
}

TEST_F(DialogTest, ModalOkCancelAndEndDialogGiveTheirResults) {
  RecordingOwner owner;
  HWND owner_hwnd = owner.Create(CeWnd::ClassName(u"Owner"), u"Owner", 0, 0, 0, 240, 320, nullptr, 0);
  ASSERT_NE(owner_hwnd, nullptr);
  struct Row {
    UINT command;
    LRESULT result;
    const char* handler;
  } rows[] = {{IDOK, 1, "OnOK"}, {IDCANCEL, 2, "OnCancel"}, {kFirst, 42, "OnCommand 201 0"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.handler);
    TestDialog dialog;
    dialog.on_init = [&](TestDialog& d) { d.PostMessageW(WM_COMMAND, MAKEWPARAM(row.command, 0), 0); };
    // Any other command ends the dialog from its handler, with a result of its own.
    dialog.on_command = [](TestDialog& d, UINT) { d.EndDialog(42); };
    EXPECT_EQ(dialog.DoModal(kTestDialog, owner_hwnd), row.result);
    EXPECT_THAT(dialog.calls, ::testing::Contains(row.handler));
    EXPECT_TRUE(dialog.modal_at_init);
    EXPECT_EQ(dialog.owner_at_init, owner_hwnd);
    EXPECT_EQ(dialog.handle_at_final, nullptr);
    EXPECT_EQ(dialog.calls.back(), "OnFinalMessage");
  }
  // The owner was disabled during each run and enabled again after it.
  EXPECT_THAT(owner.calls, ElementsAre("OnEnable 0", "OnEnable 1", "OnEnable 0", "OnEnable 1", "OnEnable 0",
                                       "OnEnable 1"));
  EXPECT_TRUE(IsWindowEnabled(owner_hwnd));
  // A template that does not exist: -1, the owner untouched.
  TestDialog missing;
  EXPECT_EQ(missing.DoModal(4242, owner_hwnd), -1);
  EXPECT_EQ(owner.calls.size(), 6u);
  DestroyWindow(owner_hwnd);
}

TEST_F(DialogTest, ModalOwnerRulesAndRememberedFocus) {
  RecordingOwner main_window, top, child;
  HWND main_hwnd = main_window.Create(CeWnd::ClassName(u"Owner"), u"Main", 0, 0, 0, 240, 320, nullptr, 0);
  HWND top_hwnd = top.Create(CeWnd::ClassName(u"Owner"), u"Top", 0, 0, 0, 240, 320, nullptr, 0);
  HWND child_hwnd = child.Create(CeWnd::ClassName(u"Owner"), u"Child", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, top_hwnd, 3);
  ASSERT_TRUE(main_hwnd && top_hwnd && child_hwnd);
  SetProgramMainWindow(main_hwnd);
  SetFocus(child_hwnd);

  auto run = [](HWND parent) {
    TestDialog dialog;
    dialog.on_init = [](TestDialog& d) { d.PostMessageW(WM_COMMAND, IDCANCEL, 0); };
    dialog.DoModal(kTestDialog, parent);
    return dialog.owner_at_init;
  };
  EXPECT_EQ(run(child_hwnd), top_hwnd);   // a child of another class: its top-level window
  EXPECT_EQ(run(nullptr), main_hwnd);     // no parent: the program's main window
  EXPECT_EQ(run(top_hwnd), top_hwnd);
  EXPECT_EQ(GetFocus(), child_hwnd);      // given back after each run
  SetProgramMainWindow(nullptr);
  DestroyWindow(top_hwnd);
  DestroyWindow(main_hwnd);
}

TEST_F(DialogTest, ModalDialogOnASecondThreadDisablesAnOwnerOfTheFirst) {
  RecordingOwner owner;
  HWND owner_hwnd = owner.Create(CeWnd::ClassName(u"Owner"), u"Owner", WS_VISIBLE, 0, 0, 240, 320, nullptr, 0);
  ASSERT_NE(owner_hwnd, nullptr);
  TestDialog dialog;
  std::atomic<HWND> shown{nullptr};
  std::atomic<DWORD> dialog_thread{0};
  dialog.on_init = [&](TestDialog& d) { shown.store(d.GetSafeHwnd()); };
  std::atomic<LRESULT> result{-5};
  Event ended;
  std::thread thread([&] {
    dialog_thread.store(GetCurrentThreadId());
    result.store(dialog.DoModal(kTestDialog, owner_hwnd));
    ended.Set();
  });
  // The owner's thread keeps handling messages while it waits, as a UI thread does.
  ASSERT_TRUE(PumpUntil([&] { return shown.load() && !IsWindowEnabled(owner_hwnd) && !owner.calls.empty(); }));
  HWND hwnd = shown.load();
  EXPECT_TRUE(IsDialog(hwnd));
  EXPECT_TRUE(IsModalDialog(hwnd));
  EXPECT_EQ(GetWindowThreadId(hwnd), dialog_thread.load());
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(hwnd); }));
  // The first thread changes the dialog's controls directly.
  EXPECT_TRUE(SetWindowText(GetDlgItem(hwnd, kLabel), u"Changed"));
  EXPECT_EQ(GetWindowText(GetDlgItem(hwnd, kLabel)), u"Changed");
  EXPECT_TRUE(dialog.EndDialog(7));
  ASSERT_TRUE(PumpUntil([&] { return ended.IsSet(); }));
  thread.join();
  EXPECT_EQ(result.load(), 7);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_TRUE(IsWindowEnabled(owner_hwnd));
  EXPECT_THAT(owner.calls, ElementsAre("OnEnable 0", "OnEnable 1"));
  // WM_ENABLE reached the owner on its own thread, both ways.
  EXPECT_THAT(owner.enable_threads, ElementsAre(GetCurrentThreadId(), GetCurrentThreadId()));
  EXPECT_FALSE(dialog.EndDialog(8));  // nothing left to end
  DestroyWindow(owner_hwnd);
}

TEST_F(DialogTest, QuitMessageEndsAModalDialogAndIsPostedAgain) {
  TestDialog dialog;
  dialog.on_init = [](TestDialog&) { PostQuitMessage(9); };
  EXPECT_EQ(dialog.DoModal(kTestDialog, nullptr), 0);
  MSG msg;
  EXPECT_EQ(GetMessage(&msg), 0);
  EXPECT_EQ(msg.wParam, 9u);
}

TEST_F(DialogTest, KeyboardMovesFocusAndSendsOkAndCancel) {
  TestDialog dialog;
  HWND hwnd = dialog.Create(kTestDialog);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_THAT(CeBaseDialog::ModelessDialogs(), ElementsAre(hwnd));
  HWND first = GetDlgItem(hwnd, kFirst), second = GetDlgItem(hwnd, kSecond), third = GetDlgItem(hwnd, kThird);
  EXPECT_EQ(GetFocus(), first);  // WM_INITDIALOG answered 1: the first tab stop
  auto key = [&](UINT vk, bool down = true) {
    PostMessage(GetFocus() ? GetFocus() : hwnd, down ? WM_KEYDOWN : WM_KEYUP, vk, MAKELPARAM(1, 0));
    Pump();
  };
  key(VK_TAB);
  EXPECT_EQ(GetFocus(), second);
  key(VK_TAB);
  EXPECT_EQ(GetFocus(), third);
  key(VK_TAB);
  EXPECT_EQ(GetFocus(), first);  // wraps
  key(VK_SHIFT);
  key(VK_TAB);
  EXPECT_EQ(GetFocus(), third);  // Shift-Tab goes back
  key(VK_TAB);
  EXPECT_EQ(GetFocus(), second);
  key(VK_SHIFT, false);
  EXPECT_FALSE(IsShiftDown());
  EXPECT_EQ(GetDialogFocus(hwnd), second);

  dialog.calls.clear();
  key(VK_RETURN);  // the check box is no push button: IDOK
  SetFocus(third);
  key(VK_RETURN);  // a focused push button answers Enter itself
  key(VK_ESCAPE);
  key('A');        // a key the button has no use for reaches the dialog
  EXPECT_THAT(dialog.calls, ElementsAre("OnOK", "OnCommand 205 0", "OnCancel", "OnKeyDown 65"));
  EXPECT_EQ(SendMessage(second, BM_GETCHECK, 0, 0), BST_UNCHECKED);  // Enter did not click it

  // A message for a window outside every dialog is not taken.
  RecordingOwner other;
  HWND other_hwnd = other.Create(CeWnd::ClassName(u"Owner"), u"Other", 0, 0, 0, 10, 10, nullptr, 0);
  MSG msg{other_hwnd, WM_KEYDOWN, VK_TAB, 0, 0};
  EXPECT_FALSE(CeBaseDialog::IsDialogMsg(&msg));
  DestroyWindow(other_hwnd);

  // Closing the dialog's window asks Cancel; a modeless dialog is left open by it.
  dialog.calls.clear();
  SendMessage(hwnd, WM_CLOSE, 0, 0);
  EXPECT_THAT(dialog.calls, ElementsAre("OnCancel"));
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_TRUE(dialog.EndDialog(0));
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_THAT(CeBaseDialog::ModelessDialogs(), IsEmpty());
}

TEST_F(DialogTest, ModelessDialogEndedFromAnotherThreadAndObjectDeletedAtFinalMessage) {
  AddTestDialog(WS_VISIBLE);
  auto* dialog = new TestDialog;
  dialog->delete_at_final = true;
  HWND hwnd = dialog->Create(kTestDialog);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_TRUE(IsWindowVisible(hwnd));  // WS_VISIBLE in the template: shown at once
  EXPECT_FALSE(IsModalDialog(hwnd));
  std::thread other([&] { EXPECT_TRUE(EndDialog(hwnd, 3)); });
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(hwnd); }));
  other.join();
  EXPECT_THAT(CeBaseDialog::ModelessDialogs(), IsEmpty());
}

TEST_F(DialogTest, ScrollingDialogMovesItsContent) {
  TestDialog dialog;
  dialog.SetFixedSize(150, 0);
  HWND hwnd = dialog.Create(kTestDialog);
  ASSERT_NE(hwnd, nullptr);
  RECT window;
  GetWindowRect(hwnd, &window);
  EXPECT_EQ(window.right - window.left, 150 + 13);  // fixed width plus the vertical scroll bar
  EXPECT_EQ(window.bottom - window.top, 120);
  EXPECT_EQ(dialog.content_height(), 120);
  EXPECT_EQ(dialog.default_width(), 200);

  auto third_top = [&] {
    RECT r, d;
    GetWindowRect(GetDlgItem(hwnd, kThird), &r);
    GetWindowRect(hwnd, &d);
    return r.top - d.top;
  };
  MoveWindow(hwnd, 10, 20, 200, 50, true);
  EXPECT_EQ(dialog.GetScrollLimit(SB_VERT), 70);
  EXPECT_EQ(dialog.GetScrollLimit(SB_HORZ), 0);
  struct Row {
    UINT request;
    int thumb;
    int pos;
  } rows[] = {{SB_LINEDOWN, 0, 16}, {SB_LINEDOWN, 0, 32}, {SB_PAGEDOWN, 0, 70}, {SB_LINEUP, 0, 54},
              {SB_THUMBPOSITION, 5, 5}, {SB_TOP, 0, 0},  {SB_BOTTOM, 0, 70},  {SB_PAGEUP, 0, 20}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.request);
    SendMessage(hwnd, WM_VSCROLL, MAKEWPARAM(static_cast<std::uint16_t>(row.request),
                                             static_cast<std::uint16_t>(row.thumb)), 0);
    EXPECT_EQ(dialog.GetScrollPos(SB_VERT), row.pos);
    EXPECT_EQ(third_top(), 90 - row.pos);
  }
  // A slider's scroll message is no scrolling of the dialog.
  SendMessage(hwnd, WM_VSCROLL, SB_TOP, reinterpret_cast<LPARAM>(GetDlgItem(hwnd, kFirst)));
  EXPECT_EQ(dialog.GetScrollPos(SB_VERT), 20);
  // Growing the dialog brings the content back within the range.
  MoveWindow(hwnd, 10, 20, 200, 110, true);
  EXPECT_EQ(dialog.GetScrollPos(SB_VERT), 10);
  EXPECT_EQ(third_top(), 80);
  DestroyWindow(hwnd);
}

TEST_F(DialogTest, ChildManagerKeepsEdgesAndDefersWhileUpdating) {
  TestDialog dialog;
  HWND hwnd = dialog.Create(kTestDialog);
  ASSERT_NE(hwnd, nullptr);
  HWND first = GetDlgItem(hwnd, kFirst), second = GetDlgItem(hwnd, kSecond), third = GetDlgItem(hwnd, kThird);
  CeChildMgr& mgr = dialog.ChildMgr();
  ASSERT_TRUE(mgr.Manage(hwnd, first, CeChildMgr::kSizeRight));
  ASSERT_TRUE(mgr.Manage(hwnd, second, CeChildMgr::kMoveRight | CeChildMgr::kMoveBottom));
  ASSERT_TRUE(mgr.Manage(hwnd, third, CeChildMgr::kFollowPreviousY));
  EXPECT_FALSE(mgr.Manage(hwnd, hwnd, 0));
  auto rect_of = [&](HWND child) {
    RECT r, d;
    GetWindowRect(child, &r);
    GetWindowRect(hwnd, &d);
    return std::vector<int>{r.left - d.left, r.top - d.top, r.right - d.left, r.bottom - d.top};
  };
  CeChildMgr::BeginUpdate();
  MoveWindow(hwnd, 0, 0, 260, 160, true);
  EXPECT_EQ(rect_of(first), (std::vector<int>{10, 10, 100, 30}));  // deferred
  CeChildMgr::EndUpdate();
  EXPECT_EQ(rect_of(first), (std::vector<int>{10, 10, 160, 30}));    // right edge 100 px from the right
  EXPECT_EQ(rect_of(second), (std::vector<int>{70, 70, 160, 90}));   // moved with both edges
  EXPECT_EQ(rect_of(third), (std::vector<int>{10, 130, 100, 150}));  // kept 40 px below the previous one
  DestroyWindow(hwnd);
}

void ThrowInDialog() {
  testing_support::ScopedTestHome home;
  AddTestDialog();
  TestDialog dialog;
  dialog.on_message = [](TestDialog&, UINT msg, WPARAM, LPARAM, bool&) -> LRESULT {
    if (msg == WM_USER + 9) throw std::runtime_error("boom");
    return 0;
  };
  HWND hwnd = dialog.Create(kTestDialog);
  SendMessage(hwnd, WM_USER + 9, 0, 0);
}

TEST(DialogDeathTest, AnExceptionInAHandlerShowsTheCrashTextAndEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ThrowInDialog(), ::testing::ExitedWithCode(kCrashExitCode),
              "\\[message box\\] Software Error\n  Test Dialog at boom had an internal crash. Now closing program.\n");
}

}  // namespace
}  // namespace toolkit
