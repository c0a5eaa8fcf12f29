#include "protocols/socks.h"

#include <array>
#include <cstring>

namespace protocols {
namespace {

// Addresses are kept as in_addr holds them: network order in memory.
void PutAddress(std::vector<std::uint8_t>* out, std::uint32_t address) {
  std::uint8_t bytes[4];
  std::memcpy(bytes, &address, 4);
  out->insert(out->end(), bytes, bytes + 4);
}

void PutPort(std::vector<std::uint8_t>* out, std::uint16_t port) {
  out->push_back(static_cast<std::uint8_t>(port >> 8));
  out->push_back(static_cast<std::uint8_t>(port & 0xFF));
}

MailResult Socks4(const SocksSettings& settings, const std::string& host, std::uint16_t port, SocksChannel& channel) {
  channel.Status(ConnectionStatus::kResolving);
  std::uint32_t address = 0;
  std::string name;
  const MailResult resolved = channel.Resolve(host, &address);
  if (Failed(resolved)) {
    if (settings.version != SocksVersion::kSocks4A) return resolved;
    // The proxy resolves the name itself.
    const std::uint8_t marker[4] = {0, 0, 0, 1};  // 0.0.0.1
    std::memcpy(&address, marker, 4);
    name = host;
  }
  channel.Status(ConnectionStatus::kConnecting);
  const auto request = BuildSocks4Request(address, port, settings.user_id, name);
  if (MailResult r = channel.SendAll(request); Failed(r)) return r;
  std::array<std::uint8_t, 8> reply{};
  if (MailResult r = channel.ReadExact(reply); Failed(r)) return r;
  return ParseSocks4Reply(reply);
}

MailResult Socks5(const SocksSettings& settings, const std::string& host, std::uint16_t port, SocksChannel& channel) {
  const bool with_auth = settings.use_authentication;
  std::vector<std::uint8_t> greeting = with_auth ? std::vector<std::uint8_t>{5, 2, 0, 2}
                                                 : std::vector<std::uint8_t>{5, 1, 0};
  if (MailResult r = channel.SendAll(greeting); Failed(r)) return r;
  std::array<std::uint8_t, 2> choice{};
  if (MailResult r = channel.ReadExact(choice); Failed(r)) return r;
  if (choice[0] != 5) return kSocksBadVersion;
  const std::uint8_t method = choice[1];
  // A method that was not offered cannot be followed either.
  if (method == 255 || (method != 0 && !(with_auth && method == 2))) return kSocksNoAcceptableMethod;
  if (method == 2) {
    std::vector<std::uint8_t> login;
    login.push_back(1);
    login.push_back(static_cast<std::uint8_t>(settings.user_id.size()));
    login.insert(login.end(), settings.user_id.begin(), settings.user_id.end());
    login.push_back(static_cast<std::uint8_t>(settings.password.size()));
    login.insert(login.end(), settings.password.begin(), settings.password.end());
    if (MailResult r = channel.SendAll(login); Failed(r)) return r;
    std::array<std::uint8_t, 2> verdict{};
    if (MailResult r = channel.ReadExact(verdict); Failed(r)) return r;
    if (verdict[0] != 1) return kSocksBadVersion;
    if (verdict[1] != 0) return kSocksAuthenticationRefused;
  }
  channel.Status(ConnectionStatus::kResolving);
  std::uint32_t address = 0;
  const bool resolved = !Failed(channel.Resolve(host, &address));
  channel.Status(ConnectionStatus::kConnecting);
  const auto request = BuildSocks5Request(address, port, resolved ? std::string() : host);
  if (MailResult r = channel.SendAll(request); Failed(r)) return r;
  std::array<std::uint8_t, 4> header{};
  if (MailResult r = channel.ReadExact(header); Failed(r)) return r;
  std::size_t more = 0;
  if (MailResult r = ParseSocks5ReplyHeader(header, &more); Failed(r)) return r;
  // The bound address is of no use to us, but it must leave the stream.
  std::array<std::uint8_t, 257> discard{};
  if (MailResult r = channel.ReadExact(std::span(discard.data(), more)); Failed(r)) return r;
  if (header[3] == 3) {
    if (MailResult r = channel.ReadExact(std::span(discard.data(), Socks5NameTailLength(discard[0]))); Failed(r)) {
      return r;
    }
  }
  channel.Status(ConnectionStatus::kConnected);
  return kMailOk;
}

}  // namespace

MailResult CheckSocksLimits(const SocksSettings& settings, const std::string& host) {
  if (settings.version == SocksVersion::kNone) return kMailOk;
  // SOCKS 4 ends its user id and host name with a NUL, and a proxy may read
  // a SOCKS 5 name as C text: a NUL inside would cut the name short or turn
  // the end of a user id into the host to connect to.
  const bool nul_ended_user = settings.version != SocksVersion::kSocks5;
  if (host.find('\0') != std::string::npos ||
      (nul_ended_user && settings.user_id.find('\0') != std::string::npos)) {
    return kSocksValueHasNul;
  }
  if (host.size() > kSocksMaxValueLength || settings.user_id.size() > kSocksMaxValueLength ||
      settings.password.size() > kSocksMaxValueLength) {
    return kSocksValueTooLong;
  }
  return kMailOk;
}

std::vector<std::uint8_t> BuildSocks4Request(std::uint32_t address, std::uint16_t port, const std::string& user_id,
                                             const std::string& name) {
  std::vector<std::uint8_t> request;
  request.reserve(9 + user_id.size() + name.size() + 1);
  request.push_back(4);
  request.push_back(1);
  PutPort(&request, port);
  PutAddress(&request, address);
  request.insert(request.end(), user_id.begin(), user_id.end());
  request.push_back(0);
  if (!name.empty()) {
    request.insert(request.end(), name.begin(), name.end());
    request.push_back(0);
  }
  return request;
}

MailResult ParseSocks4Reply(std::span<const std::uint8_t, 8> reply) {
  if (reply[0] != 0 && reply[0] != 4) return kSocksBadVersion;
  switch (reply[1]) {
    case 90: return kMailOk;
    case 91: return kSocksRequestRefused;
    case 92: return kSocksNoIdentd;
    case 93: return kSocksAuthenticationRefused;
    default: return kSocksUnknownReply;
  }
}

std::vector<std::uint8_t> BuildSocks5Request(std::uint32_t address, std::uint16_t port, const std::string& name) {
  std::vector<std::uint8_t> request = {5, 1, 0};
  if (name.empty()) {
    request.push_back(1);
    PutAddress(&request, address);
  } else {
    request.push_back(3);
    request.push_back(static_cast<std::uint8_t>(name.size()));
    request.insert(request.end(), name.begin(), name.end());
  }
  PutPort(&request, port);
  return request;
}

MailResult ParseSocks5ReplyHeader(std::span<const std::uint8_t, 4> header, std::size_t* address_bytes) {
  *address_bytes = 0;
  if (header[0] != 5) return kSocksBadVersion;
  if (header[1] != 0) return header[1] <= 8 ? kSocksFamily + header[1] : kSocksUnknownReply;
  switch (header[3]) {
    case 1: *address_bytes = 6; return kMailOk;
    case 3: *address_bytes = 1; return kMailOk;
    case 4: *address_bytes = 18; return kMailOk;
    // Without a known type the length of the rest is unknown, and whatever
    // follows would be taken for the server's first line.
    default: return kSocksUnknownReply;
  }
}

MailResult RunSocksExchange(const SocksSettings& settings, const std::string& host, std::uint16_t port,
                            SocksChannel& channel) {
  if (MailResult r = CheckSocksLimits(settings, host); Failed(r)) return r;
  switch (settings.version) {
    case SocksVersion::kNone: return kMailOk;
    case SocksVersion::kSocks4:
    case SocksVersion::kSocks4A: return Socks4(settings, host, port, channel);
    case SocksVersion::kSocks5: return Socks5(settings, host, port, channel);
  }
  return kMailOk;
}

}  // namespace protocols
