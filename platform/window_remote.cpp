// Windows across processes: socket naming and binding, the listener thread that
// serves requests for this process's windows, and the client side of a request.

#include "platform/window_remote.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/folders.h"
#include "platform/text.h"
#include "platform/window_internal.h"
#include "platform/window_wire.h"

namespace platform::window_remote {
namespace wi = window_internal;
namespace wire = window_wire;
using Clock = wi::Clock;
using namespace std::chrono_literals;

namespace {

constexpr auto kConnectionTimeout = 5s;  // a peer's time to deliver a request or take a reply
constexpr auto kQuickTimeout = 2s;       // find, ping, post, set-foreground
constexpr std::size_t kMaxConnections = 32;
constexpr int kListenBacklog = 16;

std::u16string Truncated(std::u16string_view s) {
  return std::u16string(s.substr(0, wire::kMaxStringUnits));
}

bool PeerIsUs(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::geteuid();
}

bool FillAddress(const std::string& path, sockaddr_un* addr) {
  if (path.empty() || path.size() >= sizeof addr->sun_path) return false;
  *addr = sockaddr_un{};
  addr->sun_family = AF_UNIX;
  std::copy(path.begin(), path.end(), addr->sun_path);
  return true;
}

bool IsSocketFile(const std::string& path, struct stat* st) {
  return ::lstat(path.c_str(), st) == 0 && S_ISSOCK(st->st_mode);
}

// Serialises check-remove-bind of one socket name between processes.
class PathLock {
 public:
  explicit PathLock(const std::string& socket_path)
      : fd_(::open((socket_path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_ >= 0)
      while (::flock(fd_, LOCK_EX) < 0 && errno == EINTR) {
      }
  }
  ~PathLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  PathLock(const PathLock&) = delete;
  PathLock& operator=(const PathLock&) = delete;

 private:
  int fd_;
};

enum class ConnectResult { kConnected, kStale, kFailed };

// A non-blocking connection to path. kStale: nobody listens there (the owner died).
ConnectResult Connect(const std::string& path, Clock::time_point deadline, int* fd_out) {
  sockaddr_un addr;
  if (!FillAddress(path, &addr)) return ConnectResult::kFailed;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return ConnectResult::kFailed;
  for (;;) {
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) break;
    int err = errno;
    if (err == EINTR) continue;
    if (err == EAGAIN && Clock::now() < deadline) {  // backlog full: a busy, live owner
      std::this_thread::sleep_for(10ms);
      continue;
    }
    ::close(fd);
    return err == ECONNREFUSED || err == ENOENT ? ConnectResult::kStale : ConnectResult::kFailed;
  }
  if (!PeerIsUs(fd)) {
    ::close(fd);
    return ConnectResult::kFailed;
  }
  *fd_out = fd;
  return ConnectResult::kConnected;
}

// Removes a socket whose owner has gone, unless someone took the name meanwhile.
void RemoveStale(const std::string& path) {
  PathLock lock(path);
  struct stat st;
  if (!IsSocketFile(path, &st)) return;
  int fd = -1;
  if (Connect(path, Clock::now() + 1s, &fd) == ConnectResult::kStale)
    ::unlink(path.c_str());
  else if (fd >= 0)
    ::close(fd);
}

// Waits until fd is ready for events, handling messages sent to the calling
// thread's windows meanwhile. False at the deadline.
bool WaitReady(int fd, short events, Deadline deadline) {
  wi::ThreadQueue& queue = wi::CurrentQueue();
  std::vector<pollfd> extra{pollfd{fd, events, 0}};
  for (;;) {
    queue.wake()->Drain();
    wi::ProcessSentMessages(queue);
    if (deadline && Clock::now() >= *deadline) return false;
    wi::WaitOnQueue(queue, &extra, deadline);
    if (extra[0].revents) return true;
  }
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes, Deadline deadline) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      if (!WaitReady(fd, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool ReadExact(int fd, std::uint8_t* out, std::size_t size, Deadline deadline) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::recv(fd, out + done, size - done, 0);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      if (!WaitReady(fd, POLLIN, deadline)) return false;
    } else {
      return false;  // the peer hung up or failed
    }
  }
  return true;
}

struct Outcome {
  ConnectResult connect = ConnectResult::kFailed;
  std::optional<wire::Reply> reply;
};

// One request on a fresh connection.
Outcome Exchange(const std::string& path, const wire::Request& request, Deadline deadline) {
  Outcome outcome;
  int fd = -1;
  outcome.connect = Connect(path, deadline.value_or(Clock::now() + kQuickTimeout), &fd);
  if (outcome.connect != ConnectResult::kConnected) return outcome;
  std::vector<std::uint8_t> frame = wire::EncodeRequest(request);
  std::uint8_t header_bytes[wire::kHeaderSize];
  if (WriteAll(fd, frame, deadline) && ReadExact(fd, header_bytes, sizeof header_bytes, deadline)) {
    if (auto header = wire::ParseHeader(header_bytes)) {
      std::vector<std::uint8_t> body(header->length);
      if (ReadExact(fd, body.data(), body.size(), deadline))
        outcome.reply = wire::DecodeReply(request.op, header->type, body);
    }
  }
  ::close(fd);
  return outcome;
}

std::string Hex64(std::uint64_t v) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
  return buf;
}

// ---- the listener ----

struct Endpoint {
  std::uint64_t token = 0;
  int fd = -1;
  HWND hwnd = nullptr;
  std::u16string class_key;
  std::string path;
  dev_t dev = 0;
  ino_t ino = 0;
};

void UnlinkIfOurs(const Endpoint& endpoint) {
  PathLock lock(endpoint.path);
  struct stat st;
  if (IsSocketFile(endpoint.path, &st) && st.st_dev == endpoint.dev && st.st_ino == endpoint.ino)
    ::unlink(endpoint.path.c_str());
}

struct Connection {
  enum class Phase { kReading, kWaiting, kWriting, kClosed };
  int fd = -1;
  HWND endpoint_hwnd = nullptr;
  Phase phase = Phase::kReading;
  std::vector<std::uint8_t> in;
  std::size_t need = wire::kHeaderSize;
  bool have_header = false;
  wire::Header header;
  std::vector<std::uint8_t> out;
  std::size_t out_done = 0;
  wire::Op op = wire::Op::kPing;
  std::shared_ptr<wi::SentRequest> pending;
  Clock::time_point deadline;
};

class Listener {
 public:
  static Listener& Get() {
    static bool initialised = [] {
      instance_ = new Listener;
      return true;
    }();
    (void)initialised;
    return *instance_;
  }

  void LockForFork() { mu_.lock(); }
  void UnlockAfterFork() { mu_.unlock(); }
  // In the child: the listener thread is not here; leave this one behind (never
  // destroyed: its thread handle is not joinable here) and start afresh.
  static void ReplaceInChild() {
    for (const auto& e : instance_->endpoints_) ::close(e.fd);
    for (int fd : instance_->to_close_) ::close(fd);
    Listener* fresh = new Listener;
    fresh->left_behind_ = instance_;  // kept reachable, never used
    instance_ = fresh;
  }

  bool Serves(const std::u16string& class_key) {
    std::lock_guard lock(mu_);
    return std::any_of(endpoints_.begin(), endpoints_.end(),
                       [&](const Endpoint& e) { return e.class_key == class_key; });
  }

  std::uint64_t Add(Endpoint endpoint) {
    std::lock_guard lock(mu_);
    if (stopped_) {
      UnlinkIfOurs(endpoint);
      ::close(endpoint.fd);
      return 0;
    }
    endpoint.token = ++next_token_;
    endpoints_.push_back(endpoint);
    if (!thread_.joinable()) {
      thread_ = std::thread([this] { Run(); });
      std::atexit([] { Listener::Get().Stop(); });
    }
    control_->Wake();
    return endpoint.token;
  }

  void Remove(std::uint64_t token) {
    Endpoint endpoint;
    {
      std::lock_guard lock(mu_);
      auto it = std::find_if(endpoints_.begin(), endpoints_.end(), [&](const Endpoint& e) { return e.token == token; });
      if (it == endpoints_.end()) return;
      endpoint = *it;
      endpoints_.erase(it);
      to_close_.push_back(endpoint.fd);  // closed by the listener thread, which may be polling it
    }
    UnlinkIfOurs(endpoint);
    control_->Wake();
  }

  void Stop() {
    {
      std::lock_guard lock(mu_);
      stopped_ = true;
    }
    control_->Wake();
    if (thread_.joinable()) thread_.join();
  }

 private:
  Listener() : control_(std::make_shared<wi::WakeFd>()) {}

  void Run();
  void Accept(int listen_fd, HWND hwnd, std::vector<Connection>* connections);
  void OnReadable(Connection& c);
  void Perform(Connection& c, const wire::Request& request);
  void Reply(Connection& c, const wire::Reply& reply);
  void OnWritable(Connection& c);
  void Close(Connection& c);

  std::mutex mu_;
  std::vector<Endpoint> endpoints_;
  std::vector<int> to_close_;
  bool stopped_ = false;
  std::uint64_t next_token_ = 0;
  std::shared_ptr<wi::WakeFd> control_;
  std::thread thread_;
  Listener* left_behind_ = nullptr;
  // Never destroyed: threads ending during exit may still call in.
  static inline Listener* instance_ = nullptr;
};

void Listener::Run() {
  std::vector<Connection> connections;
  for (;;) {
    std::vector<Endpoint> endpoints;
    {
      std::lock_guard lock(mu_);
      for (int fd : to_close_) ::close(fd);
      to_close_.clear();
      if (stopped_) break;
      endpoints = endpoints_;
    }

    std::vector<pollfd> fds{pollfd{control_->fd(), POLLIN, 0}};
    bool room = connections.size() < kMaxConnections;
    for (const auto& e : endpoints) fds.push_back(pollfd{e.fd, static_cast<short>(room ? POLLIN : 0), 0});
    std::optional<Clock::time_point> next_deadline;
    for (const auto& c : connections) {
      short events = c.phase == Connection::Phase::kReading   ? POLLIN
                     : c.phase == Connection::Phase::kWriting ? POLLOUT
                                                               : POLLRDHUP;
      fds.push_back(pollfd{c.fd, events, 0});
      if (c.phase != Connection::Phase::kWaiting && (!next_deadline || c.deadline < *next_deadline))
        next_deadline = c.deadline;
    }
    int timeout = -1;
    if (next_deadline) {
      auto ms = std::chrono::ceil<std::chrono::milliseconds>(*next_deadline - Clock::now()).count();
      timeout = static_cast<int>(std::clamp<long long>(ms, 0, 60000));
    }
    if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) continue;
    control_->Drain();

    std::size_t count = connections.size();
    for (std::size_t i = 0; i < endpoints.size(); ++i)
      if (fds[1 + i].revents & POLLIN) Accept(endpoints[i].fd, endpoints[i].hwnd, &connections);

    auto now = Clock::now();
    for (std::size_t i = 0; i < count; ++i) {
      Connection& c = connections[i];
      short revents = fds[1 + endpoints.size() + i].revents;
      switch (c.phase) {
        case Connection::Phase::kReading:
          if (revents) OnReadable(c);
          break;
        case Connection::Phase::kWaiting:
          if (c.pending->Done()) {
            wire::Reply reply;
            reply.ok = !c.pending->failed;
            reply.result = c.pending->result;
            c.pending.reset();
            Reply(c, reply);
          } else if (revents & (POLLHUP | POLLRDHUP | POLLERR)) {
            Close(c);  // nobody waits for the answer any more
          }
          break;
        case Connection::Phase::kWriting:
          if (revents) OnWritable(c);
          break;
        case Connection::Phase::kClosed:
          break;
      }
      if (c.phase != Connection::Phase::kClosed && c.phase != Connection::Phase::kWaiting && now >= c.deadline)
        Close(c);
    }
    std::erase_if(connections, [](const Connection& c) { return c.phase == Connection::Phase::kClosed; });
  }

  // Answers already made still go out (a post that made the process quit), for a
  // short while; requests still waiting for a window are dropped.
  auto flush_until = Clock::now() + 1s;
  for (;;) {
    std::vector<pollfd> fds;
    for (auto& c : connections) {
      if (c.phase == Connection::Phase::kWriting)
        fds.push_back(pollfd{c.fd, POLLOUT, 0});
      else
        Close(c);
    }
    std::erase_if(connections, [](const Connection& c) { return c.phase == Connection::Phase::kClosed; });
    auto left = std::chrono::ceil<std::chrono::milliseconds>(flush_until - Clock::now()).count();
    if (connections.empty() || left <= 0) break;
    if (::poll(fds.data(), fds.size(), static_cast<int>(left)) < 0 && errno != EINTR) break;
    for (std::size_t i = 0; i < connections.size(); ++i)
      if (fds[i].revents) OnWritable(connections[i]);
  }
  for (auto& c : connections) Close(c);
  std::vector<Endpoint> endpoints;
  {
    std::lock_guard lock(mu_);
    endpoints.swap(endpoints_);
  }
  for (const auto& e : endpoints) {
    UnlinkIfOurs(e);
    ::close(e.fd);
  }
}

void Listener::Accept(int listen_fd, HWND hwnd, std::vector<Connection>* connections) {
  while (connections->size() < kMaxConnections) {
    int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    if (!PeerIsUs(fd)) {
      ::close(fd);
      continue;
    }
    Connection c;
    c.fd = fd;
    c.endpoint_hwnd = hwnd;
    c.deadline = Clock::now() + kConnectionTimeout;
    connections->push_back(std::move(c));
  }
}

void Listener::OnReadable(Connection& c) {
  for (;;) {
    std::size_t have = c.in.size();
    c.in.resize(c.need);
    ssize_t n = ::recv(c.fd, c.in.data() + have, c.need - have, 0);
    if (n <= 0) {
      c.in.resize(have);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
      Close(c);  // hung up midway, or failed
      return;
    }
    c.in.resize(have + static_cast<std::size_t>(n));
    if (c.in.size() < c.need) continue;
    if (!c.have_header) {
      auto header = wire::ParseHeader(c.in);
      if (!header || (header->type & wire::kReplyBit)) {
        Close(c);
        return;
      }
      c.header = *header;
      c.have_header = true;
      c.need = wire::kHeaderSize + header->length;
      if (header->length > 0) continue;
    }
    auto request =
        wire::DecodeRequest(c.header.type, std::span<const std::uint8_t>(c.in).subspan(wire::kHeaderSize));
    if (!request) {
      Close(c);
      return;
    }
    c.in.clear();
    Perform(c, *request);
    return;
  }
}

void Listener::Perform(Connection& c, const wire::Request& request) {
  c.op = request.op;
  HWND target = request.hwnd ? wi::HandleFromValue(request.hwnd) : c.endpoint_hwnd;
  wire::Reply reply;
  std::optional<wi::LocalWindowInfo> info;
  switch (request.op) {
    case wire::Op::kFind: {
      HWND found = wi::FindLocalWindow(request.class_name, request.title);
      if (found) info = wi::DescribeLocalTopLevel(found);
      break;
    }
    case wire::Op::kPing:
      info = wi::DescribeLocalTopLevel(target);
      break;
    case wire::Op::kPost:
      reply.ok = wi::DescribeLocalTopLevel(target) && MayCross(request.msg, true) &&
                 wi::AcceptsFromOtherProcess(target, request.msg) &&
                 PostMessage(target, request.msg, static_cast<WPARAM>(request.wparam),
                             static_cast<LPARAM>(request.lparam));
      Reply(c, reply);
      return;
    case wire::Op::kSetForeground:
      reply.ok = wi::DescribeLocalTopLevel(target) && SetForegroundWindow(target);
      Reply(c, reply);
      return;
    case wire::Op::kSend: {
      if (!wi::DescribeLocalTopLevel(target) || !MayCross(request.msg, false) ||
          !wi::AcceptsFromOtherProcess(target, request.msg) ||
          request.has_copy != (request.msg == WM_COPYDATA)) {
        Reply(c, reply);
        return;
      }
      auto sent = std::make_shared<wi::SentRequest>();
      sent->hwnd = target;
      sent->msg = request.msg;
      sent->wparam = static_cast<WPARAM>(request.wparam);
      sent->lparam = static_cast<LPARAM>(request.lparam);
      if (request.has_copy) sent->SetCopyData(static_cast<std::uintptr_t>(request.copy_kind), request.copy_data);
      sent->waker = control_;
      if (!wi::DeliverSend(sent)) {
        Reply(c, reply);
        return;
      }
      // The owner thread answers later; the peer's time limit is its own.
      c.pending = std::move(sent);
      c.phase = Connection::Phase::kWaiting;
      return;
    }
  }
  if (info) {
    reply.ok = true;
    reply.hwnd = wi::HandleValue(info->hwnd);
    reply.class_name = Truncated(info->class_name);
    reply.title = Truncated(info->title);
  }
  Reply(c, reply);
}

void Listener::Reply(Connection& c, const wire::Reply& reply) {
  c.out = wire::EncodeReply(c.op, reply);
  c.out_done = 0;
  c.phase = Connection::Phase::kWriting;
  c.deadline = Clock::now() + kConnectionTimeout;
  OnWritable(c);
}

void Listener::OnWritable(Connection& c) {
  while (c.out_done < c.out.size()) {
    ssize_t n = ::send(c.fd, c.out.data() + c.out_done, c.out.size() - c.out_done, MSG_NOSIGNAL);
    if (n > 0) {
      c.out_done += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      return;
    } else {
      break;
    }
  }
  Close(c);
}

void Listener::Close(Connection& c) {
  if (c.phase == Connection::Phase::kClosed) return;
  if (c.pending) c.pending->TryAbandon();
  c.pending.reset();
  ::close(c.fd);
  c.fd = -1;
  c.phase = Connection::Phase::kClosed;
}

}  // namespace

std::string SocketPathFor(std::u16string_view class_name) {
  std::filesystem::path dir = folders::RuntimeDir();
  if (dir.empty()) return {};
  std::string lowered = Utf16ToUtf8(AsciiLower(class_name));
  std::string name = "dictalo-wnd-";
  for (unsigned char ch : lowered) {
    if ((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '-' || ch == '_' || ch == '.') {
      name += static_cast<char>(ch);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02x", ch);
      name += buf;
    }
  }
  std::string path = (dir / (name + ".sock")).string();
  if (path.size() < sizeof(sockaddr_un::sun_path)) return path;
  // FNV-1a: only needs to spread names; the class is checked on every find.
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char ch : lowered) hash = (hash ^ ch) * 0x100000001b3ULL;
  path = (dir / ("dictalo-wnd-" + Hex64(hash) + ".sock")).string();
  return path.size() < sizeof(sockaddr_un::sun_path) ? path : std::string();
}

std::uint64_t StartListening(HWND hwnd, std::u16string_view class_name) {
  std::u16string class_key = AsciiLower(class_name);
  if (Listener::Get().Serves(class_key)) return 0;
  std::string path = SocketPathFor(class_name);
  sockaddr_un addr;
  if (!FillAddress(path, &addr)) return 0;

  PathLock lock(path);
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) return 0;  // not ours to remove
    int fd = -1;
    switch (Connect(path, Clock::now() + 1s, &fd)) {
      case ConnectResult::kConnected:
        ::close(fd);
        return 0;  // a live process owns the name
      case ConnectResult::kStale:
        ::unlink(path.c_str());
        break;
      case ConnectResult::kFailed:
        return 0;
    }
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) {
    ::close(fd);
    return 0;
  }
  if (::chmod(path.c_str(), 0600) < 0 || ::listen(fd, kListenBacklog) < 0 || ::lstat(path.c_str(), &st) < 0) {
    ::unlink(path.c_str());
    ::close(fd);
    return 0;
  }
  Endpoint endpoint;
  endpoint.fd = fd;
  endpoint.hwnd = hwnd;
  endpoint.class_key = class_key;
  endpoint.path = path;
  endpoint.dev = st.st_dev;
  endpoint.ino = st.st_ino;
  return Listener::Get().Add(endpoint);
}

void StopListening(std::uint64_t token) { Listener::Get().Remove(token); }

void PrepareFork() { Listener::Get().LockForFork(); }
void ParentAfterFork() { Listener::Get().UnlockAfterFork(); }
void ChildAfterFork() { Listener::ReplaceInChild(); }

std::optional<FoundWindow> Find(std::u16string_view class_name, std::optional<std::u16string_view> title) {
  if (class_name.size() > wire::kMaxStringUnits || (title && title->size() > wire::kMaxStringUnits))
    return std::nullopt;
  std::string path = SocketPathFor(class_name);
  if (path.empty()) return std::nullopt;
  struct stat st;
  if (!IsSocketFile(path, &st)) return std::nullopt;

  wire::Request request;
  request.op = wire::Op::kFind;
  request.class_name = class_name;
  if (title) request.title = std::u16string(*title);
  Outcome outcome = Exchange(path, request, Clock::now() + kQuickTimeout);
  if (outcome.connect == ConnectResult::kStale) {
    RemoveStale(path);
    return std::nullopt;
  }
  // A hashed name may belong to another class: the reply must name ours.
  if (!outcome.reply || !outcome.reply->ok || !EqualsIgnoreAsciiCase(outcome.reply->class_name, class_name))
    return std::nullopt;
  return FoundWindow{path, outcome.reply->hwnd, outcome.reply->class_name, outcome.reply->title};
}

bool MayCross(UINT msg, bool is_post) {
  if (msg >= WM_USER) return true;
  switch (msg) {
    case WM_NULL:
    case WM_CLOSE:
    case WM_COMMAND:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
      return true;
    case WM_COPYDATA:
      return !is_post;
    default:
      return false;
  }
}

std::optional<LRESULT> Send(const std::string& socket_path, std::uint64_t remote_id, UINT msg, WPARAM wparam,
                            LPARAM lparam, Deadline deadline) {
  if (!MayCross(msg, false)) return std::nullopt;
  wire::Request request;
  request.op = wire::Op::kSend;
  request.hwnd = remote_id;
  request.msg = msg;
  request.wparam = wparam;
  request.lparam = static_cast<std::uint64_t>(lparam);
  if (msg == WM_COPYDATA) {
    const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
    request.has_copy = true;
    request.lparam = 0;
    if (cds) {
      if (cds->cbData > kMaxCopyDataBytes || (cds->cbData && !cds->lpData)) return std::nullopt;
      request.copy_kind = cds->dwData;
      const auto* bytes = static_cast<const std::uint8_t*>(cds->lpData);
      if (bytes) request.copy_data.assign(bytes, bytes + cds->cbData);
    }
  }
  Outcome outcome = Exchange(socket_path, request, deadline);
  if (!outcome.reply || !outcome.reply->ok) return std::nullopt;
  return static_cast<LRESULT>(outcome.reply->result);
}

bool Post(const std::string& socket_path, std::uint64_t remote_id, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (!MayCross(msg, true)) return false;
  wire::Request request;
  request.op = wire::Op::kPost;
  request.hwnd = remote_id;
  request.msg = msg;
  request.wparam = wparam;
  request.lparam = static_cast<std::uint64_t>(lparam);
  Outcome outcome = Exchange(socket_path, request, Clock::now() + kQuickTimeout);
  return outcome.reply && outcome.reply->ok;
}

bool SetForeground(const std::string& socket_path, std::uint64_t remote_id) {
  wire::Request request;
  request.op = wire::Op::kSetForeground;
  request.hwnd = remote_id;
  Outcome outcome = Exchange(socket_path, request, Clock::now() + kQuickTimeout);
  return outcome.reply && outcome.reply->ok;
}

bool Ping(const std::string& socket_path, std::uint64_t remote_id) {
  wire::Request request;
  request.op = wire::Op::kPing;
  request.hwnd = remote_id;
  Outcome outcome = Exchange(socket_path, request, Clock::now() + kQuickTimeout);
  return outcome.reply && outcome.reply->ok;
}

}  // namespace platform::window_remote
