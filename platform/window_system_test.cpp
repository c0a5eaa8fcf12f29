// The window system inside one process: queues, sends between threads, timers,
// window attributes and destruction.

#include "platform/window_system.h"

#include <poll.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "tests/support/test_environment.h"

namespace platform {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

constexpr UINT kPing = WM_USER + 1;
constexpr UINT kRelay = WM_USER + 2;

// A window whose procedure records what it sees and may answer through a handler.
struct Probe {
  // Its windows must not call into it once it is gone (another test may follow
  // in the same process).
  ~Probe() {
    for (HWND hwnd : windows) {
      SetWindowLongPtr(hwnd, GWLP_USERDATA, 0);
      DestroyWindow(hwnd);  // only succeeds on the owner thread; others end with theirs
    }
  }
  std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler;
  std::mutex mu;
  std::vector<HWND> windows;
  std::vector<UINT> seen;
  std::vector<std::pair<UINT, std::pair<WPARAM, LPARAM>>> params;

  std::vector<UINT> Seen() {
    std::lock_guard lock(mu);
    return seen;
  }
  std::vector<WPARAM> WParamsOf(UINT msg) {
    std::lock_guard lock(mu);
    std::vector<WPARAM> out;
    for (auto& [m, p] : params)
      if (m == msg) out.push_back(p.first);
    return out;
  }
  std::vector<LPARAM> LParamsOf(UINT msg) {
    std::lock_guard lock(mu);
    std::vector<LPARAM> out;
    for (auto& [m, p] : params)
      if (m == msg) out.push_back(p.second);
    return out;
  }
};

LRESULT ProbeProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_CREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCT*>(lparam);
    SetWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<std::intptr_t>(cs->lpCreateParams));
    if (auto* probe = static_cast<Probe*>(cs->lpCreateParams)) {
      std::lock_guard lock(probe->mu);
      probe->windows.push_back(hwnd);
    }
  }
  auto* probe = reinterpret_cast<Probe*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
  if (!probe) return DefWindowProc(hwnd, msg, wparam, lparam);
  {
    std::lock_guard lock(probe->mu);
    probe->seen.push_back(msg);
    probe->params.push_back({msg, {wparam, lparam}});
  }
  if (probe->handler) return probe->handler(hwnd, msg, wparam, lparam);
  return DefWindowProc(hwnd, msg, wparam, lparam);
}

class WindowSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASS wc;
    wc.lpfnWndProc = ProbeProc;
    wc.lpszClassName = u"Probe";
    RegisterClass(wc);
  }
  static HWND Make(Probe* probe, HWND parent = nullptr, UINT id = 0, std::u16string_view title = u"",
                   DWORD style = 0) {
    return CreateWindowEx(0, u"Probe", title, style | (parent ? WS_CHILD : 0), 0, 0, 100, 50, parent, id, probe);
  }
  testing_support::ScopedTestHome home_;
};

// A thread that owns one probe window and pumps its queue until WM_QUIT.
class WindowThread {
 public:
  explicit WindowThread(Probe* probe, std::function<void()> before_loop = {}) {
    std::promise<HWND> made;
    auto future = made.get_future();
    thread_ = std::thread([this, probe, before_loop, &made] {
      tid_ = GetCurrentThreadId();
      HWND hwnd = CreateWindowEx(0, u"Probe", u"worker", 0, 0, 0, 10, 10, nullptr, 0, probe);
      made.set_value(hwnd);
      if (before_loop) before_loop();
      MSG msg;
      while (GetMessage(&msg) > 0) DispatchMessage(msg);
    });
    hwnd_ = future.get();
  }
  ~WindowThread() { Stop(); }
  void Stop() {
    if (!thread_.joinable()) return;
    while (!PostThreadMessage(tid_, WM_QUIT, 0, 0) && IsWindow(hwnd_)) std::this_thread::yield();
    thread_.join();
  }
  HWND hwnd() const { return hwnd_; }

 private:
  std::thread thread_;
  std::atomic<DWORD> tid_{0};
  HWND hwnd_ = nullptr;
};

TEST_F(WindowSystemTest, PostedMessagesComeInOrderAndQuitAfterThoseBeforeIt) {
  Probe probe;
  HWND hwnd = Make(&probe);
  ASSERT_TRUE(PostMessage(hwnd, WM_USER + 10, 1, 0));
  ASSERT_TRUE(PostMessage(hwnd, WM_USER + 11, 2, 0));
  PostQuitMessage(7);
  ASSERT_TRUE(PostMessage(nullptr, WM_USER + 12, 3, 0));

  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_USER + 10u);  // still there after a look
  ASSERT_TRUE(PeekMessage(&msg, nullptr, WM_USER + 11, WM_USER + 11, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 2u);              // the range filter skips the first

  ASSERT_EQ(GetMessage(&msg), 1);
  EXPECT_EQ(msg.message, WM_USER + 10u);
  EXPECT_EQ(msg.hwnd, hwnd);
  ASSERT_EQ(GetMessage(&msg), 0);
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 7u);
  ASSERT_EQ(GetMessage(&msg), 1);
  EXPECT_EQ(msg.message, WM_USER + 12u);
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_FALSE(PeekMessage(&msg));
}

TEST_F(WindowSystemTest, CreateSendsCreateSizeMoveAndMinusOneRefusesTheWindow) {
  Probe probe;
  CREATESTRUCT seen_cs;
  std::u16string seen_name;  // the structure lives only during WM_CREATE
  probe.handler = [&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_CREATE) {
      seen_cs = *reinterpret_cast<CREATESTRUCT*>(l);
      seen_name = seen_cs.lpszName;
    }
    return DefWindowProc(h, m, w, l);
  };
  HWND hwnd = CreateWindowEx(0, u"probe", u"Title", WS_VISIBLE, 3, 4, 30, 40, nullptr, 9, &probe);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(seen_cs.lpCreateParams, &probe);
  EXPECT_EQ(seen_name, u"Title");
  EXPECT_EQ(seen_cs.cx, 30);
  EXPECT_THAT(probe.Seen(), ElementsAre(WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW));
  EXPECT_EQ(probe.LParamsOf(WM_SIZE)[0], MAKELPARAM(30, 40));
  EXPECT_EQ(probe.LParamsOf(WM_MOVE)[0], MAKELPARAM(3, 4));
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_EQ(GetWindowText(hwnd), u"Title");
  EXPECT_EQ(GetDlgCtrlID(hwnd), 9);

  Probe refusing;
  refusing.handler = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    return m == WM_CREATE ? -1 : DefWindowProc(h, m, w, l);
  };
  EXPECT_EQ(Make(&refusing), nullptr);
  EXPECT_THAT(refusing.Seen(), ElementsAre(WM_CREATE, WM_DESTROY));

  EXPECT_EQ(CreateWindowEx(0, u"NoSuchClass", u"", 0, 0, 0, 1, 1, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(CreateWindowEx(0, u"Probe", u"", WS_CHILD, 0, 0, 1, 1, nullptr, 0, nullptr), nullptr);
}

TEST_F(WindowSystemTest, SendToOwnWindowIsADirectCall) {
  Probe probe;
  bool in_send = true;
  probe.handler = [&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m != kPing) return DefWindowProc(h, m, w, l);
    in_send = InSendMessage();
    return static_cast<LRESULT>(w * 2);
  };
  HWND hwnd = Make(&probe);
  EXPECT_EQ(SendMessage(hwnd, kPing, 21, 0), 42);
  EXPECT_EQ(SendMessageTimeout(hwnd, kPing, 5, 0, 0ms), std::optional<LRESULT>(10));
  EXPECT_FALSE(in_send);
  MSG msg;
  EXPECT_FALSE(PeekMessage(&msg));
}

// Thread A sends to B's window, whose handler sends back to A's window while A
// still waits: A must handle it inside its own SendMessage.
TEST_F(WindowSystemTest, ThreadsSendingToEachOtherDoNotDeadlock) {
  Probe a_probe;
  DWORD main_tid = GetCurrentThreadId();
  std::atomic<DWORD> handled_on{0};
  std::atomic<bool> a_in_send{false};
  a_probe.handler = [&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m != kPing) return DefWindowProc(h, m, w, l);
    handled_on = GetCurrentThreadId();
    a_in_send = InSendMessage();
    return 11;
  };
  HWND a = Make(&a_probe);

  Probe b_probe;
  b_probe.handler = [&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m != kRelay) return DefWindowProc(h, m, w, l);
    return SendMessage(a, kPing, 0, 0) + 100;
  };
  WindowThread b(&b_probe);
  EXPECT_NE(GetWindowThreadId(b.hwnd()), main_tid);
  EXPECT_EQ(SendMessage(b.hwnd(), kRelay, 0, 0), 111);
  EXPECT_EQ(handled_on.load(), main_tid);
  EXPECT_TRUE(a_in_send.load());
}

TEST_F(WindowSystemTest, SendToAWindowWhoseThreadEndsYieldsZero) {
  Probe probe;
  std::promise<void> release;
  auto released = release.get_future().share();
  std::promise<HWND> made;
  std::thread owner([&] {
    made.set_value(Make(&probe));
    released.wait();  // never pumps: the send below stays queued until the thread ends
  });
  HWND hwnd = made.get_future().get();

  auto sender = std::async(std::launch::async, [&] { return SendMessage(hwnd, kPing, 0, 0); });
  auto timed = std::async(std::launch::async, [&] { return SendMessageTimeout(hwnd, kPing, 0, 0, 60s); });
  std::this_thread::sleep_for(100ms);
  release.set_value();
  owner.join();

  EXPECT_EQ(sender.get(), 0);
  EXPECT_EQ(timed.get(), std::nullopt);
  EXPECT_THAT(probe.Seen(), ::testing::Not(::testing::Contains(kPing)));
  EXPECT_FALSE(IsWindow(hwnd));  // the thread's windows went with it
  EXPECT_EQ(SendMessage(hwnd, kPing, 0, 0), 0);
  EXPECT_FALSE(PostMessage(hwnd, kPing, 0, 0));
}

TEST_F(WindowSystemTest, TimedOutSendIsDroppedAndPointerMessagesAreCopiedAcrossThreads) {
  Probe probe;
  std::promise<void> go;
  auto started = go.get_future().share();
  std::string copied;
  probe.handler = [&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_COPYDATA) {
      auto* cds = reinterpret_cast<COPYDATASTRUCT*>(l);
      copied.assign(static_cast<const char*>(cds->lpData), cds->cbData);
      return static_cast<LRESULT>(cds->dwData);
    }
    return DefWindowProc(h, m, w, l);
  };
  WindowThread worker(&probe, [&] { started.wait(); });

  // The owner does not pump yet: the send times out and must never run later.
  EXPECT_EQ(SendMessageTimeout(worker.hwnd(), kPing, 0, 0, 50ms), std::nullopt);
  go.set_value();

  std::string bytes("copy\0data", 9);
  COPYDATASTRUCT cds{77, static_cast<DWORD>(bytes.size()), bytes.data()};
  EXPECT_EQ(SendMessage(worker.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), 77);
  EXPECT_EQ(copied, bytes);

  EXPECT_TRUE(SetWindowText(worker.hwnd(), u"renamed"));
  EXPECT_EQ(GetWindowText(worker.hwnd()), u"renamed");
  EXPECT_THAT(probe.Seen(), ::testing::Not(::testing::Contains(kPing)));
}

void CALLBACK_Record(HWND, UINT, std::uintptr_t, DWORD);
std::atomic<std::uintptr_t> g_timer_proc_id{0};
void CALLBACK_Record(HWND, UINT msg, std::uintptr_t id, DWORD) {
  if (msg == WM_TIMER) g_timer_proc_id = id;
}

TEST_F(WindowSystemTest, TimersFireReplaceKillAndCallTheirProcedure) {
  Probe probe;
  HWND hwnd = Make(&probe);
  MSG msg;

  // Replacing a slow timer with a fast one: the fast interval wins.
  ASSERT_EQ(SetTimer(hwnd, 1, 100000), 1u);
  ASSERT_EQ(SetTimer(hwnd, 1, 5), 1u);
  ASSERT_TRUE(PostMessage(hwnd, kPing, 0, 0));
  std::this_thread::sleep_for(20ms);
  ASSERT_EQ(GetMessage(&msg), 1);
  EXPECT_EQ(msg.message, kPing);  // posted messages come before due timers
  ASSERT_EQ(GetMessage(&msg), 1);
  EXPECT_EQ(msg.message, WM_TIMER);
  EXPECT_EQ(msg.wParam, 1u);
  EXPECT_EQ(msg.hwnd, hwnd);
  EXPECT_EQ(DispatchMessage(msg), 0);
  EXPECT_THAT(probe.WParamsOf(WM_TIMER), ElementsAre(1u));
  ASSERT_TRUE(KillTimer(hwnd, 1));
  EXPECT_FALSE(KillTimer(hwnd, 1));

  // A timer with a procedure: DispatchMessage calls it, not the window.
  ASSERT_EQ(SetTimer(hwnd, 3, 5, CALLBACK_Record), 3u);
  ASSERT_EQ(GetMessage(&msg), 1);
  ASSERT_EQ(msg.message, WM_TIMER);
  DispatchMessage(msg);
  EXPECT_EQ(g_timer_proc_id.load(), 3u);
  EXPECT_THAT(probe.WParamsOf(WM_TIMER), ElementsAre(1u));
  KillTimer(hwnd, 3);

  // A killed timer stays silent; a thread timer gets a fresh id.
  SetTimer(hwnd, 2, 5);
  KillTimer(hwnd, 2);
  std::uintptr_t thread_timer = SetTimer(nullptr, 0, 5);
  EXPECT_NE(thread_timer, 0u);
  ASSERT_EQ(GetMessage(&msg), 1);
  EXPECT_EQ(msg.message, WM_TIMER);
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_EQ(msg.wParam, thread_timer);
  KillTimer(nullptr, thread_timer);
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(PeekMessage(&msg));

  // Destroying the window removes its timers.
  SetTimer(hwnd, 4, 5);
  DestroyWindow(hwnd);
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(PeekMessage(&msg));
}

class RecordingObserver : public WindowObserver {
 public:
  void OnWindowCreated(HWND h) override { Add("created", h); }
  void OnWindowDestroyed(HWND h) override { Add("destroyed", h); }
  void OnWindowTextChanged(HWND h) override { Add("text", h); }
  void OnWindowShown(HWND h, bool v) override { Add(v ? "shown" : "hidden", h); }
  void OnWindowEnabled(HWND h, bool e) override { Add(e ? "enabled" : "disabled", h); }
  void OnWindowMoved(HWND h) override { Add("moved", h); }
  void OnForeground(HWND h) override { Add("foreground", h); }
  std::vector<std::pair<std::string, HWND>> events;

 private:
  void Add(const char* what, HWND h) { events.emplace_back(what, h); }
};

TEST_F(WindowSystemTest, StateChangesSendTheirMessagesOnlyOnChangeAndTellObservers) {
  Probe probe;
  HWND hwnd = Make(&probe);
  RecordingObserver observer;
  AddWindowObserver(&observer);

  EXPECT_FALSE(EnableWindow(hwnd, false));  // was enabled
  EXPECT_TRUE(EnableWindow(hwnd, false));   // no change: no message
  EXPECT_FALSE(IsWindowEnabled(hwnd));
  EXPECT_TRUE(EnableWindow(hwnd, true));
  EXPECT_THAT(probe.WParamsOf(WM_ENABLE), ElementsAre(0u, 1u));

  EXPECT_FALSE(ShowWindow(hwnd, SW_SHOW));
  EXPECT_TRUE(ShowWindow(hwnd, SW_SHOWNORMAL));  // no change
  EXPECT_TRUE(ShowWindow(hwnd, SW_HIDE));
  EXPECT_THAT(probe.WParamsOf(WM_SHOWWINDOW), ElementsAre(1u, 0u));

  ASSERT_TRUE(MoveWindow(hwnd, 5, 6, 70, 80, true));
  EXPECT_EQ(probe.LParamsOf(WM_MOVE).back(), MAKELPARAM(5, 6));
  EXPECT_EQ(probe.LParamsOf(WM_SIZE).back(), MAKELPARAM(70, 80));
  Probe child_probe;
  HWND child = Make(&child_probe, hwnd, 3);
  MoveWindow(child, 1, 2, 10, 20, false);
  RECT rect;
  ASSERT_TRUE(GetWindowRect(child, &rect));
  EXPECT_EQ(rect.left, 6);
  EXPECT_EQ(rect.bottom, 28);
  ASSERT_TRUE(GetClientRect(child, &rect));
  EXPECT_EQ(rect.right, 10);

  EXPECT_TRUE(SetWindowText(hwnd, u"new"));
  EXPECT_TRUE(SetForegroundWindow(hwnd));
  EXPECT_EQ(GetForegroundWindow(), hwnd);
  EXPECT_TRUE(SetForegroundWindow(GetDesktopWindow()));
  RemoveWindowObserver(&observer);

  using E = std::pair<std::string, HWND>;
  EXPECT_THAT(observer.events,
              ElementsAre(E{"disabled", hwnd}, E{"enabled", hwnd}, E{"shown", hwnd}, E{"hidden", hwnd},
                          E{"moved", hwnd}, E{"created", child}, E{"moved", child}, E{"text", hwnd},
                          E{"foreground", hwnd}, E{"foreground", GetDesktopWindow()}));
}

TEST_F(WindowSystemTest, DestroyGoesParentFirstThenChildrenAndOnlyOnTheOwnerThread) {
  std::vector<HWND> order;
  std::mutex mu;
  Probe probes[4];
  for (auto& p : probes)
    p.handler = [&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
      if (m == WM_DESTROY) {
        std::lock_guard lock(mu);
        order.push_back(h);
      }
      return DefWindowProc(h, m, w, l);
    };
  HWND parent = Make(&probes[0]);
  HWND first = Make(&probes[1], parent, 1);
  HWND grandchild = Make(&probes[2], first, 7);
  HWND second = Make(&probes[3], parent, 2);
  EXPECT_THAT(GetChildWindows(parent), ElementsAre(first, second));
  EXPECT_EQ(GetDlgItem(parent, 2), second);
  EXPECT_EQ(GetParent(grandchild), first);
  EXPECT_EQ(GetTopLevelWindow(grandchild), parent);

  bool other_thread_could = true;
  std::thread([&] { other_thread_could = DestroyWindow(parent); }).join();
  EXPECT_FALSE(other_thread_could);

  ASSERT_TRUE(DestroyWindow(parent));
  EXPECT_THAT(order, ElementsAre(parent, first, grandchild, second));
  for (HWND h : {parent, first, grandchild, second}) EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(DestroyWindow(parent));
  EXPECT_EQ(GetWindowLongPtr(parent, GWLP_USERDATA), 0);

  // WM_CLOSE's default handling destroys.
  Probe closing;
  HWND closable = Make(&closing);
  SendMessage(closable, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(closable));
}

WNDPROC g_previous = nullptr;
LRESULT SubclassProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == kPing) return 500;
  return CallWindowProc(g_previous, h, m, w, l);
}

TEST_F(WindowSystemTest, SubclassingChainsThroughCallWindowProcAndSlotsKeepValues) {
  Probe probe;
  probe.handler = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    return m == kRelay ? 7 : DefWindowProc(h, m, w, l);
  };
  HWND hwnd = Make(&probe);
  g_previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtr(hwnd, GWLP_WNDPROC, reinterpret_cast<std::intptr_t>(SubclassProc)));
  EXPECT_EQ(g_previous, ProbeProc);
  EXPECT_EQ(SendMessage(hwnd, kPing, 0, 0), 500);
  EXPECT_EQ(SendMessage(hwnd, kRelay, 0, 0), 7);  // passed on to the original
  EXPECT_THAT(probe.Seen(), ::testing::Not(::testing::Contains(kPing)));
  SetWindowLongPtr(hwnd, GWLP_WNDPROC, reinterpret_cast<std::intptr_t>(g_previous));
  EXPECT_EQ(SendMessage(hwnd, kPing, 0, 0), 0);

  EXPECT_EQ(SetWindowLongPtr(hwnd, DWLP_USER, 1234), 0);
  EXPECT_EQ(SetWindowLongPtr(hwnd, DWLP_MSGRESULT, 99), 0);
  EXPECT_EQ(GetWindowLongPtr(hwnd, DWLP_USER), 1234);
  EXPECT_EQ(GetWindowLongPtr(hwnd, DWLP_MSGRESULT), 99);
  EXPECT_EQ(SetWindowLongPtr(hwnd, 64, 5), 0);  // beyond the slots: refused
  EXPECT_EQ(GetWindowLongPtr(hwnd, 64), 0);
}

TEST_F(WindowSystemTest, FindWindowFindsTheOldestTopLevelWindowByClassAndTitle) {
  Probe p1, p2, p3;
  HWND first = Make(&p1, nullptr, 0, u"One");
  HWND second = Make(&p2, nullptr, 0, u"Two");
  Make(&p3, first, 5, u"Child");
  EXPECT_EQ(FindWindow(u"PROBE"), first);
  EXPECT_EQ(FindWindow(u"Probe", u"Two"), second);
  EXPECT_EQ(FindWindow(u"Probe", u"Child"), nullptr);  // children are not found
  DestroyWindow(first);
  EXPECT_EQ(FindWindow(u"Probe"), second);
  EXPECT_EQ(FindWindow(u"Unknown"), nullptr);
}

TEST_F(WindowSystemTest, TranslateMessagePostsCharactersForCharacterKeys) {
  Probe probe;
  HWND hwnd = Make(&probe);
  struct Case {
    WPARAM key;
    bool translated;
    WPARAM ch;
  } cases[] = {{'A', true, 'a'},         {'7', true, '7'},          {VK_SPACE, true, ' '},
               {VK_RETURN, true, 0x0D}, {VK_ESCAPE, true, 0x1B}, {VK_BACK, true, 0x08},
               {0x25, false, 0},        {0x18, false, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(TranslateMessage(MSG{hwnd, WM_KEYDOWN, c.key, 0x10001, 0}), c.translated);
    MSG msg;
    EXPECT_EQ(PeekMessage(&msg), c.translated);
    if (c.translated) {
      EXPECT_EQ(msg.message, WM_CHAR);
      EXPECT_EQ(msg.wParam, c.ch);
      EXPECT_EQ(msg.lParam, 0x10001);
    }
  }
  EXPECT_FALSE(TranslateMessage(MSG{hwnd, WM_KEYUP, 'A', 0, 0}));
}

TEST_F(WindowSystemTest, FocusBelongsToTheThreadAndMovesWithMessages) {
  Probe p1, p2;
  HWND one = Make(&p1);
  HWND two = Make(&p2);
  EXPECT_EQ(SetFocus(one), nullptr);
  EXPECT_EQ(SetFocus(two), one);
  EXPECT_EQ(GetFocus(), two);
  EXPECT_THAT(p1.WParamsOf(WM_KILLFOCUS), ElementsAre(reinterpret_cast<WPARAM>(two)));
  EXPECT_THAT(p2.WParamsOf(WM_SETFOCUS), ElementsAre(reinterpret_cast<WPARAM>(one)));
  HWND other_focus = reinterpret_cast<HWND>(1);
  std::thread([&] {
    other_focus = GetFocus();
    EXPECT_EQ(SetFocus(one), nullptr);  // not this thread's window
  }).join();
  EXPECT_EQ(other_focus, nullptr);
  DestroyWindow(two);
  EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(WindowSystemTest, MsgWaitForEventsWakesOnEventsMessagesAndHandlesSends) {
  Probe probe;
  probe.handler = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    return m == kPing ? 5 : DefWindowProc(h, m, w, l);
  };
  HWND hwnd = Make(&probe);
  Event manual(true), automatic(false);
  Event* events[] = {&manual, &automatic};

  EXPECT_EQ(MsgWaitForEvents(events, 10ms, true), WAIT_TIMEOUT_RESULT);

  // A send from another thread is handled during the wait; then its event wakes us.
  LRESULT reply = 0;
  std::thread sender([&] {
    reply = SendMessage(hwnd, kPing, 0, 0);
    automatic.Set();
  });
  EXPECT_EQ(MsgWaitForEvents(events, std::nullopt, false), std::optional<std::size_t>(1));
  sender.join();
  EXPECT_EQ(reply, 5);
  EXPECT_FALSE(automatic.IsSet());  // taken by the wait

  manual.Set();
  EXPECT_EQ(MsgWaitForEvents(events, 0ms, false), std::optional<std::size_t>(0));
  EXPECT_TRUE(manual.IsSet());  // a manual event stays set
  manual.Reset();

  // A message posted from another thread wakes a wait for messages, once.
  std::thread([&] { PostMessage(hwnd, kRelay, 0, 0); }).join();
  EXPECT_EQ(MsgWaitForEvents(events, 1s, true), std::optional<std::size_t>(2));
  EXPECT_EQ(MsgWaitForEvents(events, 10ms, true), WAIT_TIMEOUT_RESULT);

  Event late(false);
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    late.Set();
  });
  EXPECT_TRUE(late.Wait(10s));
  setter.join();
  EXPECT_FALSE(late.Wait(0ms));
}

TEST_F(WindowSystemTest, QueueDescriptorSignalsPostsAndDueTimers) {
  Probe probe;
  HWND hwnd = Make(&probe);
  int fd = MessageQueueFd();
  auto readable = [fd](int ms) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) == 1;
  };
  MSG msg;
  while (PeekMessage(&msg)) {
  }
  EXPECT_FALSE(readable(0));
  std::thread([&] { PostMessage(hwnd, kPing, 0, 0); }).join();
  EXPECT_TRUE(readable(1000));
  while (PeekMessage(&msg)) {
  }
  EXPECT_FALSE(readable(0));
  SetTimer(hwnd, 1, 10);
  EXPECT_FALSE(PeekMessage(&msg));  // takes the wake-up of SetTimer; not due yet
  EXPECT_TRUE(readable(5000));
  ASSERT_TRUE(PeekMessage(&msg));
  EXPECT_EQ(msg.message, WM_TIMER);
  KillTimer(hwnd, 1);
  EXPECT_FALSE(readable(0));
}

}  // namespace
}  // namespace platform
