#include "security/crypto/rsa_pss.h"

#include <algorithm>
#include <vector>

#include "security/crypto/random_generator.h"
#include "security/crypto/secure_wipe.h"

namespace security {
namespace {

std::size_t HashLength(DigestKind hash) {
  switch (hash) {
    case DigestKind::kSha256: return 32;
    case DigestKind::kSha384: return 48;
    case DigestKind::kSha512: return 64;
    default: return 0;
  }
}

// MGF1: Hash(seed || counter) for counter 0, 1, ..., XORed over `out`.
void XorMgf1(DigestKind hash, std::span<const std::uint8_t> seed, std::uint8_t* out, std::size_t length) {
  std::vector<std::uint8_t> input(seed.begin(), seed.end());
  input.resize(seed.size() + 4);
  std::size_t done = 0;
  for (std::uint32_t counter = 0; done < length; ++counter) {
    input[seed.size()] = static_cast<std::uint8_t>(counter >> 24);
    input[seed.size() + 1] = static_cast<std::uint8_t>(counter >> 16);
    input[seed.size() + 2] = static_cast<std::uint8_t>(counter >> 8);
    input[seed.size() + 3] = static_cast<std::uint8_t>(counter);
    const auto block = ComputeDigest(hash, input);
    for (std::size_t k = 0; k < block.size() && done < length; ++k) out[done++] ^= block[k];
  }
}

}  // namespace

bool RsaPssVerifyWithSaltLength(const RsaPublicKey& key, std::span<const std::uint8_t> signature, DigestKind hash,
                                std::span<const std::uint8_t> digest, std::size_t salt_length) {
  const std::size_t h_len = HashLength(hash);
  if (h_len == 0 || digest.size() != h_len) return false;
  const std::size_t mod_bits = key.modulus.BitLength();
  if (mod_bits < 2 || signature.size() != key.modulus.ByteLength()) return false;
  const auto block = RsaRecoverSignatureBlock(key, signature);
  if (!block) return false;

  // The encoded message has mod_bits - 1 bits; when that is a whole number
  // of bytes the block has one more, which must be zero.
  const std::size_t em_bits = mod_bits - 1;
  const std::size_t em_len = (em_bits + 7) / 8;
  std::span<const std::uint8_t> em(*block);
  if (em.size() > em_len) {
    if (em[0] != 0) return false;
    em = em.subspan(em.size() - em_len);
  }
  if (em_len < h_len + salt_length + 2 || em.back() != 0xbc) return false;
  const std::size_t db_len = em_len - h_len - 1;
  const std::uint8_t top_mask = static_cast<std::uint8_t>(0xff >> (8 * em_len - em_bits));
  if (em[0] & ~top_mask) return false;

  std::vector<std::uint8_t> db(em.begin(), em.begin() + static_cast<std::ptrdiff_t>(db_len));
  const auto h = em.subspan(db_len, h_len);
  XorMgf1(hash, h, db.data(), db_len);
  db[0] &= top_mask;
  const std::size_t padding = db_len - salt_length - 1;
  for (std::size_t k = 0; k < padding; ++k) {
    if (db[k] != 0) return false;
  }
  if (db[padding] != 0x01) return false;

  std::vector<std::uint8_t> m_prime(8, 0);
  m_prime.insert(m_prime.end(), digest.begin(), digest.end());
  m_prime.insert(m_prime.end(), db.end() - static_cast<std::ptrdiff_t>(salt_length), db.end());
  const auto expected = ComputeDigest(hash, m_prime);
  return std::equal(expected.begin(), expected.end(), h.begin(), h.end());
}

std::optional<std::vector<std::uint8_t>> RsaPssSign(const RsaPrivateKey& key, DigestKind hash,
                                                    std::span<const std::uint8_t> digest, RandomGenerator& random) {
  const std::size_t h_len = HashLength(hash);
  const std::size_t mod_bits = key.modulus.BitLength();
  if (h_len == 0 || digest.size() != h_len || mod_bits < 2) return std::nullopt;
  const std::size_t em_bits = mod_bits - 1;
  const std::size_t em_len = (em_bits + 7) / 8;
  const std::size_t salt_length = h_len;
  if (em_len < h_len + salt_length + 2) return std::nullopt;

  std::vector<std::uint8_t> salt(salt_length);
  for (auto& b : salt) b = random.NextByte();
  std::vector<std::uint8_t> m_prime(8, 0);
  m_prime.insert(m_prime.end(), digest.begin(), digest.end());
  m_prime.insert(m_prime.end(), salt.begin(), salt.end());
  const auto h = ComputeDigest(hash, m_prime);

  // EM = maskedDB || H || 0xbc, DB = zeros || 0x01 || salt; the bits above
  // em_bits are cleared so that EM stays below the modulus.
  const std::size_t db_len = em_len - h_len - 1;
  std::vector<std::uint8_t> em(em_len, 0);
  em[db_len - salt_length - 1] = 0x01;
  std::copy(salt.begin(), salt.end(), em.begin() + static_cast<std::ptrdiff_t>(db_len - salt_length));
  XorMgf1(hash, h, em.data(), db_len);
  em[0] &= static_cast<std::uint8_t>(0xff >> (8 * em_len - em_bits));
  std::copy(h.begin(), h.end(), em.begin() + static_cast<std::ptrdiff_t>(db_len));
  em[em_len - 1] = 0xbc;
  SecureWipe(salt);

  const auto signature = RsaSignChecked(key, BigNumber::FromBytes(em), random);
  if (!signature) return std::nullopt;
  return signature->ToBytes(key.modulus.ByteLength());
}

bool RsaPssVerify(const RsaPublicKey& key, std::span<const std::uint8_t> signature, DigestKind hash,
                  std::span<const std::uint8_t> digest) {
  return RsaPssVerifyWithSaltLength(key, signature, hash, digest, HashLength(hash));
}

}  // namespace security
