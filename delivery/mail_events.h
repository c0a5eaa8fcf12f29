#pragma once
// The mail service's events and the sink that delivers them on the thread
// that owns it (the UI thread).
//
// An event raised on the owner thread is handled at once. One raised on any
// other thread (the service's worker) is sent with message kMailEventMessage
// (0x8FFF) to the sink's window and handled there while the raising thread
// waits, so handlers always run on the owner thread. The owner thread must
// therefore keep handling messages (GetMessage, or MsgWaitForEvents) while a
// run is going on; a sink being destroyed drops events instead.

#include <array>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "delivery/error_report.h"
#include "platform/window_system.h"

namespace delivery {

inline constexpr platform::UINT kMailEventMessage = 0x8FFF;

enum class MailEventType : int { kProgress = 2, kCredentials = 4, kError = 5 };

// Progress codes.
enum MailProgress : int {
  kProgressConnecting = 1,
  kProgressConnected = 2,         // logging in
  kProgressConnectionFailed = 4,  // connection or login failed
  kProgressAuthenticating = 5,
  kProgressLoggedIn = 6,
  kProgressSending = 15,          // params: count, 1-based index, bytes before it, total bytes
  kProgressStartingTls = 16,
  kProgressSendingFinished = 20,  // param: number sent
  kProgressRunDone = 1000,
};

// A credentials request: the handler fills in user name and password (and
// the store flag) or sets cancel.
struct CredentialsRequest {
  std::string server;
  std::string user_name;
  std::string password;
  std::string server_response;
  bool store_password = false;
  bool cancel = false;
};

struct MailEvent {
  MailEventType type = MailEventType::kProgress;
  int code = 0;                           // progress code
  std::array<std::uint32_t, 4> params{};  // progress parameters
  ErrorReport error;                      // kError
  CredentialsRequest credentials;         // kCredentials; the handler's answer comes back here
};

class MailEventHandler {
 public:
  virtual ~MailEventHandler() = default;
  virtual void OnMailEvent(MailEvent& event) = 0;
};

class MailEventSink {
 public:
  // On the owner thread. The handler must outlive the sink.
  explicit MailEventSink(MailEventHandler* handler);
  ~MailEventSink();
  MailEventSink(const MailEventSink&) = delete;
  MailEventSink& operator=(const MailEventSink&) = delete;

  // From any thread; returns when the handler is done with the event.
  void Raise(MailEvent& event);
  platform::HWND window() const { return window_; }
  platform::DWORD owner_thread() const { return owner_; }

 private:
  static platform::LRESULT WindowProc(platform::HWND, platform::UINT, platform::WPARAM, platform::LPARAM);
  void Dispatch(MailEvent& event);

  MailEventHandler* handler_;
  platform::DWORD owner_;
  platform::HWND window_ = nullptr;
  // Events handed over and not yet answered: the window handles only these,
  // never a pointer some other sender made up.
  std::mutex mu_;
  std::set<const MailEvent*> pending_;
  bool closing_ = false;
};

}  // namespace delivery
