#include "security/tls/tls_prf.h"

#include <algorithm>

#include "security/crypto/hmac.h"
#include "security/crypto/md5.h"
#include "security/crypto/sha1.h"
#include "security/crypto/sha256.h"
#include "security/crypto/sha512.h"

namespace security {
namespace {

// A(0) = seed, A(i) = HMAC(secret, A(i-1)); output = HMAC(secret, A(1) + seed) || HMAC(secret, A(2) + seed) || ...
template <typename Hash>
void PHash(std::span<const std::uint8_t> secret, std::span<const std::uint8_t> seed, std::span<std::uint8_t> out) {
  Hmac<Hash> mac(secret);
  mac.Update(seed);
  auto a = mac.Final();
  std::size_t pos = 0;
  while (pos < out.size()) {
    mac.Update(a);
    mac.Update(seed);
    const auto block = mac.Final();
    const std::size_t take = std::min(block.size(), out.size() - pos);
    std::copy_n(block.begin(), take, out.begin() + pos);
    pos += take;
    if (pos < out.size()) {
      mac.Update(a);
      a = mac.Final();
    }
  }
}

}  // namespace

void PMd5(std::span<const std::uint8_t> secret, std::span<const std::uint8_t> seed, std::span<std::uint8_t> out) {
  PHash<Md5>(secret, seed, out);
}

void PSha1(std::span<const std::uint8_t> secret, std::span<const std::uint8_t> seed, std::span<std::uint8_t> out) {
  PHash<Sha1>(secret, seed, out);
}

void Prf(std::span<const std::uint8_t> secret, std::string_view label, std::span<const std::uint8_t> seed,
         std::span<std::uint8_t> out) {
  std::vector<std::uint8_t> label_seed(label.begin(), label.end());
  label_seed.insert(label_seed.end(), seed.begin(), seed.end());

  const std::size_t half = (secret.size() + 1) / 2;
  const auto s1 = secret.first(half);
  const auto s2 = secret.last(half);

  std::vector<std::uint8_t> sha1_part(out.size());
  PMd5(s1, label_seed, out);
  PSha1(s2, label_seed, sha1_part);
  for (std::size_t k = 0; k < out.size(); ++k) out[k] ^= sha1_part[k];
}

std::vector<std::uint8_t> Prf(std::span<const std::uint8_t> secret, std::string_view label,
                              std::span<const std::uint8_t> seed, std::size_t length) {
  std::vector<std::uint8_t> out(length);
  Prf(secret, label, seed, out);
  return out;
}

void PSha256(std::span<const std::uint8_t> secret, std::span<const std::uint8_t> seed, std::span<std::uint8_t> out) {
  PHash<Sha256>(secret, seed, out);
}

void PSha384(std::span<const std::uint8_t> secret, std::span<const std::uint8_t> seed, std::span<std::uint8_t> out) {
  PHash<Sha384>(secret, seed, out);
}

void PrfOf(PrfKind kind, std::span<const std::uint8_t> secret, std::string_view label,
           std::span<const std::uint8_t> seed, std::span<std::uint8_t> out) {
  if (kind == PrfKind::kTls10) {
    Prf(secret, label, seed, out);
    return;
  }
  std::vector<std::uint8_t> label_seed(label.begin(), label.end());
  label_seed.insert(label_seed.end(), seed.begin(), seed.end());
  if (kind == PrfKind::kSha256) {
    PSha256(secret, label_seed, out);
  } else {
    PSha384(secret, label_seed, out);
  }
}

std::vector<std::uint8_t> PrfOf(PrfKind kind, std::span<const std::uint8_t> secret, std::string_view label,
                                std::span<const std::uint8_t> seed, std::size_t length) {
  std::vector<std::uint8_t> out(length);
  PrfOf(kind, secret, label, seed, out);
  return out;
}

}  // namespace security
