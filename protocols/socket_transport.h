#pragma once
// SocketTransport: a non-blocking IPv4 TCP socket, the transport a MailClient
// uses unless it is given another (byte_transport.h).

#include "protocols/byte_transport.h"

namespace protocols {

class SocketTransport final : public ByteTransport {
 public:
  SocketTransport() = default;
  ~SocketTransport() override;
  SocketTransport(const SocketTransport&) = delete;
  SocketTransport& operator=(const SocketTransport&) = delete;

  [[nodiscard]] MailResult Open(std::uint32_t address, std::uint16_t port, const std::uint32_t* bind_address) override;
  [[nodiscard]] MailResult FinishOpen() override;
  [[nodiscard]] MailResult Wait(Readiness what, int timeout_ms) override;
  [[nodiscard]] MailResult Receive(std::span<std::uint8_t> buffer, std::size_t* count) override;
  [[nodiscard]] MailResult Send(std::span<const std::uint8_t> bytes, std::size_t* sent) override;
  void Shutdown(bool sending_only) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  std::string LocalAddress() const override;
  std::string LocalHostName() const override;

 private:
  int fd_ = -1;
};

}  // namespace protocols
