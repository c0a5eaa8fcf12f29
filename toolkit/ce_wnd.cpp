#include "toolkit/ce_wnd.h"

#include <exception>
#include <utility>
#include <mutex>

#include "platform/text.h"
#include "toolkit/handler_guard.h"
#include "toolkit/message_box.h"

namespace toolkit {

namespace pw = platform;

namespace {

// The text of the "Software Error" box for a handler of this kind.
std::u16string WindowErrorText(const std::u16string& window_text, const char* what) {
  return window_text + u": " + pw::Utf8ToUtf16(what);
}

template <typename F>
LRESULT Guarded(HWND hwnd, F&& f) {
  return GuardHandler(hwnd, WindowErrorText, std::forward<F>(f));
}

void SendToDescendants(HWND parent, UINT msg, WPARAM wparam, LPARAM lparam, bool deep, bool only_permanent) {
  for (HWND child : pw::GetChildWindows(parent)) {
    if (!only_permanent || CeWnd::FromHandle(child)) pw::SendMessage(child, msg, wparam, lparam);
    if (deep) SendToDescendants(child, msg, wparam, lparam, deep, only_permanent);
  }
}

WNDPROC ProcOf(HWND hwnd) { return reinterpret_cast<WNDPROC>(pw::GetWindowLongPtr(hwnd, pw::GWLP_WNDPROC)); }

CeWnd* ObjectOf(HWND hwnd) { return reinterpret_cast<CeWnd*>(pw::GetWindowLongPtr(hwnd, pw::GWLP_USERDATA)); }

}  // namespace

CeWnd::~CeWnd() {
  if (hwnd_ && ObjectOf(hwnd_) == this) Unbind(hwnd_);
}

std::u16string CeWnd::ClassName(std::u16string_view name) { return u"CeWnd:" + std::u16string(name); }

bool CeWnd::RegisterClassW(std::u16string_view name, UINT style, int class_extra, int window_extra,
                           std::uintptr_t icon, std::uintptr_t /*small_icon*/, std::uintptr_t brush,
                           std::u16string_view menu_name) {
  std::u16string full = ClassName(name);
  pw::UnregisterClass(full);
  pw::WNDCLASS wc;
  wc.style = style;
  wc.lpfnWndProc = StartWindowProc;
  wc.cbClsExtra = class_extra;
  wc.cbWndExtra = window_extra;
  wc.hIcon = icon;
  wc.hbrBackground = brush ? brush : pw::GetStockObject(pw::WHITE_BRUSH);
  wc.lpszMenuName = menu_name;
  wc.lpszClassName = full;
  return pw::RegisterClass(wc);
}

std::u16string CeWnd::CreateGenericWndClass() {
  static std::mutex mu;
  std::lock_guard lock(mu);
  std::u16string name = ClassName(u"GENERIC");
  if (!pw::GetClassInfo(name)) RegisterClassW(u"GENERIC", pw::CS_HREDRAW | pw::CS_VREDRAW, 0, 0, 0, 0, 0, u"");
  return name;
}

std::u16string CeWnd::RegisterWndSuperclass(std::u16string_view base_class, WNDPROC* previous, bool* registered) {
  if (registered) *registered = false;
  auto base = pw::GetClassInfo(base_class);
  if (!base) return {};
  std::u16string name = ClassName(base_class);
  if (base->lpfnWndProc == StartWindowProc && pw::GetClassInfo(name)) return name;
  if (previous) *previous = base->lpfnWndProc;
  pw::WNDCLASS wc = *base;
  wc.lpfnWndProc = StartWindowProc;
  wc.style &= ~pw::CS_GLOBALCLASS;
  wc.lpszClassName = name;
  bool ok = pw::RegisterClass(wc);
  if (registered) *registered = ok;
  return ok || pw::GetClassInfo(name) ? name : std::u16string();
}

HWND CeWnd::Create(std::u16string_view class_name, std::u16string_view title, DWORD style, const RECT& rect,
                   HWND parent, UINT id, DWORD ex_style) {
  return Create(class_name, title, style, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                id, ex_style);
}

HWND CeWnd::Create(std::u16string_view class_name, std::u16string_view title, DWORD style, const RECT* rect,
                   HWND parent, UINT menu_or_id, DWORD ex_style) {
  if (rect) return Create(class_name, title, style, *rect, parent, menu_or_id, ex_style);
  return Create(class_name, title, style, pw::CW_USEDEFAULT, pw::CW_USEDEFAULT, pw::CW_USEDEFAULT, pw::CW_USEDEFAULT,
                parent, menu_or_id, ex_style);
}

HWND CeWnd::Create(std::u16string_view class_name, std::u16string_view title, DWORD style, int x, int y, int width,
                   int height, HWND parent, UINT menu_or_id, DWORD ex_style) {
  if (hwnd_) return nullptr;
  // Not touching members afterwards: a refused window may have deleted its object.
  return pw::CreateWindowEx(ex_style, class_name, title, style, x, y, width, height, parent, menu_or_id,
                            static_cast<CeWnd*>(this));
}

bool CeWnd::Subclass(HWND hwnd) {
  if (hwnd_ || !hwnd || pw::GetWindowThreadId(hwnd) != pw::GetCurrentThreadId()) return false;
  WNDPROC previous = ProcOf(hwnd);
  if (previous == WindowProc || ObjectOf(hwnd)) return false;
  return Guarded(hwnd, [&]() -> LRESULT {
           pw::SetWindowLongPtr(hwnd, pw::GWLP_USERDATA, reinterpret_cast<std::intptr_t>(this));
           pw::SetWindowLongPtr(hwnd, pw::GWLP_WNDPROC, reinterpret_cast<std::intptr_t>(WindowProc));
           prev_proc_ = previous;
           OnFirstMessage(hwnd);
           hwnd_ = hwnd;
           return 1;
         }) != 0;
}

bool CeWnd::Subclass(UINT id, HWND dialog) { return Subclass(pw::GetDlgItem(dialog, static_cast<int>(id))); }

HWND CeWnd::Unsubclass() {
  if (!hwnd_ || ProcOf(hwnd_) != WindowProc) return nullptr;
  HWND hwnd = hwnd_;
  Unbind(hwnd);
  return hwnd;
}

void CeWnd::Unbind(HWND hwnd) {
  if (ProcOf(hwnd) == WindowProc)
    pw::SetWindowLongPtr(hwnd, pw::GWLP_WNDPROC,
                         reinterpret_cast<std::intptr_t>(prev_proc_ ? prev_proc_ : pw::DefWindowProc));
  pw::SetWindowLongPtr(hwnd, pw::GWLP_USERDATA, 0);
  prev_proc_ = nullptr;
  hwnd_ = nullptr;
}

void CeWnd::SendMessageToDescendants(UINT msg, WPARAM wparam, LPARAM lparam, bool deep, bool only_permanent) {
  if (hwnd_) SendToDescendants(hwnd_, msg, wparam, lparam, deep, only_permanent);
}

CeWnd* CeWnd::FromHandle(HWND hwnd) {
  if (!hwnd || ProcOf(hwnd) != WindowProc) return nullptr;
  return reinterpret_cast<CeWnd*>(pw::GetWindowLongPtr(hwnd, pw::GWLP_USERDATA));
}

LRESULT CeWnd::StartWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == pw::WM_CREATE && lparam && pw::GetWindowLongPtr(hwnd, pw::GWLP_USERDATA) == 0) {
    auto* wnd = static_cast<CeWnd*>(reinterpret_cast<pw::CREATESTRUCT*>(lparam)->lpCreateParams);
    if (wnd) {
      return Guarded(hwnd, [&]() -> LRESULT {
        pw::SetWindowLongPtr(hwnd, pw::GWLP_WNDPROC, reinterpret_cast<std::intptr_t>(WindowProc));
        pw::SetWindowLongPtr(hwnd, pw::GWLP_USERDATA, reinterpret_cast<std::intptr_t>(wnd));
        wnd->OnFirstMessage(hwnd);
        wnd->hwnd_ = hwnd;
        return wnd->HandleMessage(hwnd, msg, wparam, lparam);
      });
    }
  }
  return pw::DefWindowProc(hwnd, msg, wparam, lparam);
}

LRESULT CeWnd::WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  CeWnd* wnd = ObjectOf(hwnd);
  if (!wnd) return pw::DefWindowProc(hwnd, msg, wparam, lparam);
  return Guarded(hwnd, [&] { return wnd->HandleMessage(hwnd, msg, wparam, lparam); });
}

LRESULT CeWnd::HandleMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  // Handlers may send further messages to this window; Default must still see
  // the message being handled here once they return.
  std::weak_ptr<char> alive = alive_;
  CurrentMessage outer = current_;
  current_ = CurrentMessage{hwnd, msg, wparam, lparam};
  bool handled = false;
  LRESULT result = ProcessMessage(hwnd, msg, wparam, lparam, handled);
  if (alive.expired()) return result;  // the handler destroyed the window and the object with it
  if (!handled) {
    current_ = CurrentMessage{hwnd, msg, wparam, lparam};
    result = Default();
    if (alive.expired()) return result;  // e.g. WM_CLOSE: the default handling destroys
  }
  if (msg == pw::WM_DESTROY && ObjectOf(hwnd) == this) {
    Unbind(hwnd);
    OnFinalMessage(hwnd);  // may delete this
    return result;
  }
  current_ = outer;
  return result;
}

}  // namespace toolkit
