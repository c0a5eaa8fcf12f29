#pragma once
// The SOCKS 4, 4A and 5 client exchange run over a TCP connection that is
// already open to the proxy. It owns no socket: it moves bytes through a
// SocksChannel (MailClient in the program, a byte script in the fuzzer).
//
// Length limits: a user id / user name, a password and a host name that go
// to the proxy are each at most 255 bytes (SOCKS 5 sends them with a
// one-byte length); CheckSocksLimits refuses longer values with
// kSocksValueTooLong, and RunSocksExchange checks them before it sends
// anything. A SOCKS 4 request always fits its 1024-byte buffer then.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "protocols/connection_status.h"
#include "protocols/mail_result.h"

namespace protocols {

enum class SocksVersion : int { kNone = 0, kSocks4 = 1, kSocks4A = 2, kSocks5 = 3 };

struct SocksSettings {
  SocksVersion version = SocksVersion::kNone;
  std::string proxy_host;
  std::uint16_t proxy_port = 1080;
  bool use_authentication = false;
  std::string user_id;  // also the SOCKS 5 user name
  std::string password;
};

inline constexpr std::size_t kSocksMaxValueLength = 255;
inline constexpr std::size_t kSocks4RequestBufferSize = 1024;

// What the exchange needs from the connection.
class SocksChannel {
 public:
  virtual ~SocksChannel() = default;
  [[nodiscard]] virtual MailResult SendAll(std::span<const std::uint8_t> bytes) = 0;
  [[nodiscard]] virtual MailResult ReadExact(std::span<std::uint8_t> bytes) = 0;
  virtual void Status(ConnectionStatus status) = 0;
  // The host's IPv4 address in network byte order, or the look-up error.
  [[nodiscard]] virtual MailResult Resolve(const std::string& host, std::uint32_t* address) = 0;
};

// 0, kSocksValueTooLong when a value the settings would send is too long,
// kSocksValueHasNul for a host name (or SOCKS 4 user id) with a NUL inside.
[[nodiscard]] MailResult CheckSocksLimits(const SocksSettings& settings, const std::string& host);

// Asks the proxy for a connection to host:port. Returns 0 or: a look-up error
// (SOCKS 4 only), a channel error, kSocksValueTooLong, kSocksBadVersion,
// kSocksNoAcceptableMethod, kSocksAuthenticationRefused, 0x80C10001-0x80C10008
// (the proxy's refusal), kSocksUnknownReply.
[[nodiscard]] MailResult RunSocksExchange(const SocksSettings& settings, const std::string& host, std::uint16_t port,
                                          SocksChannel& channel);

// The pieces, for tests and the fuzzer.
// SOCKS 4 (and 4A when `name` is not empty: address 0.0.0.1 and the name).
std::vector<std::uint8_t> BuildSocks4Request(std::uint32_t address, std::uint16_t port, const std::string& user_id,
                                             const std::string& name);
[[nodiscard]] MailResult ParseSocks4Reply(std::span<const std::uint8_t, 8> reply);
// SOCKS 5 connect request; an empty `name` sends the address (type 1), else
// the name (type 3).
std::vector<std::uint8_t> BuildSocks5Request(std::uint32_t address, std::uint16_t port, const std::string& name);
// The 4-byte reply header: 0 and the number of address bytes still to read
// (for type 3 that is the length byte alone; Socks5NameTailLength gives the rest).
[[nodiscard]] MailResult ParseSocks5ReplyHeader(std::span<const std::uint8_t, 4> header, std::size_t* address_bytes);
inline std::size_t Socks5NameTailLength(std::uint8_t length_byte) { return std::size_t{length_byte} + 2; }

}  // namespace protocols
