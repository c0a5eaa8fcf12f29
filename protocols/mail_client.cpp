#include "protocols/mail_client.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "protocols/socket_errors.h"
#include "protocols/socket_layer.h"

namespace protocols {
namespace {

std::mutex g_activity_mutex;
std::function<void()> g_activity_hook;

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

void SetActivityHook(std::function<void()> hook) {
  std::lock_guard lock(g_activity_mutex);
  g_activity_hook = std::move(hook);
}

// SOCKS runs over the client's own SendAll and ReadExact.
class MailClient::ProxyChannel : public SocksChannel {
 public:
  explicit ProxyChannel(MailClient& client) : client_(client) {}
  MailResult SendAll(std::span<const std::uint8_t> bytes) override { return client_.SendAll(bytes); }
  MailResult ReadExact(std::span<std::uint8_t> bytes) override { return client_.ReadExact(bytes); }
  void Status(ConnectionStatus status) override { client_.OnStatus(status); }
  MailResult Resolve(const std::string& host, std::uint32_t* address) override {
    return client_.Resolve(host, address);
  }

 private:
  MailClient& client_;
};

MailClient::MailClient() : engine_(security::TlsEngine::Create(&security::TlsBufferSet::ProcessWide())) {}

MailClient::~MailClient() { Close(); }

void MailClient::OnStatus(ConnectionStatus status) {
  {
    std::function<void()> hook;
    {
      std::lock_guard lock(g_activity_mutex);
      hook = g_activity_hook;
    }
    if (hook) hook();
  }
  if (status_callback_) status_callback_(status);
}

bool MailClient::KeepWaiting() { return false; }

void MailClient::SetStrongCiphersOnly(bool on) {
  strong_only_ = on;
  engine_->ApplyStrongOnlyFilter(on);
}

MailResult MailClient::Resolve(const std::string& host, std::uint32_t* address) {
  in_addr dotted{};
  // A dotted address is used as it is, never looked up by name.
  if (inet_aton(host.c_str(), &dotted) != 0) {
    *address = dotted.s_addr;
    return kMailOk;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  errno = 0;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0 || found == nullptr) {
    const int saved_errno = errno;
    if (found != nullptr) freeaddrinfo(found);
    const MailResult r = MailResultFromWinsock(WinsockErrorFromResolver(rc != 0 ? rc : EAI_NONAME, saved_errno));
    return Failed(r) ? r : kSocketHostNotFound;
  }
  *address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return kMailOk;
}

MailResult MailClient::Connect(const std::string& host, std::uint16_t port) {
  if (connected_) return kMailOk;
  if (!IsSocketLayerStarted()) return kSocketLayerNotStarted;
  // Values too long for the proxy are refused before anything goes out.
  if (MailResult r = CheckSocksLimits(socks_, host); Failed(r)) return r;
  CloseSocketOnly();
  socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (socket_ < 0) return MailResultFromErrno(errno);
  auto fail = [this](MailResult r) {
    Close();
    CloseSocketOnly();
    return r;
  };
  if (!bind_address_.empty()) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (MailResult r = Resolve(bind_address_, &local.sin_addr.s_addr); Failed(r)) return fail(r);
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
      return fail(MailResultFromErrno(errno));
    }
  }
  const bool proxied = socks_.version != SocksVersion::kNone;
  OnStatus(ConnectionStatus::kResolving);
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(proxied ? socks_.proxy_port : port);
  if (MailResult r = Resolve(proxied ? socks_.proxy_host : host, &target.sin_addr.s_addr); Failed(r)) return fail(r);
  OnStatus(ConnectionStatus::kConnecting);
  int rc;
  do {
    rc = ::connect(socket_, reinterpret_cast<const sockaddr*>(&target), sizeof(target));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return fail(MailResultFromErrno(errno));
  OnStatus(ConnectionStatus::kConnected);
  connected_ = true;
  ReleaseBuffer();
  // The certificate check compares against the host we asked for, so it is
  // known before an implicit handshake.
  host_ = host;
  if (proxied) {
    ProxyChannel channel(*this);
    if (MailResult r = RunSocksExchange(socks_, host, port, channel); Failed(r)) return fail(r);
  }
  if (!plain_) {
    if (MailResult r = Handshake(); Failed(r)) return fail(r);
  }
  return kMailOk;
}

void MailClient::CloseSocketOnly() {
  if (socket_ >= 0) {
    ::close(socket_);
    socket_ = -1;
  }
  connected_ = false;
}

void MailClient::Close() {
  if (socket_ >= 0 && connected_) {
    OnStatus(ConnectionStatus::kDisconnecting);
    EndTlsSession();
    if (graceful_close_) {
      ::shutdown(socket_, SHUT_WR);
      // Drain until the peer closes; an error or a wait that runs out ends it.
      std::uint8_t discard[kDrainChunk];
      for (;;) {
        pollfd p{socket_, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(timeout_seconds_) * 1000);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t n = ::recv(socket_, discard, sizeof(discard), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
      }
      ::shutdown(socket_, SHUT_RD);
    } else {
      ::shutdown(socket_, SHUT_RDWR);
    }
    OnStatus(ConnectionStatus::kDisconnected);
  }
  CloseSocketOnly();
  ReleaseBuffer();
  tls_active_ = false;
}

void MailClient::CompactBuffer() {
  if (read_pos_ == 0) return;
  buffer_.erase(0, read_pos_);
  scan_pos_ -= std::min(scan_pos_, read_pos_);
  read_pos_ = 0;
}

void MailClient::ReleaseBuffer() {
  buffer_.clear();
  if (buffer_.capacity() > 65536) buffer_.shrink_to_fit();
  read_pos_ = 0;
  scan_pos_ = 0;
}

MailResult MailClient::WaitFor(short events) {
  OnStatus(ConnectionStatus::kWaiting);
  for (;;) {
    pollfd p{socket_, events, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(timeout_seconds_) * 1000);
    if (ready > 0) return kMailOk;
    if (ready < 0) {
      if (errno == EINTR) continue;
      return MailResultFromErrno(errno);
    }
    if (!KeepWaiting()) return kSocketTimedOut;
  }
}

MailResult MailClient::RawReceive(std::span<std::uint8_t> buffer, std::size_t* count) {
  *count = 0;
  if (socket_ < 0 || !connected_) return kSocketNotConnected;
  if (buffer.empty()) return kMailOk;
  if (MailResult r = WaitFor(POLLIN); Failed(r)) return r;
  OnStatus(ConnectionStatus::kReceiving);
  ssize_t n;
  do {
    n = ::recv(socket_, buffer.data(), std::min(buffer.size(), kReceiveChunk), 0);
  } while (n < 0 && errno == EINTR);
  if (n == 0) {
    Close();
    return kSocketClosedByPeer;
  }
  if (n < 0) return MailResultFromErrno(errno);
  OnStatus(ConnectionStatus::kConnected);
  *count = static_cast<std::size_t>(n);
  return kMailOk;
}

MailResult MailClient::Fill() {
  if (tls_active_ && !in_engine_) return FillFromEngine();
  CompactBuffer();
  std::uint8_t chunk[kReceiveChunk];
  std::size_t count = 0;
  if (MailResult r = RawReceive(chunk, &count); Failed(r)) return r;
  buffer_.append(reinterpret_cast<const char*>(chunk), count);
  return kMailOk;
}

MailResult MailClient::ReadSome(std::span<std::uint8_t> buffer, std::size_t* count) {
  *count = 0;
  if (buffer.empty()) return kMailOk;
  if (read_pos_ == buffer_.size()) {
    if (MailResult r = Fill(); Failed(r)) return r;
  }
  const std::size_t n = std::min(buffer.size(), buffer_.size() - read_pos_);
  std::memcpy(buffer.data(), buffer_.data() + read_pos_, n);
  read_pos_ += n;
  scan_pos_ = std::max(scan_pos_, read_pos_);
  if (read_pos_ == buffer_.size()) ReleaseBuffer();
  *count = n;
  return kMailOk;
}

MailResult MailClient::ReadExact(std::span<std::uint8_t> buffer) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    std::size_t n = 0;
    if (MailResult r = ReadSome(buffer.subspan(done), &n); Failed(r)) return r;
    done += n;
  }
  return kMailOk;
}

MailResult MailClient::ReadLine(std::string* line) {
  line->clear();
  for (;;) {
    // A CR ends a line only when an LF follows it.
    std::size_t at = std::max(scan_pos_, read_pos_);
    for (;;) {
      at = buffer_.find('\r', at);
      if (at == std::string::npos || at + 1 >= buffer_.size()) break;
      if (buffer_[at + 1] == '\n') {
        line->assign(buffer_, read_pos_, at - read_pos_);
        read_pos_ = at + 2;
        scan_pos_ = read_pos_;
        if (read_pos_ == buffer_.size()) ReleaseBuffer();
        return kMailOk;
      }
      ++at;
    }
    // Everything but a final CR has been searched.
    scan_pos_ = buffer_.empty() ? 0 : buffer_.size() - (buffer_.back() == '\r' ? 1 : 0);
    scan_pos_ = std::max(scan_pos_, read_pos_);
    const std::size_t pending = scan_pos_ - read_pos_;
    if (max_line_length_ != 0 && pending > max_line_length_) return kSocketLineTooLong;
    if (MailResult r = Fill(); Failed(r)) return r;
  }
}

MailResult MailClient::SendSome(std::span<const std::uint8_t> bytes, std::size_t* sent) {
  *sent = 0;
  if (bytes.empty()) return kSocketZeroLengthSend;
  if (tls_active_ && !in_engine_) {
    if (!engine_->IsEstablished() || !connected_) return kSocketNotConnected;
    bool written = false;
    {
      ++engine_depth_;
      try {
        written = engine_->Write(bytes.data(), bytes.size());
      } catch (const security::TlsException&) {
        written = false;
      }
      --engine_depth_;
    }
    AfterEngineCall();
    if (!written || tls_error_) {
      return last_tls_code_ != kMailOk ? last_tls_code_ : security::kTlsSessionEnded;
    }
    *sent = bytes.size();
    return kMailOk;
  }
  if (socket_ < 0 || !connected_) return kSocketNotConnected;
  if (MailResult r = WaitFor(POLLOUT); Failed(r)) return r;
  OnStatus(ConnectionStatus::kSending);
  ssize_t n;
  do {
    n = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    if (errno == EAGAIN) return kMailOk;  // nothing moved this time; the caller loops
    return MailResultFromErrno(errno);
  }
  OnStatus(ConnectionStatus::kConnected);
  *sent = static_cast<std::size_t>(n);
  return kMailOk;
}

MailResult MailClient::SendAll(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return kSocketZeroLengthSend;
  std::size_t done = 0;
  while (done < bytes.size()) {
    std::size_t n = 0;
    if (MailResult r = SendSome(bytes.subspan(done), &n); Failed(r)) return r;
    done += n;
  }
  return kMailOk;
}

MailResult MailClient::SendLine(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text);
  line.append("\r\n");
  return SendAll(Bytes(line));
}

std::string MailClient::LocalAddress() const {
  sockaddr_in local{};
  socklen_t length = sizeof(local);
  if (socket_ < 0 || ::getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
      local.sin_family != AF_INET) {
    return "(unknown)";
  }
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &local.sin_addr, text, sizeof(text)) == nullptr) return "(unknown)";
  return text;
}

std::string MailClient::LocalHostName() const {
  sockaddr_in local{};
  socklen_t length = sizeof(local);
  if (socket_ < 0 || ::getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return "localhost";
  char name[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&local), length, name, sizeof(name), nullptr, 0, NI_NAMEREQD) !=
      0) {
    return "localhost";
  }
  return name;
}

}  // namespace protocols
