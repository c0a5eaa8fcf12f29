#include "delivery/mail_events.h"

namespace delivery {
namespace {

constexpr char16_t kSinkClass[] = u"DictaloMailEvents";

bool RegisterSinkClass(platform::WNDPROC proc) {
  static std::once_flag once;
  static bool registered = false;
  std::call_once(once, [&] {
    platform::WNDCLASS wc;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = kSinkClass;
    registered = platform::RegisterClass(wc) || platform::GetClassInfo(kSinkClass).has_value();
  });
  return registered;
}

}  // namespace

MailEventSink::MailEventSink(MailEventHandler* handler) : handler_(handler), owner_(platform::GetCurrentThreadId()) {
  if (RegisterSinkClass(&MailEventSink::WindowProc)) {
    window_ = platform::CreateWindowEx(0, kSinkClass, u"", 0, 0, 0, 0, 0, nullptr, 0, this);
    if (window_) platform::SetWindowLongPtr(window_, platform::GWLP_USERDATA, reinterpret_cast<std::intptr_t>(this));
  }
}

MailEventSink::~MailEventSink() {
  {
    std::lock_guard lock(mu_);
    closing_ = true;
  }
  if (window_ && platform::GetCurrentThreadId() == owner_) platform::DestroyWindow(window_);
}

void MailEventSink::Dispatch(MailEvent& event) {
  if (handler_) handler_->OnMailEvent(event);
}

void MailEventSink::Raise(MailEvent& event) {
  if (platform::GetCurrentThreadId() == owner_) {
    Dispatch(event);
    return;
  }
  {
    std::lock_guard lock(mu_);
    if (closing_ || !window_) return;
    pending_.insert(&event);
  }
  platform::SendMessage(window_, kMailEventMessage, 0, reinterpret_cast<platform::LPARAM>(&event));
  std::lock_guard lock(mu_);
  pending_.erase(&event);
}

platform::LRESULT MailEventSink::WindowProc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wparam,
                                            platform::LPARAM lparam) {
  if (msg != kMailEventMessage) return platform::DefWindowProc(hwnd, msg, wparam, lparam);
  auto* sink = reinterpret_cast<MailEventSink*>(platform::GetWindowLongPtr(hwnd, platform::GWLP_USERDATA));
  if (!sink) return 0;
  auto* event = reinterpret_cast<MailEvent*>(lparam);
  {
    std::lock_guard lock(sink->mu_);
    if (sink->closing_ || !sink->pending_.contains(event)) return 0;
  }
  sink->Dispatch(*event);
  return 1;
}

}  // namespace delivery
