#include "protocols/mail_client.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "protocols/command_text.h"
#include "protocols/socket_errors.h"
#include "protocols/socket_layer.h"
#include "protocols/socket_transport.h"

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

MailClient::MailClient()
    : transport_(std::make_unique<SocketTransport>()),
      engine_(security::TlsEngine::Create(&security::TlsBufferSet::ProcessWide())) {}

void MailClient::UseTransport(std::unique_ptr<ByteTransport> transport) {
  Close();
  transport_ = transport ? std::move(transport) : std::make_unique<SocketTransport>();
}

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
  // The resolver reads C text: "evil.example\0.good.example" would be
  // looked up as evil.example.
  if (host.find('\0') != std::string::npos) return kSocketHostNotFound;
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
  auto fail = [this](MailResult r) {
    Close();
    CloseSocketOnly();
    return r;
  };
  std::uint32_t bind_address = 0;
  if (!bind_address_.empty()) {
    if (MailResult r = Resolve(bind_address_, &bind_address); Failed(r)) return fail(r);
  }
  const bool proxied = socks_.version != SocksVersion::kNone;
  OnStatus(ConnectionStatus::kResolving);
  std::uint32_t target = 0;
  if (MailResult r = Resolve(proxied ? socks_.proxy_host : host, &target); Failed(r)) return fail(r);
  OnStatus(ConnectionStatus::kConnecting);
  MailResult opened = transport_->Open(target, htons(proxied ? socks_.proxy_port : port),
                                       bind_address_.empty() ? nullptr : &bind_address);
  if (opened == kTransportOpening) {
    // The connection is made under the client's own time-out, not the kernel's.
    opened = WaitFor(ByteTransport::Readiness::kWritable, /*report=*/false);
    if (!Failed(opened)) opened = transport_->FinishOpen();
  }
  if (Failed(opened)) return fail(opened);
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
  transport_->Close();
  connected_ = false;
}

void MailClient::Close() {
  if (transport_->IsOpen() && connected_) {
    OnStatus(ConnectionStatus::kDisconnecting);
    EndTlsSession();
    if (graceful_close_) {
      transport_->Shutdown(/*sending_only=*/true);
      // Drain until the peer closes; an error or a wait that runs out ends it.
      std::uint8_t discard[kDrainChunk];
      for (;;) {
        if (Failed(transport_->Wait(ByteTransport::Readiness::kReadable, TimeoutMs()))) break;
        std::size_t n = 0;
        if (Failed(transport_->Receive(discard, &n))) break;
      }
    }
    transport_->Shutdown(/*sending_only=*/false);
    OnStatus(ConnectionStatus::kDisconnected);
  }
  CloseSocketOnly();
  ReleaseBuffer();
  tls_active_ = false;
  // TLS switched on by STARTTLS/STLS belonged to that connection alone; the
  // next one starts in clear again, as the account asks.
  if (upgraded_) {
    plain_ = true;
    upgraded_ = false;
  }
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

MailResult MailClient::WaitFor(ByteTransport::Readiness what, bool report) {
  if (report) OnStatus(ConnectionStatus::kWaiting);
  for (;;) {
    const MailResult r = transport_->Wait(what, TimeoutMs());
    if (r != kSocketTimedOut) return r;
    if (!KeepWaiting()) return kSocketTimedOut;
  }
}

MailResult MailClient::RawReceive(std::span<std::uint8_t> buffer, std::size_t* count) {
  *count = 0;
  if (!transport_->IsOpen() || !connected_) return kSocketNotConnected;
  if (buffer.empty()) return kMailOk;
  for (;;) {
    if (MailResult r = WaitFor(ByteTransport::Readiness::kReadable); Failed(r)) return r;
    OnStatus(ConnectionStatus::kReceiving);
    const MailResult r = transport_->Receive(buffer.first(std::min(buffer.size(), kReceiveChunk)), count);
    if (r == kSocketClosedByPeer) {
      Close();
      return kSocketClosedByPeer;
    }
    if (Failed(r)) return r;
    OnStatus(ConnectionStatus::kConnected);
    if (*count > 0) return kMailOk;
  }
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
    // Without a maximum of its own the reader still stops at kLineLimit, so a
    // server that never ends its line cannot make the buffer grow for ever.
    const std::size_t limit = max_line_length_ != 0 ? max_line_length_ : kLineLimit;
    if (pending > limit) return kSocketLineTooLong;
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
  if (!transport_->IsOpen() || !connected_) return kSocketNotConnected;
  if (MailResult r = WaitFor(ByteTransport::Readiness::kWritable); Failed(r)) return r;
  OnStatus(ConnectionStatus::kSending);
  // Never blocks: what does not fit now waits for the next writable wait,
  // which is bounded by the time-out.
  if (MailResult r = transport_->Send(bytes, sent); Failed(r)) return r;
  OnStatus(ConnectionStatus::kConnected);
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
  // The last guard against a value that would end the line early: refused
  // whole, so no part of it reaches the peer.
  if (HasLineBreakOrNul(text)) return kSocketUnsafeLine;
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text);
  line.append("\r\n");
  return SendAll(Bytes(line));
}

std::string MailClient::LocalAddress() const { return transport_->LocalAddress(); }

std::string MailClient::LocalHostName() const { return transport_->LocalHostName(); }

}  // namespace protocols
