#pragma once
// Test support: a server that replies from a script, for the faults real
// servers do not produce on demand (a reply cut between CR and LF, a proxy
// answer with a 20-byte name, a third "334"). ScriptedServerFake<Client>
// derives from a client class and replaces the two socket calls under it:
// RawReceive hands out the scripted pieces exactly as queued (one piece, or
// the part that fits, per call), SendSome records what the client sent.
// Connect still opens a real TCP connection, to a LoopbackListener that never
// answers, so the client's own connect, SOCKS and close paths run unchanged.
// When the script runs out the server behaves as if it hung up.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocols/mail_client.h"

namespace protocols::testing {

// A listening socket on 127.0.0.1 with a port of the kernel's choice; the
// kernel completes connections to it, nobody reads them.
class LoopbackListener {
 public:
  LoopbackListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, 16) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      port_ = 0;
      return;
    }
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackListener() {
    if (fd_ >= 0) ::close(fd_);
  }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;
  std::uint16_t port() const { return port_; }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

template <typename Client>
class ScriptedServerFake : public Client {
 public:
  // Queues bytes the server sends as one piece.
  void ServerSends(std::string_view piece) {
    if (!piece.empty()) pieces_.emplace_back(piece);
  }
  // Queues bytes cut into pieces at the given ascending offsets.
  void ServerSendsCut(std::string_view bytes, const std::vector<std::size_t>& cuts) {
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
      ServerSends(bytes.substr(from, cut - from));
      from = cut;
    }
    ServerSends(bytes.substr(from));
  }
  // Queues bytes one byte per piece.
  void ServerSendsBytewise(std::string_view bytes) {
    for (char c : bytes) ServerSends(std::string_view(&c, 1));
  }
  const std::string& client_sent() const { return sent_; }
  void ClearSent() { sent_.clear(); }
  bool script_finished() const { return pieces_.empty(); }

  MailResult RawReceive(std::span<std::uint8_t> buffer, std::size_t* count) override {
    *count = 0;
    if (!this->connected()) return kSocketNotConnected;
    if (pieces_.empty()) {
      this->Close();
      return kSocketClosedByPeer;
    }
    std::string& front = pieces_.front();
    const std::size_t n = std::min({front.size(), buffer.size(), MailClient::kReceiveChunk});
    std::memcpy(buffer.data(), front.data(), n);
    front.erase(0, n);
    if (front.empty()) pieces_.pop_front();
    *count = n;
    return kMailOk;
  }

  MailResult SendSome(std::span<const std::uint8_t> bytes, std::size_t* sent) override {
    *sent = 0;
    if (bytes.empty()) return kSocketZeroLengthSend;
    if (!this->connected()) return kSocketNotConnected;
    sent_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    *sent = bytes.size();
    return kMailOk;
  }

 private:
  std::deque<std::string> pieces_;
  std::string sent_;
};

}  // namespace protocols::testing
