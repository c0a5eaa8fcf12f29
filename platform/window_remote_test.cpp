// Windows of another process: a forked child owns the window, this process finds
// it and talks to it through its class's socket.

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>

#include "platform/window_remote.h"
#include "platform/window_system.h"
#include "platform/window_wire.h"
#include "tests/support/test_environment.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

constexpr UINT kAdd = WM_USER + 1;        // returns wParam + lParam
constexpr UINT kLastPosted = WM_USER + 2; // returns the wParam of the last kPosted
constexpr UINT kPosted = WM_USER + 3;
constexpr UINT kIsForeground = WM_USER + 4;
constexpr UINT kSendBack = WM_USER + 5;   // sends kAdd to the parent's window
constexpr UINT kPid = WM_USER + 6;
constexpr UINT kHang = WM_USER + 7;       // never returns
constexpr UINT kQuit = WM_USER + 9;

constexpr char16_t kParentClass[] = u"RemoteTestParent";

std::uint32_t Checksum(const void* data, std::size_t size) {
  std::uint32_t h = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) h = (h ^ static_cast<const std::uint8_t*>(data)[i]) * 16777619u;
  return h;
}

// ---- the child ----

WPARAM g_last_posted = 0;
LRESULT g_seen_forbidden = 0;

LRESULT ChildProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case kAdd:
      return static_cast<LRESULT>(wparam) + lparam;
    case kPosted:
      g_last_posted = wparam;
      return 0;
    case kLastPosted:
      return static_cast<LRESULT>(g_last_posted);
    case kIsForeground:
      return GetForegroundWindow() == hwnd ? 1 : 0;
    case kSendBack:
      return SendMessage(FindWindow(kParentClass), kAdd, 40, 2) + 1;
    case kPid:
      return ::getpid();
    case kHang:
      for (;;) ::pause();
    case kQuit:
      PostQuitMessage(0);
      return 0;
    case WM_COPYDATA: {
      auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
      return cds->dwData == 1 ? Checksum(cds->lpData, cds->cbData) : -1;
    }
    case WM_SETTEXT:
      g_seen_forbidden = 1;
      return DefWindowProc(hwnd, msg, wparam, lparam);
    case WM_USER + 8:
      return g_seen_forbidden;
    default:
      return DefWindowProc(hwnd, msg, wparam, lparam);
  }
}

[[noreturn]] void RunChild(std::vector<std::u16string> classes, int ready_fd, int go_fd) {
  ::alarm(60);  // never outlive a failed test
  if (go_fd >= 0) {
    char c;
    if (::read(go_fd, &c, 1) != 1) ::_exit(2);
  }
  std::vector<HWND> windows;
  for (const auto& cls : classes) {
    WNDCLASS wc;
    wc.lpfnWndProc = ChildProc;
    wc.lpszClassName = cls;
    RegisterClass(wc);
    windows.push_back(CreateWindowEx(0, cls, u"Child Title", 0, 0, 0, 10, 10, nullptr, 0, nullptr));
    if (!windows.back()) ::_exit(3);
    if (cls.ends_with(u"Limited")) SetCrossProcessMessages(windows.back(), {kAdd, kQuit, WM_COPYDATA});
  }
  if (::write(ready_fd, "r", 1) != 1) ::_exit(4);
  MSG msg;
  while (GetMessage(&msg) > 0) DispatchMessage(msg);
  for (HWND hwnd : windows) DestroyWindow(hwnd);
  std::exit(0);  // as the program ends: the listener is stopped and joined
}

struct Child {
  pid_t pid = -1;
  int ready_fd = -1;
  int go_fd = -1;

  // Waits for the child's windows to exist.
  bool Ready() {
    pollfd p{ready_fd, POLLIN, 0};
    char c;
    return ::poll(&p, 1, 20000) == 1 && ::read(ready_fd, &c, 1) == 1;
  }
  void Go() { ASSERT_EQ(::write(go_fd, "g", 1), 1); }
  int Wait() {
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
    return status;
  }
  void Kill() {
    ::kill(pid, SIGKILL);
    Wait();
  }
};

// Forks before this process starts any thread; the child starts its own.
Child Spawn(std::vector<std::u16string> classes, bool wait_for_go = false) {
  int ready[2], go[2];
  EXPECT_EQ(::pipe(ready), 0);
  EXPECT_EQ(::pipe(go), 0);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ready[0]);
    ::close(go[1]);
    RunChild(std::move(classes), ready[1], wait_for_go ? go[0] : -1);
  }
  ::close(ready[1]);
  ::close(go[0]);
  return Child{pid, ready[0], go[1]};
}

LRESULT ParentProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == kAdd) return static_cast<LRESULT>(wparam) + lparam;
  return DefWindowProc(hwnd, msg, wparam, lparam);
}

class WindowRemoteTest : public ::testing::Test {
 protected:
  testing_support::ScopedTestHome home_;  // before the fork: the child shares the runtime folder
};

TEST_F(WindowRemoteTest, FindsAndTalksToAWindowOfAnotherProcess) {
  const std::u16string long_class(200, u'L');  // too long for a socket name: hashed
  Child child = Spawn({u"RemoteTestWnd", long_class});
  ASSERT_TRUE(child.Ready());

  WNDCLASS wc;
  wc.lpfnWndProc = ParentProc;
  wc.lpszClassName = kParentClass;
  ASSERT_TRUE(RegisterClass(wc));
  HWND own = CreateWindowEx(0, kParentClass, u"", 0, 0, 0, 1, 1, nullptr, 0, nullptr);
  ASSERT_NE(own, nullptr);

  HWND remote = FindWindow(u"remotetestwnd");  // class names ignore case
  ASSERT_NE(remote, nullptr);
  EXPECT_EQ(GetClassName(remote), u"RemoteTestWnd");
  EXPECT_EQ(GetWindowText(remote), u"Child Title");
  EXPECT_EQ(GetWindowThreadId(remote), 0u);
  EXPECT_TRUE(IsWindow(remote));
  EXPECT_EQ(FindWindow(u"RemoteTestWnd", u"Child Title"), remote);
  EXPECT_EQ(FindWindow(u"RemoteTestWnd", u"Other Title"), nullptr);
  EXPECT_EQ(FindWindow(u"NobodyHasThisClass"), nullptr);

  EXPECT_EQ(SendMessage(remote, kAdd, 40, 2), 42);
  EXPECT_EQ(SendMessage(remote, kAdd, 0, -5), -5);  // lParam keeps its sign
  EXPECT_EQ(SendMessage(remote, kPid, 0, 0), child.pid);
  EXPECT_EQ(SendMessageTimeout(remote, kAdd, 1, 1, 5s), std::optional<LRESULT>(2));

  // WM_COPYDATA: the bytes arrive intact, the child answers their checksum.
  std::vector<std::uint8_t> data(70000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  COPYDATASTRUCT cds{1, static_cast<DWORD>(data.size()), data.data()};
  EXPECT_EQ(SendMessage(remote, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)),
            static_cast<LRESULT>(Checksum(data.data(), data.size())));
  std::u16string line = u"-record";
  COPYDATASTRUCT text{1, static_cast<DWORD>((line.size() + 1) * 2), line.c_str()};
  EXPECT_EQ(SendMessage(remote, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&text)),
            static_cast<LRESULT>(Checksum(line.c_str(), text.cbData)));
  std::vector<std::uint8_t> too_big(kMaxCopyDataBytes + 1);
  COPYDATASTRUCT big{1, static_cast<DWORD>(too_big.size()), too_big.data()};
  EXPECT_EQ(SendMessageTimeout(remote, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&big), 5s), std::nullopt);

  // Messages that carry pointers do not cross.
  EXPECT_EQ(SendMessage(remote, WM_SETTEXT, 0, 0x1234), 0);
  EXPECT_EQ(SendMessage(remote, WM_USER + 8, 0, 0), 0);

  // A post arrives after the sends that overtake it.
  ASSERT_TRUE(PostMessage(remote, kPosted, 77, 0));
  LRESULT last = 0;
  for (int i = 0; i < 200 && last != 77; ++i) {
    last = SendMessage(remote, kLastPosted, 0, 0);
    if (last != 77) std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(last, 77);

  EXPECT_EQ(SendMessage(remote, kIsForeground, 0, 0), 0);
  EXPECT_TRUE(SetForegroundWindow(remote));
  EXPECT_EQ(SendMessage(remote, kIsForeground, 0, 0), 1);

  // The child sends back to our window while we wait for its answer.
  EXPECT_EQ(SendMessage(remote, kSendBack, 0, 0), 43);

  HWND hashed = FindWindow(long_class);
  ASSERT_NE(hashed, nullptr);
  EXPECT_NE(hashed, remote);
  EXPECT_EQ(SendMessage(hashed, kAdd, 1, 2), 3);

  ASSERT_TRUE(PostMessage(remote, kQuit, 0, 0));
  int status = child.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(IsWindow(remote));
  EXPECT_FALSE(std::filesystem::exists(window_remote::SocketPathFor(u"RemoteTestWnd")));  // unlinked on destroy
  EXPECT_EQ(FindWindow(u"RemoteTestWnd"), nullptr);
  DestroyWindow(own);
}

TEST_F(WindowRemoteTest, AWindowThatNamesItsMessagesTakesOnlyThoseFromOtherProcesses) {
  Child child = Spawn({u"RemoteTestLimited"});
  ASSERT_TRUE(child.Ready());
  HWND remote = FindWindow(u"RemoteTestLimited");
  ASSERT_NE(remote, nullptr);
  EXPECT_EQ(SendMessage(remote, kAdd, 40, 2), 42);
  std::u16string line = u"-record";
  COPYDATASTRUCT text{1, static_cast<DWORD>((line.size() + 1) * 2), line.c_str()};
  EXPECT_EQ(SendMessage(remote, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&text)),
            static_cast<LRESULT>(Checksum(line.c_str(), text.cbData)));
  // Not offered: refused whether sent or posted, although they carry no pointer.
  EXPECT_EQ(SendMessage(remote, kPid, 0, 0), 0);
  EXPECT_EQ(SendMessageTimeout(remote, kPid, 0, 0, 5s), std::nullopt);
  EXPECT_FALSE(PostMessage(remote, kPosted, 77, 0));

  ASSERT_TRUE(PostMessage(remote, kQuit, 0, 0));
  int status = child.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(WindowRemoteTest, ADeadOwnersSocketIsRemovedAndItsNameCanBeTaken) {
  Child first = Spawn({u"StaleWnd"});
  Child second = Spawn({u"StaleWnd"}, /*wait_for_go=*/true);
  ASSERT_TRUE(first.Ready());
  std::string path = window_remote::SocketPathFor(u"StaleWnd");

  HWND remote = FindWindow(u"StaleWnd");
  ASSERT_NE(remote, nullptr);
  EXPECT_EQ(SendMessageTimeout(remote, kHang, 0, 0, 100ms), std::nullopt);
  // The child is stuck for good now; a send waits until the process dies.
  auto pending = std::async(std::launch::async, [&] { return SendMessage(remote, kAdd, 1, 1); });
  EXPECT_EQ(pending.wait_for(100ms), std::future_status::timeout);
  first.Kill();
  EXPECT_EQ(pending.get(), 0);
  ASSERT_TRUE(std::filesystem::exists(path));  // left behind by the killed owner

  EXPECT_FALSE(IsWindow(remote));
  EXPECT_EQ(SendMessage(remote, kAdd, 1, 1), 0);
  EXPECT_FALSE(PostMessage(remote, kPosted, 1, 0));

  // A new window takes over the stale name.
  second.Go();
  ASSERT_TRUE(second.Ready());
  HWND again = FindWindow(u"StaleWnd");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(SendMessage(again, kPid, 0, 0), second.pid);

  // Finding through a stale socket removes it and finds nothing.
  second.Kill();
  ASSERT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(FindWindow(u"StaleWnd"), nullptr);
  EXPECT_FALSE(std::filesystem::exists(path));
}

// Waits for a byte on fd while handling messages sent to this thread's windows.
bool PumpUntilReadable(int fd) {
  for (int i = 0; i < 2000; ++i) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) == 1) {
      char c;
      return ::read(fd, &c, 1) == 1;
    }
    MsgWaitForEvents({}, 10ms, false);
  }
  return false;
}

TEST_F(WindowRemoteTest, AChildForkedAfterWindowsExistStartsClean) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "ThreadSanitizer cannot follow threads started after a multi-threaded fork";
#endif
#if defined(__SANITIZE_ADDRESS__)
  // GCC 12's AddressSanitizer does not lock its allocator across fork: a child
  // forked while our listener thread allocates can deadlock in its own listener.
  GTEST_SKIP() << "AddressSanitizer's allocator is not fork-safe while other threads allocate";
#endif
  WNDCLASS wc;
  wc.lpfnWndProc = ParentProc;
  wc.lpszClassName = u"ForkParent";
  ASSERT_TRUE(RegisterClass(wc));
  HWND own = CreateWindowEx(0, u"ForkParent", u"", 0, 0, 0, 1, 1, nullptr, 0, nullptr);
  ASSERT_NE(own, nullptr);  // the listener thread runs from here on

  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(60);
    int code = 0;
    if (IsWindow(own)) code |= 1;  // the parent's windows are not the child's
    HWND parent = FindWindow(u"ForkParent");
    if (!parent || SendMessage(parent, kAdd, 2, 3) != 5) code |= 2;
    WNDCLASS child_class;
    child_class.lpfnWndProc = ChildProc;
    child_class.lpszClassName = u"ForkChild";
    RegisterClass(child_class);
    HWND mine = CreateWindowEx(0, u"ForkChild", u"", 0, 0, 0, 1, 1, nullptr, 0, nullptr);
    if (::write(ready[1], "r", 1) != 1) code |= 4;
    MSG msg;
    while (GetMessage(&msg) > 0) DispatchMessage(msg);
    DestroyWindow(mine);
    std::exit(code);
  }
  ::close(ready[1]);
  ASSERT_TRUE(PumpUntilReadable(ready[0]));
  HWND child = FindWindow(u"ForkChild");
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(SendMessage(child, kPid, 0, 0), pid);
  ASSERT_TRUE(PostMessage(child, kQuit, 0, 0));
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // The child neither unlinked nor kept alive our socket.
  EXPECT_TRUE(std::filesystem::exists(window_remote::SocketPathFor(u"ForkParent")));
  ::close(ready[0]);
  DestroyWindow(own);
}

int RawConnect(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::copy(path.begin(), path.end(), addr.sun_path);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  return fd;
}

// True when the listener closed the connection within the time limit.
bool ClosedByPeer(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, timeout_ms) != 1) return false;
  char buf[64];
  return ::recv(fd, buf, sizeof buf, 0) == 0;
}

std::vector<std::uint8_t> Header(std::uint16_t type, std::uint32_t length) {
  std::vector<std::uint8_t> h{'D', 'C', 'W', 'S', 1, 0, static_cast<std::uint8_t>(type),
                              static_cast<std::uint8_t>(type >> 8)};
  for (int i = 0; i < 4; ++i) h.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
  return h;
}

TEST_F(WindowRemoteTest, BadPeersDoNotCrashOrBlockTheListener) {
  Child child = Spawn({u"SturdyWnd"});
  ASSERT_TRUE(child.Ready());
  std::string path = window_remote::SocketPathFor(u"SturdyWnd");

  auto send_bytes = [](int fd, const std::vector<std::uint8_t>& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
  };

  // A peer that connects and says nothing holds no one up.
  int idle = RawConnect(path);
  // Part of a request, then silence: dropped at the per-connection time-out.
  int partial = RawConnect(path);
  send_bytes(partial, Header(3, 100));

  int garbage = RawConnect(path);
  send_bytes(garbage, std::vector<std::uint8_t>(12, 'x'));
  EXPECT_TRUE(ClosedByPeer(garbage, 2000));

  int oversized = RawConnect(path);
  send_bytes(oversized, Header(3, 0x7FFFFFFF));
  EXPECT_TRUE(ClosedByPeer(oversized, 2000));

  int malformed = RawConnect(path);
  auto frame = Header(1, 9);  // a ping is 8 bytes: one too many
  frame.resize(frame.size() + 9, 0);
  send_bytes(malformed, frame);
  EXPECT_TRUE(ClosedByPeer(malformed, 2000));

  int hangs_up = RawConnect(path);
  send_bytes(hangs_up, Header(3, 40));
  ::close(hangs_up);

  // Meanwhile the window is served as usual.
  auto started = std::chrono::steady_clock::now();
  HWND remote = FindWindow(u"SturdyWnd");
  ASSERT_NE(remote, nullptr);
  EXPECT_EQ(SendMessage(remote, kAdd, 2, 3), 5);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);

  EXPECT_TRUE(ClosedByPeer(partial, 8000));
  EXPECT_TRUE(ClosedByPeer(idle, 8000));
  for (int fd : {idle, partial, garbage, oversized, malformed}) ::close(fd);

  EXPECT_EQ(SendMessage(remote, kAdd, 20, 3), 23);
  ASSERT_TRUE(PostMessage(remote, kQuit, 0, 0));
  int status = child.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace platform
