#pragma once
// Internal AES block engine shared by AES-CBC and AES-GCM: one expanded key
// for one direction, run through the AES-NI instructions when the processor
// has them and through the portable code otherwise. Neither path indexes a
// table by key or data.

#include <cstddef>
#include <cstdint>
#include <span>

namespace security::internal {

// True when the processor offers AES-NI (checked once).
bool ProcessorHasAesNi();

class AesKey {
 public:
  AesKey() = default;
  AesKey(const AesKey&) = delete;
  AesKey& operator=(const AesKey&) = delete;
  ~AesKey();

  // Expands a 16-, 24- or 32-byte key for encryption or decryption; throws
  // std::invalid_argument ("Invalid key length") otherwise. With
  // allow_hardware false the portable code is used even when AES-NI is there
  // (the tests compare the two).
  void Schedule(std::span<const std::uint8_t> key, bool for_decryption, bool allow_hardware = true);

  // Both read their whole input before writing, so out may equal in.
  void EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const;
  void DecryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const;

  // Counter mode over whole blocks: XORs E(counter), E(counter + 1), ... over
  // `in`. Only the last four bytes of `counter` count (big-endian, wrapping
  // modulo 2^32); on return it holds the next counter. out may equal in.
  void Ctr32(std::uint8_t counter[16], const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const;

  bool UsesAesNi() const { return hardware_; }

 private:
  int rounds_ = 0;
  bool hardware_ = false;
  // The round keys as big-endian column words (the portable code), and the
  // same keys as bytes for AES-NI. For decryption both hold the equivalent
  // inverse cipher's keys: reversed, InvMixColumns applied to the inner ones.
  std::uint32_t words_[60] = {};
  alignas(16) std::uint8_t bytes_[240] = {};
};

// The AES-NI code (aes_ni.cpp); only called when ProcessorHasAesNi().
void AesNiEncryptBlock(const std::uint8_t* round_keys, int rounds, const std::uint8_t in[16], std::uint8_t out[16]);
void AesNiDecryptBlock(const std::uint8_t* round_keys, int rounds, const std::uint8_t in[16], std::uint8_t out[16]);
void AesNiCtr32(const std::uint8_t* round_keys, int rounds, std::uint8_t counter[16], const std::uint8_t* in,
                std::uint8_t* out, std::size_t blocks);

}  // namespace security::internal
