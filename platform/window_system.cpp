// The window table: classes, windows and their attributes, sending and posting.
// One mutex guards the table; window procedures and observers are always called
// with it released.

#include "platform/window_system.h"

#include <pthread.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

#include "platform/text.h"
#include "platform/time_locale.h"
#include "platform/window_internal.h"
#include "platform/window_remote.h"

namespace platform {
namespace wi = window_internal;
namespace {

constexpr std::uintptr_t kDesktopHandle = 0x1000;
constexpr std::uintptr_t kFirstHandle = 0x10000;
constexpr std::uintptr_t kStockObjectBase = 0x5F000000;
constexpr int kStockObjectCount = 6;
constexpr int kSlotSize = static_cast<int>(sizeof(std::intptr_t));
constexpr int kDialogSlots = 2;  // DWLP_MSGRESULT and DWLP_USER

struct Window {
  HWND handle = nullptr;
  // A window of another process, reached through its class's socket.
  bool remote = false;
  std::string socket_path;
  std::uint64_t remote_id = 0;

  std::shared_ptr<wi::ThreadQueue> owner;
  std::u16string class_name;
  WNDPROC proc = nullptr;
  std::u16string text;
  DWORD style = 0;
  DWORD ex_style = 0;
  UINT id = 0;
  HWND parent = nullptr;
  std::vector<HWND> children;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::intptr_t user_data = 0;
  std::vector<std::intptr_t> slots;
  bool destroying = false;
  std::uint64_t listen_token = 0;
  // What other processes may send or post; unset: anything without a pointer.
  std::optional<std::vector<UINT>> cross_process_messages;

  bool IsTopLevel() const { return !remote && !parent && !(style & WS_CHILD); }
};

struct State {
  std::mutex mu;
  std::map<std::uintptr_t, std::shared_ptr<Window>> windows;  // ordered: creation order
  std::map<std::u16string, WNDCLASS> classes;                 // by lower-cased name
  std::uintptr_t next_handle = kFirstHandle;
  HWND foreground = nullptr;
  std::map<DWORD, std::weak_ptr<wi::ThreadQueue>> queues;
  std::map<std::pair<std::string, std::uint64_t>, HWND> proxies;

  std::mutex observers_mu;
  std::vector<WindowObserver*> observers;

  // What a forked child left behind of its parent, kept reachable (never used).
  State* left_behind = nullptr;
  std::shared_ptr<wi::ThreadQueue> left_behind_queue;
};

State* g_state = nullptr;

// A forked child starts with no windows, queues or listener of its own; the
// parent's classes stay registered. The table is locked across the fork so that
// the child copies a consistent one.
void PrepareFork() {
  window_remote::PrepareFork();
  g_state->observers_mu.lock();
  g_state->mu.lock();
}

void ParentAfterFork() {
  g_state->mu.unlock();
  g_state->observers_mu.unlock();
  window_remote::ParentAfterFork();
}

void ChildAfterFork() {
  State* fresh = new State;
  fresh->classes = g_state->classes;
  fresh->next_handle = g_state->next_handle;
  fresh->observers = g_state->observers;
  fresh->left_behind = g_state;  // locked, never used again
  fresh->left_behind_queue = wi::ForgetQueueAfterFork();
  g_state = fresh;
  window_remote::ChildAfterFork();
}

// Never destroyed: threads that end during exit still find it.
State& S() {
  static bool initialised = [] {
    g_state = new State;
    ::pthread_atfork(PrepareFork, ParentAfterFork, ChildAfterFork);
    return true;
  }();
  (void)initialised;
  return *g_state;
}

std::shared_ptr<Window> FindLocked(HWND hwnd) {
  auto it = S().windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
  return it == S().windows.end() ? nullptr : it->second;
}

std::shared_ptr<Window> Find(HWND hwnd) {
  std::lock_guard lock(S().mu);
  return FindLocked(hwnd);
}

std::shared_ptr<Window> FindLocal(HWND hwnd) {
  auto w = Find(hwnd);
  return w && !w->remote ? w : nullptr;
}

bool IsDesktop(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd) == kDesktopHandle; }

template <typename F>
void Notify(F&& call) {
  std::vector<WindowObserver*> observers;
  {
    std::lock_guard lock(S().observers_mu);
    observers = S().observers;
  }
  for (WindowObserver* observer : observers) call(*observer);
}

int DefaultCoordinate(int value) { return value == CW_USEDEFAULT ? 0 : value; }
int DefaultSize(int value, int fallback) { return value == CW_USEDEFAULT ? fallback : std::max(value, 0); }

bool OwnedByCaller(const Window& w) {
  wi::ThreadQueue* me = wi::CurrentQueueIfAny();
  return me && w.owner.get() == me;
}

std::optional<LRESULT> SendImpl(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam,
                                std::optional<wi::Clock::time_point> deadline) {
  if (IsDesktop(hwnd)) return 0;
  auto w = Find(hwnd);
  if (!w) return std::nullopt;
  if (w->remote) return window_remote::Send(w->socket_path, w->remote_id, msg, wparam, lparam, deadline);
  if (OwnedByCaller(*w)) return wi::CallLocalWindowProc(hwnd, msg, wparam, lparam);
  return wi::SendToOtherThread(wi::SentRequest::Kind::kMessage, hwnd, msg, wparam, lparam, deadline);
}

// Removes a window from the table once it is destroyed.
void Unlink(const std::shared_ptr<Window>& w) {
  std::lock_guard lock(S().mu);
  if (auto parent = FindLocked(w->parent)) std::erase(parent->children, w->handle);
  S().windows.erase(reinterpret_cast<std::uintptr_t>(w->handle));
  if (S().foreground == w->handle) S().foreground = nullptr;
}

}  // namespace

// ---- services for the other parts ----
namespace window_internal {

std::shared_ptr<ThreadQueue> OwnerQueue(HWND hwnd) {
  auto w = FindLocal(hwnd);
  return w ? w->owner : nullptr;
}

std::shared_ptr<ThreadQueue> QueueOfThread(DWORD thread_id) {
  std::lock_guard lock(S().mu);
  auto it = S().queues.find(thread_id);
  return it == S().queues.end() ? nullptr : it->second.lock();
}

void RegisterQueue(const std::shared_ptr<ThreadQueue>& queue) {
  std::lock_guard lock(S().mu);
  S().queues[queue->thread_id()] = queue;
}

void ForgetThreadWindows(ThreadQueue& queue) {
  std::vector<std::shared_ptr<Window>> gone;
  {
    std::lock_guard lock(S().mu);
    for (const auto& [value, w] : S().windows)
      if (w->owner.get() == &queue) gone.push_back(w);
    for (const auto& w : gone) {
      if (auto parent = FindLocked(w->parent)) std::erase(parent->children, w->handle);
      S().windows.erase(reinterpret_cast<std::uintptr_t>(w->handle));
      if (S().foreground == w->handle) S().foreground = nullptr;
    }
    auto it = S().queues.find(queue.thread_id());
    if (it != S().queues.end() && it->second.lock().get() == &queue) S().queues.erase(it);
  }
  for (const auto& w : gone) {
    if (w->listen_token) window_remote::StopListening(w->listen_token);
    Notify([&](WindowObserver& o) { o.OnWindowDestroyed(w->handle); });
  }
}

LRESULT CallLocalWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  WNDPROC proc;
  {
    std::lock_guard lock(S().mu);
    auto w = FindLocked(hwnd);
    if (!w || w->remote) return 0;
    proc = w->proc;
  }
  return proc ? proc(hwnd, msg, wparam, lparam) : DefWindowProc(hwnd, msg, wparam, lparam);
}

bool IsLocalWindowOf(HWND hwnd, const ThreadQueue& queue) {
  auto w = FindLocal(hwnd);
  return w && w->owner.get() == &queue;
}

bool DeliverSend(const std::shared_ptr<SentRequest>& request) {
  auto queue = OwnerQueue(request->hwnd);
  return queue && queue->EnqueueSend(request);
}

std::optional<LocalWindowInfo> DescribeLocalTopLevel(HWND hwnd) {
  std::lock_guard lock(S().mu);
  auto w = FindLocked(hwnd);
  if (!w || !w->IsTopLevel() || w->destroying) return std::nullopt;
  return LocalWindowInfo{w->handle, w->class_name, w->text};
}

bool AcceptsFromOtherProcess(HWND hwnd, UINT msg) {
  std::lock_guard lock(S().mu);
  auto w = FindLocked(hwnd);
  if (!w || !w->IsTopLevel() || w->destroying) return false;
  if (!w->cross_process_messages) return true;
  const auto& allowed = *w->cross_process_messages;
  return std::find(allowed.begin(), allowed.end(), msg) != allowed.end();
}

HWND FindLocalWindow(std::u16string_view class_name, std::optional<std::u16string_view> title) {
  std::lock_guard lock(S().mu);
  for (const auto& [value, w] : S().windows) {
    if (!w->IsTopLevel() || w->destroying) continue;
    if (!EqualsIgnoreAsciiCase(w->class_name, class_name)) continue;
    if (title && !EqualsIgnoreAsciiCase(w->text, *title)) continue;
    return w->handle;
  }
  return nullptr;
}

HWND MakeRemoteProxy(const std::string& socket_path, std::uint64_t remote_id, std::u16string_view class_name,
                     std::u16string_view title) {
  std::lock_guard lock(S().mu);
  auto key = std::make_pair(socket_path, remote_id);
  if (auto it = S().proxies.find(key); it != S().proxies.end()) {
    if (auto w = FindLocked(it->second)) {
      w->text = title;
      return w->handle;
    }
  }
  auto w = std::make_shared<Window>();
  w->handle = reinterpret_cast<HWND>(S().next_handle++);
  w->remote = true;
  w->socket_path = socket_path;
  w->remote_id = remote_id;
  w->class_name = class_name;
  w->text = title;
  S().windows[reinterpret_cast<std::uintptr_t>(w->handle)] = w;
  S().proxies[key] = w->handle;
  return w->handle;
}

}  // namespace window_internal

// ---- classes ----

bool RegisterClass(const WNDCLASS& wc) {
  if (wc.lpszClassName.empty() || !wc.lpfnWndProc) return false;
  std::lock_guard lock(S().mu);
  return S().classes.emplace(AsciiLower(wc.lpszClassName), wc).second;
}

bool UnregisterClass(std::u16string_view class_name) {
  std::lock_guard lock(S().mu);
  return S().classes.erase(AsciiLower(class_name)) > 0;
}

std::optional<WNDCLASS> GetClassInfo(std::u16string_view class_name) {
  std::lock_guard lock(S().mu);
  auto it = S().classes.find(AsciiLower(class_name));
  if (it == S().classes.end()) return std::nullopt;
  return it->second;
}

// ---- windows ----

HWND CreateWindowEx(DWORD ex_style, std::u16string_view class_name, std::u16string_view title, DWORD style, int x,
                    int y, int width, int height, HWND parent, UINT id, void* create_param) {
  auto owner = wi::CurrentQueueShared();
  auto w = std::make_shared<Window>();
  {
    std::lock_guard lock(S().mu);
    auto cls = S().classes.find(AsciiLower(class_name));
    if (cls == S().classes.end()) return nullptr;
    if (parent) {
      auto p = FindLocked(parent);
      if (!p || p->remote || p->destroying) return nullptr;
    } else if (style & WS_CHILD) {
      return nullptr;
    }
    w->handle = reinterpret_cast<HWND>(S().next_handle++);
    w->owner = owner;
    w->class_name = cls->second.lpszClassName;
    w->proc = cls->second.lpfnWndProc;
    w->text = title;
    w->style = style & ~WS_VISIBLE;  // set when it is shown below
    w->ex_style = ex_style;
    w->id = id;
    w->parent = parent;
    w->x = DefaultCoordinate(x);
    w->y = DefaultCoordinate(y);
    w->cx = DefaultSize(width, kDefaultScreenWidth);
    w->cy = DefaultSize(height, kDefaultScreenHeight);
    int extra = std::max(cls->second.cbWndExtra, 0);
    w->slots.assign(kDialogSlots + (extra + kSlotSize - 1) / kSlotSize, 0);
    S().windows[reinterpret_cast<std::uintptr_t>(w->handle)] = w;
    if (parent) FindLocked(parent)->children.push_back(w->handle);
  }
  HWND hwnd = w->handle;
  Notify([&](WindowObserver& o) { o.OnWindowCreated(hwnd); });

  std::u16string class_z(w->class_name), title_z(title);
  CREATESTRUCT cs;
  cs.lpCreateParams = create_param;
  cs.hwndParent = parent;
  cs.id = id;
  cs.x = w->x;
  cs.y = w->y;
  cs.cx = w->cx;
  cs.cy = w->cy;
  cs.style = style;
  cs.exStyle = ex_style;
  cs.lpszName = title_z.c_str();
  cs.lpszClass = class_z.c_str();
  if (wi::CallLocalWindowProc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (!IsWindow(hwnd)) return nullptr;
  RECT rect;
  GetClientRect(hwnd, &rect);
  SendMessage(hwnd, WM_SIZE, SIZE_RESTORED,
              MAKELPARAM(static_cast<std::uint16_t>(rect.right), static_cast<std::uint16_t>(rect.bottom)));
  SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(static_cast<std::uint16_t>(w->x), static_cast<std::uint16_t>(w->y)));
  if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
  if (!IsWindow(hwnd)) return nullptr;

  if (!parent && !(style & WS_CHILD)) {
    std::uint64_t token = window_remote::StartListening(hwnd, w->class_name);
    bool keep = false;
    {
      std::lock_guard lock(S().mu);
      if (FindLocked(hwnd) && !w->destroying) {
        w->listen_token = token;
        keep = true;
      }
    }
    if (!keep && token) window_remote::StopListening(token);
  }
  return hwnd;
}

bool DestroyWindow(HWND hwnd) {
  auto w = FindLocal(hwnd);
  if (!w || !OwnedByCaller(*w)) return false;
  std::uint64_t token;
  std::vector<HWND> children;
  {
    std::lock_guard lock(S().mu);
    if (w->destroying) return false;
    w->destroying = true;
    token = std::exchange(w->listen_token, 0);
    if (S().foreground == hwnd) S().foreground = nullptr;
  }
  w->owner->KillTimersOf(hwnd);
  if (w->owner->focus() == hwnd) w->owner->set_focus(nullptr);
  if (token) window_remote::StopListening(token);

  wi::CallLocalWindowProc(hwnd, WM_DESTROY, 0, 0);

  {
    std::lock_guard lock(S().mu);
    children = w->children;
  }
  for (HWND child : children) {
    auto c = FindLocal(child);
    if (!c) continue;
    if (OwnedByCaller(*c))
      DestroyWindow(child);
    else
      wi::SendToOtherThread(wi::SentRequest::Kind::kDestroy, child, 0, 0, 0, std::nullopt);
  }
  Unlink(w);
  Notify([&](WindowObserver& o) { o.OnWindowDestroyed(hwnd); });
  return true;
}

bool IsWindow(HWND hwnd) {
  if (!hwnd) return false;
  if (IsDesktop(hwnd)) return true;
  auto w = Find(hwnd);
  if (!w) return false;
  if (w->remote) return window_remote::Ping(w->socket_path, w->remote_id);
  return true;
}

std::intptr_t GetWindowLongPtr(HWND hwnd, int index) {
  std::lock_guard lock(S().mu);
  auto w = FindLocked(hwnd);
  if (!w || w->remote) return 0;
  switch (index) {
    case GWLP_WNDPROC:
      return reinterpret_cast<std::intptr_t>(w->proc);
    case GWLP_ID:
      return w->id;
    case GWL_STYLE:
      return w->style;
    case GWL_EXSTYLE:
      return w->ex_style;
    case GWLP_USERDATA:
      return w->user_data;
    default:
      if (index >= 0 && index % kSlotSize == 0 && static_cast<std::size_t>(index / kSlotSize) < w->slots.size())
        return w->slots[index / kSlotSize];
      return 0;
  }
}

std::intptr_t SetWindowLongPtr(HWND hwnd, int index, std::intptr_t value) {
  std::lock_guard lock(S().mu);
  auto w = FindLocked(hwnd);
  if (!w || w->remote) return 0;
  switch (index) {
    case GWLP_WNDPROC:
      if (!value) return 0;
      return reinterpret_cast<std::intptr_t>(std::exchange(w->proc, reinterpret_cast<WNDPROC>(value)));
    case GWLP_ID:
      return std::exchange(w->id, static_cast<UINT>(value));
    case GWL_STYLE:
      return std::exchange(w->style, static_cast<DWORD>(value));
    case GWL_EXSTYLE:
      return std::exchange(w->ex_style, static_cast<DWORD>(value));
    case GWLP_USERDATA:
      return std::exchange(w->user_data, value);
    default:
      if (index >= 0 && index % kSlotSize == 0 && static_cast<std::size_t>(index / kSlotSize) < w->slots.size())
        return std::exchange(w->slots[index / kSlotSize], value);
      return 0;
  }
}

HWND GetParent(HWND hwnd) {
  auto w = FindLocal(hwnd);
  return w ? w->parent : nullptr;
}

HWND GetTopLevelWindow(HWND hwnd) {
  std::lock_guard lock(S().mu);
  auto w = FindLocked(hwnd);
  if (!w) return nullptr;
  while (w->parent && (w->style & WS_CHILD)) {
    auto parent = FindLocked(w->parent);
    if (!parent) break;
    w = parent;
  }
  return w->handle;
}

HWND GetDlgItem(HWND parent, int id) {
  std::lock_guard lock(S().mu);
  auto p = FindLocked(parent);
  if (!p) return nullptr;
  for (HWND child : p->children) {
    auto c = FindLocked(child);
    if (c && static_cast<int>(c->id) == id) return child;
  }
  return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  auto w = FindLocal(hwnd);
  return w ? static_cast<int>(w->id) : 0;
}

std::vector<HWND> GetChildWindows(HWND parent) {
  std::lock_guard lock(S().mu);
  auto p = FindLocked(parent);
  return p ? p->children : std::vector<HWND>();
}

std::u16string GetClassName(HWND hwnd) {
  auto w = Find(hwnd);
  return w ? w->class_name : std::u16string();
}

std::u16string GetWindowText(HWND hwnd) {
  auto w = Find(hwnd);
  if (!w) return {};
  if (w->remote) {
    std::lock_guard lock(S().mu);
    return w->text;
  }
  LRESULT length = SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return {};
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  LRESULT copied = SendMessage(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(std::clamp<LRESULT>(copied, 0, length)));
  return text;
}

bool SetWindowText(HWND hwnd, std::u16string_view text) {
  auto w = FindLocal(hwnd);
  if (!w) return false;
  std::u16string text_z(text);
  return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text_z.c_str())) != 0;
}

DWORD GetWindowThreadId(HWND hwnd) {
  auto w = FindLocal(hwnd);
  return w ? w->owner->thread_id() : 0;
}

bool EnableWindow(HWND hwnd, bool enable) {
  bool was_disabled;
  {
    std::lock_guard lock(S().mu);
    auto w = FindLocked(hwnd);
    if (!w || w->remote) return false;
    was_disabled = (w->style & WS_DISABLED) != 0;
    if (was_disabled != enable) return was_disabled;
    if (enable)
      w->style &= ~WS_DISABLED;
    else
      w->style |= WS_DISABLED;
  }
  if (!enable && GetFocus() == hwnd) SetFocus(nullptr);
  SendMessage(hwnd, WM_ENABLE, enable ? 1 : 0, 0);
  Notify([&](WindowObserver& o) { o.OnWindowEnabled(hwnd, enable); });
  return was_disabled;
}

bool IsWindowEnabled(HWND hwnd) {
  auto w = FindLocal(hwnd);
  return w && !(w->style & WS_DISABLED);
}

bool ShowWindow(HWND hwnd, int command) {
  bool visible = command != SW_HIDE;
  bool was_visible;
  {
    std::lock_guard lock(S().mu);
    auto w = FindLocked(hwnd);
    if (!w || w->remote) return false;
    was_visible = (w->style & WS_VISIBLE) != 0;
  }
  if (was_visible == visible) return was_visible;
  // As the model does: the window hears of it before it changes.
  SendMessage(hwnd, WM_SHOWWINDOW, visible ? 1 : 0, 0);
  {
    std::lock_guard lock(S().mu);
    auto w = FindLocked(hwnd);
    if (!w) return was_visible;
    if (visible)
      w->style |= WS_VISIBLE;
    else
      w->style &= ~WS_VISIBLE;
  }
  Notify([&](WindowObserver& o) { o.OnWindowShown(hwnd, visible); });
  return was_visible;
}

bool IsWindowVisible(HWND hwnd) {
  std::lock_guard lock(S().mu);
  auto w = FindLocked(hwnd);
  if (!w || w->remote) return false;
  // Visible only when every parent is.
  for (; w; w = FindLocked(w->parent)) {
    if (!(w->style & WS_VISIBLE)) return false;
    if (!w->parent) break;
  }
  return true;
}

bool MoveWindow(HWND hwnd, int x, int y, int width, int height, bool /*repaint*/) {
  {
    std::lock_guard lock(S().mu);
    auto w = FindLocked(hwnd);
    if (!w || w->remote) return false;
    w->x = x;
    w->y = y;
    w->cx = std::max(width, 0);
    w->cy = std::max(height, 0);
  }
  SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y)));
  SendMessage(hwnd, WM_SIZE, SIZE_RESTORED,
              MAKELPARAM(static_cast<std::uint16_t>(std::max(width, 0)), static_cast<std::uint16_t>(std::max(height, 0))));
  Notify([&](WindowObserver& o) { o.OnWindowMoved(hwnd); });
  return true;
}

bool GetWindowRect(HWND hwnd, RECT* rect) {
  std::lock_guard lock(S().mu);
  auto w = FindLocked(hwnd);
  if (!w || w->remote || !rect) return false;
  int left = w->x, top = w->y;
  for (auto p = FindLocked(w->parent); p; p = FindLocked(p->parent)) {
    left += p->x;
    top += p->y;
  }
  *rect = RECT{left, top, left + w->cx, top + w->cy};
  return true;
}

bool GetClientRect(HWND hwnd, RECT* rect) {
  std::lock_guard lock(S().mu);
  auto w = FindLocked(hwnd);
  if (!w || w->remote || !rect) return false;
  *rect = RECT{0, 0, w->cx, w->cy};
  return true;
}

HWND SetFocus(HWND hwnd) {
  wi::ThreadQueue& me = wi::CurrentQueue();
  if (hwnd && !wi::IsLocalWindowOf(hwnd, me)) return nullptr;
  HWND previous = me.focus();
  if (previous && !FindLocal(previous)) previous = nullptr;
  if (previous == hwnd) return previous;
  me.set_focus(hwnd);
  if (previous) SendMessage(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd) SendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

HWND GetFocus() {
  wi::ThreadQueue* me = wi::CurrentQueueIfAny();
  if (!me) return nullptr;
  HWND focus = me->focus();
  return focus && FindLocal(focus) ? focus : nullptr;
}

bool SetForegroundWindow(HWND hwnd) {
  if (!IsDesktop(hwnd)) {
    auto w = Find(hwnd);
    if (!w) return false;
    if (w->remote) return window_remote::SetForeground(w->socket_path, w->remote_id);
  }
  {
    std::lock_guard lock(S().mu);
    S().foreground = hwnd;
  }
  Notify([&](WindowObserver& o) { o.OnForeground(hwnd); });
  return true;
}

HWND GetForegroundWindow() {
  std::lock_guard lock(S().mu);
  HWND hwnd = S().foreground;
  return hwnd && (IsDesktop(hwnd) || FindLocked(hwnd)) ? hwnd : nullptr;
}

HWND GetDesktopWindow() { return reinterpret_cast<HWND>(kDesktopHandle); }

std::uintptr_t GetStockObject(int index) {
  return index >= 0 && index < kStockObjectCount ? kStockObjectBase + static_cast<std::uintptr_t>(index) : 0;
}

HWND FindWindow(std::u16string_view class_name, std::optional<std::u16string_view> title) {
  if (HWND local = wi::FindLocalWindow(class_name, title)) return local;
  auto found = window_remote::Find(class_name, title);
  if (!found) return nullptr;
  return wi::MakeRemoteProxy(found->socket_path, found->remote_id, found->class_name, found->title);
}

bool SetCrossProcessMessages(HWND hwnd, std::vector<UINT> messages) {
  std::lock_guard lock(S().mu);
  auto w = FindLocked(hwnd);
  if (!w || !w->IsTopLevel()) return false;
  w->cross_process_messages = std::move(messages);
  return true;
}

// ---- messages ----

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  return proc ? proc(hwnd, msg, wparam, lparam) : DefWindowProc(hwnd, msg, wparam, lparam);
}

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_SETTEXT: {
      {
        std::lock_guard lock(S().mu);
        auto w = FindLocked(hwnd);
        if (!w || w->remote) return 0;
        w->text = lparam ? std::u16string(reinterpret_cast<const char16_t*>(lparam)) : std::u16string();
      }
      Notify([&](WindowObserver& o) { o.OnWindowTextChanged(hwnd); });
      return 1;
    }
    case WM_GETTEXT: {
      if (wparam == 0 || !lparam) return 0;
      std::lock_guard lock(S().mu);
      auto w = FindLocked(hwnd);
      if (!w || w->remote) return 0;
      auto* out = reinterpret_cast<char16_t*>(lparam);
      std::size_t count = std::min<std::size_t>(w->text.size(), wparam - 1);
      std::copy_n(w->text.data(), count, out);
      out[count] = u'\0';
      return static_cast<LRESULT>(count);
    }
    case WM_GETTEXTLENGTH: {
      std::lock_guard lock(S().mu);
      auto w = FindLocked(hwnd);
      return w && !w->remote ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    default:
      return 0;
  }
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  return SendImpl(hwnd, msg, wparam, lparam, std::nullopt).value_or(0);
}

std::optional<LRESULT> SendMessageTimeout(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam,
                                          std::chrono::milliseconds timeout) {
  return SendImpl(hwnd, msg, wparam, lparam, wi::Clock::now() + timeout);
}

bool PostMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (!hwnd) return wi::CurrentQueue().Post(MSG{nullptr, msg, wparam, lparam, GetTickCount()});
  if (IsDesktop(hwnd)) return false;
  auto w = Find(hwnd);
  if (!w) return false;
  if (w->remote) return window_remote::Post(w->socket_path, w->remote_id, msg, wparam, lparam);
  return w->owner->Post(MSG{hwnd, msg, wparam, lparam, GetTickCount()});
}

bool PostThreadMessage(DWORD thread_id, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto queue = wi::QueueOfThread(thread_id);
  return queue && queue->Post(MSG{nullptr, msg, wparam, lparam, GetTickCount()});
}

// ---- observers ----

void AddWindowObserver(WindowObserver* observer) {
  std::lock_guard lock(S().observers_mu);
  if (std::find(S().observers.begin(), S().observers.end(), observer) == S().observers.end())
    S().observers.push_back(observer);
}

void RemoveWindowObserver(WindowObserver* observer) {
  std::lock_guard lock(S().observers_mu);
  std::erase(S().observers, observer);
}

}  // namespace platform
