#include "security/crypto/hmac.h"

namespace security {
namespace {

std::span<const std::uint8_t> View(const void* p, std::size_t length) {
  return {static_cast<const std::uint8_t*>(p), length};
}

}  // namespace

Md5::Digest HmacMd5(std::span<const std::uint8_t> data, std::span<const std::uint8_t> key) {
  return Hmac<Md5>::Compute(key, data);
}

Sha1::Digest HmacSha1(std::span<const std::uint8_t> data, std::span<const std::uint8_t> key) {
  return Hmac<Sha1>::Compute(key, data);
}

void HmacMd5(const void* data, std::size_t length, const void* key, std::size_t key_length, std::uint8_t* out) {
  const auto mac = HmacMd5(View(data, length), View(key, key_length));
  std::memcpy(out, mac.data(), mac.size());
}

void HmacSha1(const void* data, std::size_t length, const void* key, std::size_t key_length, std::uint8_t* out) {
  const auto mac = HmacSha1(View(data, length), View(key, key_length));
  std::memcpy(out, mac.data(), mac.size());
}

}  // namespace security
