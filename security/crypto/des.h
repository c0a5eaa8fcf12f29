#pragma once
// DES (FIPS 46-3) and three-key 3DES-EDE in CBC mode. Keys are 8 (DES) and
// 24 (3DES: k1, k2, k3) bytes; parity bits are ignored. Blocks and IVs are 8 bytes.

#include <cstdint>
#include <span>

#include "security/crypto/block_cipher_cbc.h"
#include "security/crypto/secure_wipe.h"

namespace security {

namespace internal {

// The 16 round keys of one DES key, each as eight 6-bit S-box inputs, in the
// order the rounds use them (reversed for decryption).
struct DesKeySchedule {
  std::uint8_t round_keys[16][8];
};

void DesScheduleKey(const std::uint8_t key[8], bool for_decryption, DesKeySchedule* schedule);
// Runs `count` DES operations back to back on one block (count 1: DES, 3: EDE),
// skipping the final and initial permutations between them.
void DesCryptBlock(const DesKeySchedule* schedules, int count, const std::uint8_t in[8], std::uint8_t out[8]);

}  // namespace internal

class DesCbc final : public CbcCipher<DesCbc, 8> {
 public:
  static constexpr std::size_t kKeySize = 8;

  DesCbc() = default;
  ~DesCbc() override { SecureWipe(&schedule_, sizeof(schedule_)); }

 private:
  friend class CbcCipher<DesCbc, 8>;
  void ScheduleKey(std::span<const std::uint8_t> key, bool for_decryption) override;
  void EncryptBlock(const std::uint8_t in[8], std::uint8_t out[8]) const {
    internal::DesCryptBlock(&schedule_, 1, in, out);
  }
  void DecryptBlock(const std::uint8_t in[8], std::uint8_t out[8]) const {
    internal::DesCryptBlock(&schedule_, 1, in, out);
  }

  internal::DesKeySchedule schedule_ = {};
};

class TripleDesCbc final : public CbcCipher<TripleDesCbc, 8> {
 public:
  static constexpr std::size_t kKeySize = 24;

  TripleDesCbc() = default;
  ~TripleDesCbc() override { SecureWipe(schedules_, sizeof(schedules_)); }

 private:
  friend class CbcCipher<TripleDesCbc, 8>;
  void ScheduleKey(std::span<const std::uint8_t> key, bool for_decryption) override;
  void EncryptBlock(const std::uint8_t in[8], std::uint8_t out[8]) const {
    internal::DesCryptBlock(schedules_, 3, in, out);
  }
  void DecryptBlock(const std::uint8_t in[8], std::uint8_t out[8]) const {
    internal::DesCryptBlock(schedules_, 3, in, out);
  }

  // Encryption: E(k1), D(k2), E(k3); decryption: D(k3), E(k2), D(k1).
  internal::DesKeySchedule schedules_[3] = {};
};

}  // namespace security
