// The toolkit's dispatch contract: binding, the handler table, the handled flag,
// the final message, subclassing and the crash path.

#include "toolkit/ce_wnd.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/test_environment.h"
#include "toolkit/crash_exit.h"

namespace toolkit {
namespace {

using namespace platform;
using ::testing::ElementsAre;

std::string Str(const char* name, std::initializer_list<long long> args = {}) {
  std::string s = name;
  for (long long a : args) s += " " + std::to_string(a);
  return s;
}

// Records every handler call with its decoded arguments and claims the message.
class RecordingWnd : public CeWnd {
 public:
  std::vector<std::string> calls;
  void* create_param = nullptr;
  HWND handle_at_first_message = reinterpret_cast<HWND>(1);

  void OnChar(UINT k, UINT r, UINT f, bool& h) override { Note(h, Str("OnChar", {k, r, f})); }
  void OnClose(bool& h) override { Note(h, "OnClose"); }
  void OnCreate(CREATESTRUCT* cs, bool& h) override {
    create_param = cs->lpCreateParams;
    Note(h, "OnCreate");
  }
  LRESULT OnCommand(WPARAM w, LPARAM l, bool& h) override {
    Note(h, Str("OnCommand", {static_cast<long long>(w), l}));
    return 13;
  }
  LRESULT OnNotify(int id, NMHDR* n, bool& h) override {
    Note(h, Str("OnNotify", {id, n->code}));
    return 12;
  }
  void OnDestroy(bool& h) override { Note(h, "OnDestroy"); }
  void OnEnable(bool e, bool& h) override { Note(h, Str("OnEnable", {e})); }
  LRESULT OnEraseBkgnd(std::uintptr_t dc, bool& h) override {
    Note(h, Str("OnEraseBkgnd", {static_cast<long long>(dc)}));
    return 11;
  }
  void OnKeyDown(UINT k, UINT r, UINT f, bool& h) override { Note(h, Str("OnKeyDown", {k, r, f})); }
  void OnKeyUp(UINT k, UINT r, UINT f, bool& h) override { Note(h, Str("OnKeyUp", {k, r, f})); }
  void OnLButtonDblClk(UINT k, POINT p, bool& h) override { Note(h, Str("OnLButtonDblClk", {k, p.x, p.y})); }
  void OnLButtonDown(UINT k, POINT p, bool& h) override { Note(h, Str("OnLButtonDown", {k, p.x, p.y})); }
  void OnLButtonUp(UINT k, POINT p, bool& h) override { Note(h, Str("OnLButtonUp", {k, p.x, p.y})); }
  void OnMouseMove(UINT k, POINT p, bool& h) override { Note(h, Str("OnMouseMove", {k, p.x, p.y})); }
  void OnMove(int x, int y, bool& h) override { Note(h, Str("OnMove", {x, y})); }
  void OnPaint(bool& h) override { Note(h, "OnPaint"); }
  void OnShowWindow(bool s, UINT st, bool& h) override { Note(h, Str("OnShowWindow", {s, st})); }
  void OnSize(UINT t, int w, int hh, bool& h) override { Note(h, Str("OnSize", {t, w, hh})); }
  void OnTimer(std::uintptr_t id, bool& h) override { Note(h, Str("OnTimer", {static_cast<long long>(id)})); }
  void OnSettingChange(UINT f, LPARAM l, bool& h) override { Note(h, Str("OnSettingChange", {f, l})); }
  LRESULT OnMessage(UINT m, WPARAM w, LPARAM l, bool& h) override {
    Note(h, Str("OnMessage", {m, static_cast<long long>(w), l}));
    return 14;
  }
  void OnFirstMessage(HWND hwnd) override {
    calls.push_back(hwnd ? "OnFirstMessage" : "OnFirstMessage null");
    handle_at_first_message = GetSafeHwnd();
  }
  void OnFinalMessage(HWND hwnd) override {
    calls.push_back(GetSafeHwnd() == nullptr && hwnd ? "OnFinalMessage" : "OnFinalMessage with handle");
  }

 private:
  void Note(bool& handled, std::string call) {
    calls.push_back(std::move(call));
    handled = true;
  }
};

class ToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(CeWnd::RegisterClassW(u"Test", 3, 0, 0, 0, 0, 0, u"")); }
  testing_support::ScopedTestHome home_;
};

TEST_F(ToolkitTest, EveryMessageReachesItsHandlerWithDecodedArguments) {
  RecordingWnd wnd;
  HWND hwnd = wnd.Create(CeWnd::ClassName(u"Test"), u"Title", 0, 1, 2, 30, 40, nullptr, 0);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(wnd.GetSafeHwnd(), hwnd);
  EXPECT_EQ(wnd.handle_at_first_message, nullptr);  // bound before the handle is set
  EXPECT_EQ(wnd.create_param, static_cast<CeWnd*>(&wnd));
  EXPECT_THAT(wnd.calls, ElementsAre("OnFirstMessage", "OnCreate", "OnSize 0 30 40", "OnMove 1 2"));
  EXPECT_EQ(CeWnd::FromHandle(hwnd), &wnd);

  NMHDR header{hwnd, 5, 0x77};
  struct Row {
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
    std::string call;
    LRESULT result;
  } rows[] = {
      {WM_MOVE, 0, MAKELPARAM(0xFFFD, 7), "OnMove -3 7", 0},
      {WM_SIZE, 2, MAKELPARAM(300, 400), "OnSize 2 300 400", 0},
      {WM_ENABLE, 1, 0, "OnEnable 1", 0},
      {WM_PAINT, 0, 0, "OnPaint", 0},
      {WM_CLOSE, 0, 0, "OnClose", 0},
      {WM_ERASEBKGND, 0x55, 0, "OnEraseBkgnd 85", 11},
      {WM_SHOWWINDOW, 1, 3, "OnShowWindow 1 3", 0},
      {WM_SETTINGCHANGE, MAKEWPARAM(0x1234, 0xFFFF), 99, "OnSettingChange 4660 99", 0},
      {WM_NOTIFY, 5, reinterpret_cast<LPARAM>(&header), "OnNotify 5 119", 12},
      {WM_KEYDOWN, 0x41, MAKELPARAM(3, 0x1E), "OnKeyDown 65 3 30", 0},
      {WM_KEYUP, 0x42, MAKELPARAM(1, 0xC030), "OnKeyUp 66 1 49200", 0},
      {WM_CHAR, 'a', MAKELPARAM(2, 0x1E), "OnChar 97 2 30", 0},
      {WM_COMMAND, MAKEWPARAM(40002, 1), 0x99, "OnCommand 105538 153", 13},
      {WM_TIMER, 9, 0, "OnTimer 9", 0},
      {WM_MOUSEMOVE, 1, MAKELPARAM(10, 20), "OnMouseMove 1 10 20", 0},
      {WM_LBUTTONDOWN, 1, MAKELPARAM(0xFFFF, 5), "OnLButtonDown 1 -1 5", 0},
      {WM_LBUTTONUP, 0, MAKELPARAM(11, 12), "OnLButtonUp 0 11 12", 0},
      {WM_LBUTTONDBLCLK, 1, MAKELPARAM(13, 14), "OnLButtonDblClk 1 13 14", 0},
      {WM_ACTIVATE, 1, 2, "OnMessage 6 1 2", 14},
      {WM_USER + 5, 1, 2, "OnMessage 1029 1 2", 14},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.call);
    wnd.calls.clear();
    EXPECT_EQ(SendMessage(hwnd, row.msg, row.wparam, row.lparam), row.result);
    EXPECT_THAT(wnd.calls, ElementsAre(row.call));
  }

  wnd.calls.clear();
  ASSERT_TRUE(DestroyWindow(hwnd));
  EXPECT_THAT(wnd.calls, ElementsAre("OnDestroy", "OnFinalMessage"));
  EXPECT_EQ(wnd.GetSafeHwnd(), nullptr);
}

// Handles only command 1 and, for command 3, sends itself another message first
// and then leaves command 3 unhandled.
class PartialWnd : public CeWnd {
 public:
  LRESULT OnCommand(WPARAM w, LPARAM, bool& handled) override {
    if (w == 3) SendMessageW(WM_USER + 1, 0, 0);
    handled = w == 1;
    return handled ? 100 : 0;
  }
};

std::vector<std::pair<UINT, WPARAM>> g_base_seen;
LRESULT BaseProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  g_base_seen.emplace_back(msg, wparam);
  return msg == WM_COMMAND ? 200 + static_cast<LRESULT>(wparam) : DefWindowProc(hwnd, msg, wparam, lparam);
}

TEST_F(ToolkitTest, UnhandledMessagesGoToThePreviousProcedureUntilUnsubclassed) {
  WNDCLASS wc;
  wc.lpfnWndProc = BaseProc;
  wc.lpszClassName = u"Plain";
  ASSERT_TRUE(RegisterClass(wc));
  HWND hwnd = CreateWindowEx(0, u"Plain", u"plain", 0, 0, 0, 10, 10, nullptr, 0, nullptr);
  ASSERT_NE(hwnd, nullptr);

  PartialWnd wnd;
  ASSERT_TRUE(wnd.Subclass(hwnd));
  EXPECT_EQ(wnd.previous_proc(), BaseProc);
  PartialWnd second;
  EXPECT_FALSE(second.Subclass(hwnd));  // already bound

  g_base_seen.clear();
  EXPECT_EQ(SendMessage(hwnd, WM_COMMAND, 1, 0), 100);  // handled: the base never sees it
  EXPECT_EQ(SendMessage(hwnd, WM_COMMAND, 2, 0), 202);  // not handled: Default passes it on
  // A nested message during the handler does not change what Default passes on.
  EXPECT_EQ(SendMessage(hwnd, WM_COMMAND, 3, 0), 203);
  using P = std::pair<UINT, WPARAM>;
  EXPECT_THAT(g_base_seen, ElementsAre(P{WM_COMMAND, 2}, P{WM_USER + 1, 0}, P{WM_COMMAND, 3}));

  EXPECT_EQ(wnd.Unsubclass(), hwnd);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtr(hwnd, GWLP_WNDPROC)), BaseProc);
  EXPECT_EQ(CeWnd::FromHandle(hwnd), nullptr);
  EXPECT_EQ(SendMessage(hwnd, WM_COMMAND, 1, 0), 201);  // straight to the base again

  // An object that goes away while bound unbinds its window first.
  {
    PartialWnd scoped;
    ASSERT_TRUE(scoped.Subclass(hwnd));
  }
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtr(hwnd, GWLP_WNDPROC)), BaseProc);
  EXPECT_EQ(SendMessage(hwnd, WM_COMMAND, 4, 0), 204);
  DestroyWindow(hwnd);
}

// Deletes itself at the final message, checking the window was unbound first.
class SelfDeletingWnd : public CeWnd {
 public:
  static inline bool deleted = false;
  static inline HWND final_hwnd = nullptr;
  static inline WNDPROC proc_at_final = nullptr;
  ~SelfDeletingWnd() override { deleted = true; }
  void OnFinalMessage(HWND hwnd) override {
    final_hwnd = hwnd;
    proc_at_final = reinterpret_cast<WNDPROC>(platform::GetWindowLongPtr(hwnd, GWLP_WNDPROC));
    delete this;
  }
};

TEST_F(ToolkitTest, TheObjectMayDeleteItselfAtTheFinalMessage) {
  auto* wnd = new SelfDeletingWnd;
  HWND hwnd = wnd->Create(CeWnd::ClassName(u"Test"), u"", 0, nullptr, nullptr, 0);
  ASSERT_NE(hwnd, nullptr);
  // WM_CLOSE: its default handling destroys the window inside the message, so
  // the outer message must not touch the object once it deleted itself.
  SendMessage(hwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(SelfDeletingWnd::deleted);
  EXPECT_EQ(SelfDeletingWnd::final_hwnd, hwnd);
  EXPECT_EQ(SelfDeletingWnd::proc_at_final, DefWindowProc);  // no previous procedure: the default one
  EXPECT_FALSE(IsWindow(hwnd));
}

class RefusingWnd : public CeWnd {
 public:
  LRESULT ProcessMessage(HWND h, UINT m, WPARAM w, LPARAM l, bool& handled) override {
    if (m == WM_CREATE) {
      handled = true;
      return -1;
    }
    return CeWnd::ProcessMessage(h, m, w, l, handled);
  }
  void OnFinalMessage(HWND) override { finals++; }
  int finals = 0;
};

TEST_F(ToolkitTest, ClassesSuperclassesAndCreation) {
  auto info = GetClassInfo(u"CeWnd:Test");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->hbrBackground, GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(info->style, 3u);
  // Registering again replaces the class.
  ASSERT_TRUE(CeWnd::RegisterClassW(u"Test", 0, 0, 16, 0, 0, GetStockObject(BLACK_BRUSH), u""));
  EXPECT_EQ(GetClassInfo(u"CeWnd:Test")->hbrBackground, GetStockObject(BLACK_BRUSH));

  EXPECT_EQ(CeWnd::CreateGenericWndClass(), u"CeWnd:GENERIC");
  EXPECT_EQ(CeWnd::CreateGenericWndClass(), u"CeWnd:GENERIC");
  ASSERT_TRUE(GetClassInfo(u"CeWnd:GENERIC"));

  WNDCLASS base;
  base.style = CS_GLOBALCLASS | CS_HREDRAW;
  base.lpfnWndProc = BaseProc;
  base.cbWndExtra = 8;
  base.lpszClassName = u"BaseCtl";
  ASSERT_TRUE(RegisterClass(base));
  WNDPROC previous = nullptr;
  bool registered = false;
  EXPECT_EQ(CeWnd::RegisterWndSuperclass(u"BaseCtl", &previous, &registered), u"CeWnd:BaseCtl");
  EXPECT_TRUE(registered);
  EXPECT_EQ(previous, BaseProc);
  auto super = GetClassInfo(u"CeWnd:BaseCtl");
  ASSERT_TRUE(super);
  EXPECT_EQ(super->style, CS_HREDRAW);
  EXPECT_EQ(super->cbWndExtra, 8);
  EXPECT_EQ(CeWnd::RegisterWndSuperclass(u"BaseCtl", &previous, &registered), u"CeWnd:BaseCtl");
  EXPECT_FALSE(registered);
  EXPECT_EQ(CeWnd::RegisterWndSuperclass(u"NoSuchBase", &previous, &registered), u"");

  RecordingWnd by_rect;
  RECT rect{5, 6, 25, 46};
  HWND a = by_rect.Create(u"CeWnd:GENERIC", u"", 0, rect, nullptr, 0);
  ASSERT_NE(a, nullptr);
  RECT got;
  GetWindowRect(a, &got);
  EXPECT_EQ(got.left, 5);
  EXPECT_EQ(got.bottom, 46);
  EXPECT_EQ(by_rect.Create(u"CeWnd:GENERIC", u"", 0, rect, nullptr, 0), nullptr);  // already has a window
  RecordingWnd by_default;
  HWND b = by_default.Create(u"CeWnd:GENERIC", u"", WS_CHILD, nullptr, a, 7);
  ASSERT_NE(b, nullptr);
  GetClientRect(b, &got);
  EXPECT_EQ(got.right, kDefaultScreenWidth);
  EXPECT_EQ(GetDlgCtrlID(b), 7);

  RefusingWnd refusing;
  EXPECT_EQ(refusing.Create(u"CeWnd:GENERIC", u"", 0, 0, 0, 1, 1, nullptr, 0), nullptr);
  EXPECT_EQ(refusing.finals, 1);
  EXPECT_EQ(refusing.GetSafeHwnd(), nullptr);
  DestroyWindow(a);
}

TEST_F(ToolkitTest, SendMessageToDescendantsWalksChildrenDeepOrShallow) {
  WNDCLASS plain;
  plain.lpfnWndProc = BaseProc;
  plain.lpszClassName = u"Plain";
  RegisterClass(plain);
  RecordingWnd parent, child, grandchild, plain_grandchild;
  ASSERT_TRUE(parent.Create(CeWnd::ClassName(u"Test"), u"", 0, 0, 0, 10, 10, nullptr, 0));
  ASSERT_TRUE(child.Create(CeWnd::ClassName(u"Test"), u"", WS_CHILD, 0, 0, 5, 5, parent, 1));
  HWND plain_child = CreateWindowEx(0, u"Plain", u"", WS_CHILD, 0, 0, 5, 5, parent, 2, nullptr);
  ASSERT_TRUE(grandchild.Create(CeWnd::ClassName(u"Test"), u"", WS_CHILD, 0, 0, 1, 1, plain_child, 3));
  auto count = [](RecordingWnd& w) { return std::count(w.calls.begin(), w.calls.end(), "OnMessage 1030 0 0"); };

  g_base_seen.clear();
  parent.SendMessageToDescendants(WM_USER + 6, 0, 0, /*deep=*/false);
  EXPECT_EQ(count(child), 1);
  EXPECT_EQ(count(grandchild), 0);
  EXPECT_EQ(g_base_seen.size(), 1u);

  g_base_seen.clear();
  parent.SendMessageToDescendants(WM_USER + 6, 0, 0, /*deep=*/true, /*only_permanent=*/true);
  EXPECT_EQ(count(child), 2);
  EXPECT_EQ(count(grandchild), 1);  // reached through a plain window
  EXPECT_TRUE(g_base_seen.empty());
  EXPECT_EQ(count(parent), 0);
  parent.DestroyWindow();
}

class ThrowingWnd : public CeWnd {
 public:
  LRESULT OnCommand(WPARAM w, LPARAM, bool&) override {
    if (w == 2) ::platform::DestroyWindow(GetSafeHwnd());
    throw std::runtime_error("boom");
  }
};

void ThrowInHandler(std::u16string title, WPARAM command) {
  ThrowingWnd wnd;
  HWND hwnd = wnd.Create(CeWnd::ClassName(u"Test"), title, 0, 0, 0, 10, 10, nullptr, 0);
  SendMessage(hwnd, WM_COMMAND, command, 0);
  std::fprintf(stderr, "survived\n");
}

TEST_F(ToolkitTest, AnExceptionInAHandlerShowsASoftwareErrorBoxAndEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ThrowInHandler(u"Main Title", 1), ::testing::ExitedWithCode(kCrashExitCode),
              "\\[message box\\] Software Error\n  Main Title: boom\n  buttons: \\[OK\\]");
  // The window's text is cut to 255 characters.
  EXPECT_EXIT(ThrowInHandler(std::u16string(300, u'x'), 1), ::testing::ExitedWithCode(kCrashExitCode),
              "\n  x{255}: boom\n");
  // The window went away before the exception.
  EXPECT_EXIT(ThrowInHandler(u"Main Title", 2), ::testing::ExitedWithCode(kCrashExitCode), "  No Window: boom\n");
}

TEST_F(ToolkitTest, BaseWrappersActOnTheirWindow) {
  CeBaseWnd base;
  EXPECT_FALSE(base.IsWindow());
  EXPECT_EQ(base.SendMessageW(WM_USER), 0);
  EXPECT_FALSE(base.PostMessageW(WM_USER));  // no window: not the thread's queue either
  CeWnd wnd;
  HWND hwnd = wnd.Create(CeWnd::ClassName(u"Test"), u"Hello World", 0, 0, 0, 10, 10, nullptr, 0);
  ASSERT_TRUE(base.Attach(hwnd));
  EXPECT_FALSE(base.Attach(hwnd));
  char16_t buffer[6];
  EXPECT_EQ(base.CopyWindowText(buffer), 5u);
  EXPECT_EQ(std::u16string(buffer), u"Hello");
  EXPECT_TRUE(base.ModifyStyle(0, 0x100));
  EXPECT_FALSE(base.ModifyStyle(0, 0x100));
  EXPECT_EQ(base.GetStyle() & 0x100, 0x100u);
  EXPECT_EQ(base.Detach(), hwnd);
  EXPECT_EQ(base.GetSafeHwnd(), nullptr);
  wnd.DestroyWindow();
}

}  // namespace
}  // namespace toolkit
