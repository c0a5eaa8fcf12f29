#include "security/crypto/rsa.h"

#include <algorithm>
#include <stdexcept>
#include <type_traits>

#include "security/crypto/random_generator.h"
#include "security/crypto/secure_wipe.h"

namespace security {
namespace {

void CheckBlock(const BigNumber& modulus, const BigNumber& block) {
  if (block.IsNegative() || BigNumber::Compare(block, modulus) >= 0) {
    throw std::invalid_argument("Block out of range");
  }
}

std::vector<std::uint8_t> StartBlock(std::span<const std::uint8_t> payload, std::size_t length, std::uint8_t type) {
  if (length < payload.size() + 11) throw std::length_error("Buffer too small");
  std::vector<std::uint8_t> block(length, 0);
  block[1] = type;
  std::copy(payload.begin(), payload.end(), block.end() - static_cast<std::ptrdiff_t>(payload.size()));
  return block;
}

}  // namespace

BigNumber RsaPublicOperation(const RsaPublicKey& key, const BigNumber& block) {
  CheckBlock(key.modulus, block);
  return BigNumber::ModExp(block, key.exponent, key.modulus);
}

BigNumber RsaPrivateOperation(const RsaPrivateKey& key, const BigNumber& block) {
  CheckBlock(key.modulus, block);
  if (!key.HasCrt()) return BigNumber::ModExp(block, key.private_exponent, key.modulus);
  // m1 = c^dp mod p, m2 = c^dq mod q, h = qinv (m1 - m2) mod p, m = m2 + h q.
  const BigNumber m1 = BigNumber::ModExp(block, key.exponent1, key.prime1);
  const BigNumber m2 = BigNumber::ModExp(block, key.exponent2, key.prime2);
  const BigNumber h = BigNumber::ModMultiply(key.coefficient, m1 - m2, key.prime1);
  return m2 + h * key.prime2;
}

RsaPrivateKey::~RsaPrivateKey() {
  static_assert(std::is_trivially_copyable_v<BigNumber>);
  for (BigNumber* value : {&modulus, &public_exponent, &private_exponent, &prime1, &prime2, &exponent1, &exponent2,
                           &coefficient}) {
    SecureWipe(value, sizeof(BigNumber));
  }
}

std::optional<BigNumber> RsaSignChecked(const RsaPrivateKey& key, const BigNumber& block, RandomGenerator& random) {
  CheckBlock(key.modulus, block);
  const BigNumber one(1);
  const std::size_t bytes = key.modulus.ByteLength();
  // r in [2, n - 1] with an inverse mod n; a random value without one would
  // have found a factor, so a few tries always suffice for a real key.
  for (int attempt = 0; attempt < 16; ++attempt) {
    const BigNumber r = BigNumber::Mod(random.FillBigNumber(bytes), key.modulus);
    if (BigNumber::Compare(r, one) <= 0) continue;
    BigNumber r_inverse;
    try {
      r_inverse = BigNumber::ModInverse(r, key.modulus);
    } catch (const std::domain_error&) {
      continue;
    }
    const BigNumber blinded =
        BigNumber::ModMultiply(block, BigNumber::ModExp(r, key.public_exponent, key.modulus), key.modulus);
    const BigNumber result = BigNumber::ModMultiply(RsaPrivateOperation(key, blinded), r_inverse, key.modulus);
    if (!(BigNumber::ModExp(result, key.public_exponent, key.modulus) == block)) return std::nullopt;
    return result;
  }
  return std::nullopt;
}

std::vector<std::uint8_t> Pkcs1Type1Block(std::span<const std::uint8_t> payload, std::size_t length) {
  std::vector<std::uint8_t> block = StartBlock(payload, length, 1);
  std::fill(block.begin() + 2, block.end() - static_cast<std::ptrdiff_t>(payload.size()) - 1, 0xff);
  return block;
}

std::vector<std::uint8_t> Pkcs1Type2Block(std::span<const std::uint8_t> payload, std::size_t length,
                                          RandomGenerator& random) {
  std::vector<std::uint8_t> block = StartBlock(payload, length, 2);
  for (std::size_t k = 2; k + payload.size() + 1 < length; ++k) {
    std::uint8_t b = 0;
    while (b == 0) b = random.NextByte();
    block[k] = b;
  }
  return block;
}

std::optional<std::vector<std::uint8_t>> ParsePkcs1Type1Block(std::span<const std::uint8_t> block) {
  if (block.size() < 11 || block[0] != 0 || block[1] != 1) return std::nullopt;
  std::size_t k = 2;
  while (k < block.size() && block[k] == 0xff) ++k;
  if (k - 2 < 8 || k >= block.size() || block[k] != 0) return std::nullopt;
  return std::vector<std::uint8_t>(block.begin() + static_cast<std::ptrdiff_t>(k) + 1, block.end());
}

std::optional<std::vector<std::uint8_t>> RsaRecoverSignatureBlock(const RsaPublicKey& key,
                                                                  std::span<const std::uint8_t> signature) {
  const std::size_t length = key.modulus.ByteLength();
  if (key.modulus.IsZero() || key.exponent.IsZero() || signature.size() > length) return std::nullopt;
  const BigNumber s = BigNumber::FromBytes(signature);
  if (BigNumber::Compare(s, key.modulus) >= 0) return std::nullopt;
  return BigNumber::ModExp(s, key.exponent, key.modulus).ToBytes(length);
}

bool RsaVerifyDigest(const RsaPublicKey& key, std::span<const std::uint8_t> signature, DigestKind kind,
                     std::span<const std::uint8_t> digest) {
  const auto block = RsaRecoverSignatureBlock(key, signature);
  if (!block) return false;
  const auto payload = ParsePkcs1Type1Block(*block);
  if (!payload) return false;
  const auto prefix = DigestInfoPrefix(kind);
  std::vector<std::uint8_t> expected(prefix.begin(), prefix.end());
  expected.insert(expected.end(), digest.begin(), digest.end());
  if (*payload == expected) return true;
  // Some old signers left out the NULL parameters of the AlgorithmIdentifier.
  std::vector<std::uint8_t> without_null(prefix.begin(), prefix.end());
  without_null.erase(without_null.end() - 4, without_null.end() - 2);  // the 05 00 before 04 len
  without_null[1] = static_cast<std::uint8_t>(without_null[1] - 2);
  without_null[3] = static_cast<std::uint8_t>(without_null[3] - 2);
  without_null.insert(without_null.end(), digest.begin(), digest.end());
  return *payload == without_null;
}

std::vector<std::uint8_t> EncodeRsaPrivateKeyBlob(const RsaPrivateKey& key) {
  std::vector<std::uint8_t> blob = {1};
  const BigNumber* values[] = {&key.modulus, &key.public_exponent, &key.private_exponent, &key.prime1,
                               &key.prime2,  &key.exponent1,       &key.exponent2,        &key.coefficient};
  for (const BigNumber* value : values) {
    const std::vector<std::uint8_t> bytes = value->IsZero() ? std::vector<std::uint8_t>{} : value->ToMinimalBytes();
    blob.push_back(static_cast<std::uint8_t>(bytes.size() >> 8));
    blob.push_back(static_cast<std::uint8_t>(bytes.size()));
    blob.insert(blob.end(), bytes.begin(), bytes.end());
  }
  return blob;
}

std::optional<RsaPrivateKey> DecodeRsaPrivateKeyBlob(std::span<const std::uint8_t> blob) {
  if (blob.empty() || blob[0] != 1) return std::nullopt;
  RsaPrivateKey key;
  BigNumber* values[] = {&key.modulus, &key.public_exponent, &key.private_exponent, &key.prime1,
                         &key.prime2,  &key.exponent1,       &key.exponent2,        &key.coefficient};
  std::size_t pos = 1;
  for (BigNumber* value : values) {
    if (blob.size() - pos < 2) return std::nullopt;
    const std::size_t length = (static_cast<std::size_t>(blob[pos]) << 8) | blob[pos + 1];
    pos += 2;
    if (blob.size() - pos < length || length > 4 * BigNumber::kMaxWords) return std::nullopt;
    *value = BigNumber::FromBytes(blob.subspan(pos, length));
    pos += length;
  }
  if (pos != blob.size() || key.modulus.IsZero() || (key.private_exponent.IsZero() && !key.HasCrt())) {
    return std::nullopt;
  }
  return key;
}

}  // namespace security
