#pragma once
// ByteTransport: the byte pipe under MailClient. The client keeps the policy
// (how long to wait, whether to go on waiting, what to report); a transport
// only moves bytes and says whether they can move. None of its calls blocks
// except Wait, and Wait never beyond the time it is given, so a client with
// a time-out of N seconds is never stuck longer than that in one wait.
//
// SocketTransport (socket_transport.h) is the real TCP connection; tests put
// a scripted server in its place (protocols/testing/).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "protocols/mail_result.h"

namespace protocols {

// Returned by ByteTransport::Open while the connection is still being made.
inline constexpr MailResult kTransportOpening = 0x80C000FEu;  // internal, never returned by the client

class ByteTransport {
 public:
  enum class Readiness { kReadable, kWritable };

  virtual ~ByteTransport() = default;

  // Starts a TCP connection to an IPv4 address and port (both in network
  // order), from `bind_address` when it is not null. kMailOk when it is up
  // at once, kTransportOpening while it is still being made (then Wait for
  // kWritable and ask FinishOpen), else the error. A transport that was open
  // is closed first.
  [[nodiscard]] virtual MailResult Open(std::uint32_t address, std::uint16_t port,
                                        const std::uint32_t* bind_address) = 0;
  // The outcome of a connection that Open left being made.
  [[nodiscard]] virtual MailResult FinishOpen() = 0;
  // Waits at most `timeout_ms` for the transport to become readable or
  // writable: kMailOk, kSocketTimedOut when the time ran out, or an error.
  // A peer that hung up counts as readable.
  [[nodiscard]] virtual MailResult Wait(Readiness what, int timeout_ms) = 0;
  // What has arrived, without waiting: *count 0 when nothing has;
  // kSocketClosedByPeer once the peer has closed.
  [[nodiscard]] virtual MailResult Receive(std::span<std::uint8_t> buffer, std::size_t* count) = 0;
  // As much as fits without waiting; *sent may be 0.
  [[nodiscard]] virtual MailResult Send(std::span<const std::uint8_t> bytes, std::size_t* sent) = 0;
  // Ends the sending direction (the peer reads an end of stream), or both.
  virtual void Shutdown(bool sending_only) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Dotted form of the local address, or "(unknown)".
  virtual std::string LocalAddress() const = 0;
  // The name a reverse look-up gives for the local address, or "localhost".
  virtual std::string LocalHostName() const = 0;
};

}  // namespace protocols
