// Runs the SOCKS client exchange against a proxy whose answers are the input.
// The first byte picks the SOCKS version, authentication and whether the
// target resolves; the rest is everything the proxy sends. The exchange may
// fail but must never read more than the proxy sent or send a value longer
// than its length byte allows, and success needs a complete, valid answer.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "protocols/socks.h"

namespace {

constexpr protocols::MailResult kProxyHungUp = 0x80C00012u;

class ScriptedProxy : public protocols::SocksChannel {
 public:
  ScriptedProxy(const std::uint8_t* data, std::size_t size, bool resolves)
      : data_(data), size_(size), resolves_(resolves) {}
  protocols::MailResult SendAll(std::span<const std::uint8_t> bytes) override {
    if (bytes.empty() || bytes.size() > 1024) std::abort();
    sent_ += bytes.size();
    return protocols::kMailOk;
  }
  protocols::MailResult ReadExact(std::span<std::uint8_t> bytes) override {
    if (bytes.size() > size_ - used_) return kProxyHungUp;
    std::memcpy(bytes.data(), data_ + used_, bytes.size());
    used_ += bytes.size();
    return protocols::kMailOk;
  }
  void Status(protocols::ConnectionStatus) override {}
  protocols::MailResult Resolve(const std::string&, std::uint32_t* address) override {
    *address = 0x0100007Fu;
    return resolves_ ? protocols::kMailOk : protocols::kSocketHostNotFound;
  }
  std::size_t used() const { return used_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  bool resolves_;
  std::size_t used_ = 0;
  std::size_t sent_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t choice = data[0];
  protocols::SocksSettings settings;
  settings.version = static_cast<protocols::SocksVersion>(1 + choice % 3);
  settings.use_authentication = (choice & 4) != 0;
  settings.user_id = std::string((choice >> 4) * 17, 'u');
  settings.password = "secret";
  ScriptedProxy proxy(data + 1, size - 1, (choice & 8) != 0);
  const protocols::MailResult r =
      protocols::RunSocksExchange(settings, (choice & 8) ? "127.0.0.1" : "mail.example.org", 25, proxy);
  if (proxy.used() > size - 1) std::abort();
  const std::uint32_t family = protocols::Family(r);
  if (r != protocols::kMailOk && family != 0xC1 && r != kProxyHungUp && r != protocols::kSocketHostNotFound) {
    std::abort();
  }
  // Success takes at least the shortest complete answer.
  if (r == protocols::kMailOk && proxy.used() < (settings.version == protocols::SocksVersion::kSocks5 ? 9u : 8u)) {
    std::abort();
  }
  return 0;
}
