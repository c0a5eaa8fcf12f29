#include "settings/stored_password_cipher.h"

#include <sys/random.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <stdexcept>

#include "security/crypto/md5.h"
#include "security/crypto/rc4.h"
#include "platform/text.h"
#include "security/crypto/sha1.h"

namespace settings {
namespace {

static_assert(StoredPasswordCipher::kServiceName.size() == 18);


void FillRandom(std::uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::getrandom(out + done, size - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (done < size) {
    std::random_device device;
    for (; done < size; ++done) out[done] = static_cast<std::uint8_t>(device());
  }
}

void XorIn(std::uint8_t* out, std::uint64_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) out[i] ^= static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

StoredPasswordCipher::StoredPasswordCipher(std::string_view host, std::int32_t port)
    : StoredPasswordCipher(host, port, platform::Utf16ToLeBytes(kServiceName)) {}

StoredPasswordCipher::StoredPasswordCipher(std::string_view host, std::int32_t port,
                                           std::span<const std::uint8_t> tail_source) {
  security::Md5 md5;
  md5.Update(host.data(), host.size());
  const auto p = static_cast<std::uint32_t>(port);
  const std::uint8_t port_le[4] = {static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(p >> 8),
                                   static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 24)};
  md5.Update(port_le, sizeof port_le);
  const security::Md5::Digest head = md5.Final();
  const security::Sha1::Digest tail = security::Sha1::Hash(tail_source);
  std::copy(head.begin(), head.end(), key_.begin());
  std::copy(tail.begin() + 16, tail.end(), key_.begin() + 16);
}

std::vector<std::uint8_t> StoredPasswordCipher::Encipher(std::string_view password) const {
  return Encipher(password, NewSalt());
}

std::vector<std::uint8_t> StoredPasswordCipher::Encipher(std::string_view password, std::string_view salt) const {
  if (salt.size() != kSaltLength) throw std::invalid_argument("password salt must be 38 characters");
  std::vector<std::uint8_t> data(salt.size() + password.size());
  std::copy(password.begin(), password.end(), std::copy(salt.begin(), salt.end(), data.begin()));
  security::Rc4 rc4(key_);
  rc4.Crypt(data);
  return data;
}

std::string StoredPasswordCipher::Decipher(std::span<const std::uint8_t> stored) const {
  if (stored.size() <= kSaltLength) return {};
  std::vector<std::uint8_t> data(stored.begin(), stored.end());
  security::Rc4 rc4(key_);
  rc4.Crypt(data);
  return std::string(data.begin() + kSaltLength, data.end());
}

std::string StoredPasswordCipher::NewSalt() {
  // Random bytes alone make salts unique; the clock and a per-process counter are
  // mixed in as the format's model does, and keep two salts apart even if the
  // kernel's source were to fail.
  static std::atomic<std::uint32_t> counter{0};
  std::uint8_t id[16];
  FillRandom(id, sizeof id);
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch();
  XorIn(id, static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()), 8);
  XorIn(id + 8, static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(ticks).count()), 4);
  XorIn(id + 12, counter.fetch_add(1, std::memory_order_relaxed), 4);

  const std::uint32_t data1 = id[0] | (id[1] << 8) | (id[2] << 16) | (static_cast<std::uint32_t>(id[3]) << 24);
  const unsigned data2 = id[4] | (id[5] << 8);
  const unsigned data3 = id[6] | (id[7] << 8);
  char text[kSaltLength + 1];
  std::snprintf(text, sizeof text, "{%.8x-%.4x-%.4x-%.2x%.2x-%.2x%.2x%.2x%.2x%.2x%.2x}", data1, data2, data3, id[8],
                id[9], id[10], id[11], id[12], id[13], id[14], id[15]);
  return std::string(text, kSaltLength);
}

}  // namespace settings
