#pragma once
// A small window system in the model of the handheld's window manager.
//
// Windows are opaque handles owned by the thread that created them; every thread
// has one message queue, made on first use. Posted messages wait in the owner's
// queue; a message sent to a window of the calling thread is a direct call of its
// window procedure, one sent to a window of another thread blocks the sender until
// the owner handles it, and while it waits the sender keeps handling messages sent
// to its own windows, so two threads sending to each other do not deadlock.
//
// Across processes: a top-level window of a class registered through RegisterClass
// listens on a Unix socket named after its class in folders::RuntimeDir().
// FindWindow finds windows of other processes through it, and SendMessage,
// PostMessage, WM_COPYDATA and SetForegroundWindow reach them. A socket left by a
// process that has gone is removed when found.
//
// Message numbers are those of the handheld so that handlers and peers agree.
//
// Thread ids are the kernel's thread ids (as platform::CurrentThreadId prints).
// Window handles are ids looked up in a process-wide table and never reused, so a
// stale handle is simply "not a window". A thread's queue goes away when the thread
// ends: its remaining windows are then removed without further messages (their
// objects may already be gone), and sends still waiting for it return 0. A forked
// child starts with no windows, queues or listening sockets; registered classes stay.
//
// Text messages: WM_SETTEXT lParam = const char16_t* (zero-terminated);
// WM_GETTEXT wParam = buffer size in characters including the terminator, lParam =
// char16_t* buffer, result = characters copied (without the terminator).

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct HWND__;
using HWND = HWND__*;
using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, std::uintptr_t, DWORD);

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_MOVE = 0x0003;
inline constexpr UINT WM_SIZE = 0x0005;
inline constexpr UINT WM_ACTIVATE = 0x0006;
inline constexpr UINT WM_SETFOCUS = 0x0007;
inline constexpr UINT WM_KILLFOCUS = 0x0008;
inline constexpr UINT WM_ENABLE = 0x000A;
inline constexpr UINT WM_SETTEXT = 0x000C;
inline constexpr UINT WM_GETTEXT = 0x000D;
inline constexpr UINT WM_GETTEXTLENGTH = 0x000E;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_ERASEBKGND = 0x0014;
inline constexpr UINT WM_SHOWWINDOW = 0x0018;
inline constexpr UINT WM_SETTINGCHANGE = 0x001A;
inline constexpr UINT WM_NEXTDLGCTL = 0x0028;
inline constexpr UINT WM_COPYDATA = 0x004A;
inline constexpr UINT WM_NOTIFY = 0x004E;
inline constexpr UINT WM_HELP = 0x0053;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_HSCROLL = 0x0114;
inline constexpr UINT WM_VSCROLL = 0x0115;
inline constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

// Window styles used by the program.
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_DISABLED = 0x08000000;
// CW_USEDEFAULT places a window at 0,0; as width or height it gives the default
// screen size below (a portrait handheld screen at 96 dpi).
inline constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);
inline constexpr int kDefaultScreenWidth = 240;
inline constexpr int kDefaultScreenHeight = 320;

// Class styles.
inline constexpr UINT CS_VREDRAW = 0x0001;
inline constexpr UINT CS_HREDRAW = 0x0002;
inline constexpr UINT CS_GLOBALCLASS = 0x4000;

// Stock brushes for WNDCLASS::hbrBackground (GetStockObject); a renderer paints them.
inline constexpr int WHITE_BRUSH = 0;
inline constexpr int LTGRAY_BRUSH = 1;
inline constexpr int GRAY_BRUSH = 2;
inline constexpr int DKGRAY_BRUSH = 3;
inline constexpr int BLACK_BRUSH = 4;
inline constexpr int NULL_BRUSH = 5;

// Virtual keys that carry a character (TranslateMessage).
inline constexpr UINT VK_BACK = 0x08;
inline constexpr UINT VK_RETURN = 0x0D;
inline constexpr UINT VK_ESCAPE = 0x1B;
inline constexpr UINT VK_SPACE = 0x20;

// WM_SIZE wParam.
inline constexpr WPARAM SIZE_RESTORED = 0;

constexpr std::uint16_t LOWORD(std::uintptr_t v) { return static_cast<std::uint16_t>(v & 0xFFFF); }
constexpr std::uint16_t HIWORD(std::uintptr_t v) { return static_cast<std::uint16_t>((v >> 16) & 0xFFFF); }
constexpr LPARAM MAKELPARAM(std::uint16_t low, std::uint16_t high) {
  return static_cast<LPARAM>(static_cast<std::uint32_t>(low) | (static_cast<std::uint32_t>(high) << 16));
}
constexpr WPARAM MAKEWPARAM(std::uint16_t low, std::uint16_t high) {
  return static_cast<WPARAM>(static_cast<std::uint32_t>(low) | (static_cast<std::uint32_t>(high) << 16));
}

// GetWindowLongPtr / SetWindowLongPtr slots.
inline constexpr int GWLP_WNDPROC = -4;
inline constexpr int GWLP_ID = -12;
inline constexpr int GWL_STYLE = -16;
inline constexpr int GWL_EXSTYLE = -20;
inline constexpr int GWLP_USERDATA = -21;
// Every window has two pointer-sized slots at 0 and 8 (the dialog slots below),
// plus the class's cbWndExtra bytes, rounded up to whole slots.
inline constexpr int DWLP_MSGRESULT = 0;  // dialogs: the message result
inline constexpr int DWLP_USER = 8;       // dialogs: the user slot

// ShowWindow commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;

// PeekMessage flags.
inline constexpr UINT PM_NOREMOVE = 0;
inline constexpr UINT PM_REMOVE = 1;

struct POINT {
  int x = 0;
  int y = 0;
};

struct RECT {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;
};

// lParam of WM_CREATE.
struct CREATESTRUCT {
  void* lpCreateParams = nullptr;
  HWND hwndParent = nullptr;
  UINT id = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  const char16_t* lpszName = nullptr;
  const char16_t* lpszClass = nullptr;
};

// lParam of WM_NOTIFY.
struct NMHDR {
  HWND hwndFrom = nullptr;
  std::uintptr_t idFrom = 0;
  UINT code = 0;
};

// lParam of WM_COPYDATA; the data lives until the send returns.
struct COPYDATASTRUCT {
  std::uintptr_t dwData = 0;
  DWORD cbData = 0;
  const void* lpData = nullptr;
};

struct WNDCLASS {
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  int cbClsExtra = 0;
  int cbWndExtra = 0;
  std::uintptr_t hIcon = 0;
  std::uintptr_t hbrBackground = 0;
  std::u16string lpszMenuName;
  std::u16string lpszClassName;
};

// ---- classes ----
// Class names compare ignoring ASCII case.
// Registers a window class for this process. False when the name is taken, empty
// or the class has no window procedure.
bool RegisterClass(const WNDCLASS& wc);
// Windows already made from the class keep working after it is unregistered.
bool UnregisterClass(std::u16string_view class_name);
// The class's attributes, when registered.
std::optional<WNDCLASS> GetClassInfo(std::u16string_view class_name);

// ---- windows ----
// Creates a window of a registered class owned by the calling thread and sends it
// WM_CREATE with a CREATESTRUCT whose lpCreateParams is create_param. A window
// procedure returning -1 to WM_CREATE destroys it (WM_DESTROY follows) and the call
// yields nullptr. After WM_CREATE it sends WM_SIZE and WM_MOVE, and with WS_VISIBLE
// WM_SHOWWINDOW. A WS_CHILD window needs a parent. A top-level window (no parent,
// not WS_CHILD) listens on its class's socket unless another window, of this or a
// live other process, already does.
HWND CreateWindowEx(DWORD ex_style, std::u16string_view class_name, std::u16string_view title, DWORD style,
                    int x, int y, int width, int height, HWND parent, UINT id, void* create_param);
// Sends WM_DESTROY to the window, then destroys its children the same way, and
// removes its timers. Only the owner thread may destroy a window (false otherwise);
// a child owned by another thread is destroyed by its own thread, this one waiting.
bool DestroyWindow(HWND hwnd);
bool IsWindow(HWND hwnd);

std::intptr_t GetWindowLongPtr(HWND hwnd, int index);
// Returns the previous value. Setting GWLP_WNDPROC subclasses the window.
std::intptr_t SetWindowLongPtr(HWND hwnd, int index, std::intptr_t value);

HWND GetParent(HWND hwnd);
// Walks up the parents of a WS_CHILD window to the first window that is not a child.
HWND GetTopLevelWindow(HWND hwnd);
HWND GetDlgItem(HWND parent, int id);
int GetDlgCtrlID(HWND hwnd);
std::vector<HWND> GetChildWindows(HWND parent);  // direct children, in creation order
std::u16string GetClassName(HWND hwnd);
// Both go through WM_GETTEXT / WM_SETTEXT, so a window procedure sees them. For a
// window of another process: the title it had when it was found.
std::u16string GetWindowText(HWND hwnd);
bool SetWindowText(HWND hwnd, std::u16string_view text);
DWORD GetWindowThreadId(HWND hwnd);  // 0 for a window of another process
DWORD GetCurrentThreadId();

bool EnableWindow(HWND hwnd, bool enable);  // sends WM_ENABLE when the state changes; returns whether it was disabled
bool IsWindowEnabled(HWND hwnd);
bool ShowWindow(HWND hwnd, int command);    // sends WM_SHOWWINDOW when visibility changes; returns whether it was visible
bool IsWindowVisible(HWND hwnd);
bool MoveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint);  // sends WM_MOVE and WM_SIZE
bool GetWindowRect(HWND hwnd, RECT* rect);  // screen coordinates (parents' origins added)
bool GetClientRect(HWND hwnd, RECT* rect);  // 0,0,width,height

// The calling thread's focus; returns the previous one. Sends WM_KILLFOCUS (wParam
// the new focus) to the previous window and WM_SETFOCUS (wParam the previous) to the
// new one. A window of another thread cannot take this thread's focus (nullptr).
HWND SetFocus(HWND hwnd);
HWND GetFocus();
bool SetForegroundWindow(HWND hwnd);  // also reaches a window of another process
HWND GetForegroundWindow();
// A handle that stands for the screen: IsWindow is true for it, it can take the
// foreground; messages to it yield 0.
HWND GetDesktopWindow();
std::uintptr_t GetStockObject(int index);

// Finds a top-level window by class (and title when given): first in this process,
// then in other processes through the class's socket. The handle of a window of
// another process supports SendMessage, PostMessage, SetForegroundWindow,
// IsWindow and GetClassName.
HWND FindWindow(std::u16string_view class_name, std::optional<std::u16string_view> title = std::nullopt);

// Limits what other processes may send or post to a top-level window of ours to
// these messages, the ones its protocol offers; the rest are refused (a send
// yields 0). Without this call any message that carries no pointer may cross.
// False when hwnd is not a local top-level window.
bool SetCrossProcessMessages(HWND hwnd, std::vector<UINT> messages);

// ---- messages ----
LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
// Default handling: WM_CLOSE destroys the window, WM_SETTEXT / WM_GETTEXT /
// WM_GETTEXTLENGTH use the window text, everything else yields 0.
LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// Sends and waits for the result; 0 when the window does not exist or its owner
// thread or process goes away. Sends to another process carry wParam and lParam as
// numbers, except WM_COPYDATA, whose data (at most kMaxCopyDataBytes) is copied.
// Only messages that carry no pointers cross processes: WM_NULL, WM_CLOSE,
// WM_COMMAND, WM_KEYDOWN, WM_KEYUP, WM_CHAR, WM_COPYDATA (send only) and
// everything from WM_USER up; others yield 0 (or false for a post).
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
// As SendMessage, giving up after timeout; nullopt when it timed out or failed.
std::optional<LRESULT> SendMessageTimeout(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam,
                                          std::chrono::milliseconds timeout);
inline constexpr std::size_t kMaxCopyDataBytes = 1 << 20;
// False when the window is gone, its thread has ended or its queue is full
// (kMaxPostedMessages). A null hwnd posts to the calling thread.
bool PostMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
bool PostThreadMessage(DWORD thread_id, UINT msg, WPARAM wparam, LPARAM lparam);
inline constexpr std::size_t kMaxPostedMessages = 100000;
// Marks the calling thread's queue: GetMessage returns 0 with WM_QUIT once the
// posted messages before it are taken. WM_QUIT passes every filter.
void PostQuitMessage(int exit_code);

// Waits for a message for the calling thread (hwnd filters by window, min/max by
// number, 0/0 = all). Messages sent from other threads are handled inside.
// Returns 0 for WM_QUIT, 1 otherwise.
int GetMessage(MSG* msg, HWND hwnd = nullptr, UINT min = 0, UINT max = 0);
bool PeekMessage(MSG* msg, HWND hwnd = nullptr, UINT min = 0, UINT max = 0, UINT flags = PM_REMOVE);
// WM_KEYDOWN of a key with a character (letters as lower case, digits, VK_SPACE,
// VK_RETURN, VK_ESCAPE, VK_BACK) posts WM_CHAR. Returns whether it did.
bool TranslateMessage(const MSG& msg);
// Calls the window procedure of a window of the calling thread; WM_TIMER with a
// TIMERPROC in lParam calls that instead.
LRESULT DispatchMessage(const MSG& msg);
// Whether the calling thread is inside a SendMessage from another thread.
bool InSendMessage();

// MSG::time and the TIMERPROC's last argument are GetTickCount() of platform/time_locale.h.

// A descriptor that becomes readable when a message may be waiting for the calling
// thread or one of its timers is due, for waiting on the queue together with other
// descriptors (a GUI event loop). After it fires, drain the queue with PeekMessage.
int MessageQueueFd();

// ---- timers ----
// WM_TIMER (or the callback) every interval; a second SetTimer with the same id replaces it.
// WM_TIMER is made when the timer is due and no other message is waiting; it runs on
// the thread that owns the window (hwnd null: the calling thread, with a new id).
// Returns the id (non-zero) or 0 on failure.
std::uintptr_t SetTimer(HWND hwnd, std::uintptr_t id, UINT interval_ms, TIMERPROC proc = nullptr);
bool KillTimer(HWND hwnd, std::uintptr_t id);

// ---- waiting ----
// An event object (manual or automatic reset) that a thread can wait on together
// with its message queue.
class Event {
 public:
  explicit Event(bool manual_reset = true, bool initially_set = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  void Set();
  void Reset();
  bool IsSet() const;
  // Waits up to timeout (nullopt = for ever); true when the event was set.
  bool Wait(std::optional<std::chrono::milliseconds> timeout = std::nullopt);
  int fd() const { return fd_; }

 private:
  friend std::optional<std::size_t> MsgWaitForEvents(std::span<Event* const>, std::optional<std::chrono::milliseconds>,
                                                     bool);
  bool manual_reset_;
  int fd_;
};

inline constexpr std::size_t WAIT_TIMEOUT_RESULT = static_cast<std::size_t>(-1);
// Waits until one of the events is set (returns its index; an automatic-reset event
// is reset by it), or, when wake_on_messages is true, until a message arrives for the
// calling thread (returns events.size()): one posted since the thread last looked at
// its queue (GetMessage, PeekMessage, this call), or a due timer. Messages sent from
// other threads are handled while waiting. Returns WAIT_TIMEOUT_RESULT on timeout and
// nullopt when the wait itself failed.
std::optional<std::size_t> MsgWaitForEvents(std::span<Event* const> events,
                                            std::optional<std::chrono::milliseconds> timeout,
                                            bool wake_on_messages);

// ---- observers ----
// A renderer mirrors windows through this interface; its calls come on the thread
// that made the change, after the change (OnForeground may come from the listener
// thread that serves other processes), with no lock of the window system held.
// Remove an observer only while no other thread changes windows.
class WindowObserver {
 public:
  virtual ~WindowObserver() = default;
  virtual void OnWindowCreated(HWND) {}
  virtual void OnWindowDestroyed(HWND) {}
  virtual void OnWindowTextChanged(HWND) {}
  virtual void OnWindowShown(HWND, bool /*visible*/) {}
  virtual void OnWindowEnabled(HWND, bool /*enabled*/) {}
  virtual void OnWindowMoved(HWND) {}
  virtual void OnForeground(HWND) {}
};
void AddWindowObserver(WindowObserver* observer);
void RemoveWindowObserver(WindowObserver* observer);

}  // namespace platform
