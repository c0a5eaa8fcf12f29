#pragma once
// The cipher suites the TLS engine knows: the 44-entry catalogue of suite
// identities (shared by the three protocols, one enable flag each), the
// TLS 1.2 suites after it (all strong, always on while TLS is enabled) and
// the per-protocol tables in the order the client offers them.
//
// Everything here is constant data; lookups return pointers into static
// tables that live for the whole program.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace security {

constexpr int kSuiteCatalogueSize = 44;
// Catalogue entries kSuiteCatalogueSize and up: the TLS 1.2 suites.
constexpr int kModernSuiteCount = 22;

enum class CipherKind : std::uint8_t { kRc4 = 1, kRc2Cbc = 2, kDesCbc = 3, kTripleDesCbc = 4, kIdeaCbc = 5, kAes128Cbc = 6, kAes256Cbc = 7,
                                    kAes128Gcm = 8, kAes256Gcm = 9, kChaCha20Poly1305 = 10 };
// kAead: the cipher authenticates the record itself.
enum class MacKind : std::uint8_t { kMd5 = 1, kSha1 = 2, kSha256 = 3, kSha384 = 4, kAead = 5 };
enum class KeyExchange : std::uint8_t { kRsa = 1, kDh = 2, kDhe = 3, kDhAnon = 4, kEcdhe = 5 };

// One catalogue identity.
struct SuiteIdentity {
  int index;
  int bits;               // key strength; the strong-only filter keeps >= 128
  std::string_view name;  // OpenSSL-style name for diagnostics
};

// One row of a protocol table.
struct SuiteParams {
  std::uint16_t code;  // SSL 3.0 / TLS 1.0 code; for SSL 2.0 the low 16 bits of the 3-byte kind
  int catalogue;
  bool exportable;
  CipherKind cipher;
  MacKind mac;
  KeyExchange key_exchange;
  std::size_t mac_size;
  std::size_t key_size;  // key bytes from the key block (5 for export suites)
  std::size_t iv_size;   // 0 for RC4; the implicit nonce part for AEAD ciphers
  bool tls12_only = false;  // SHA-256/384 MACs and AEAD ciphers exist only from TLS 1.2
  bool sha384_prf = false;  // under TLS 1.2 the PRF and Finished use SHA-384
  bool ecdsa = false;       // ECDHE signed with an ECDSA key (else with an RSA key)
  bool IsAead() const { return mac == MacKind::kAead; }
  bool IsBlockCipher() const { return cipher != CipherKind::kRc4 && !IsAead(); }
  // Block size of the cipher (0 for RC4).
  std::size_t BlockSize() const;
};

// An SSL 2.0 cipher kind (3-byte code).
struct Ssl2Kind {
  std::uint32_t code;  // e.g. 0x010080
  int catalogue;
  CipherKind cipher;
  bool exportable;
  std::size_t master_key_size;  // 16, 8 or 24
  std::size_t secret_size;      // master key bytes sent encrypted (5 for export kinds)
  std::size_t clear_size;       // master key bytes sent in clear (11 for export kinds)
  std::size_t key_arg_size;     // 8 for block ciphers
};

const SuiteIdentity& SuiteCatalogueEntry(int index);  // index 0-43, then the TLS 1.2 suites
bool IsStrongSuite(int index);                        // at least 128 bits

std::span<const SuiteParams> TlsSuiteTable();   // the TLS 1.2 suites, then the 37 older rows
std::span<const SuiteParams> Ssl3SuiteTable();  // 25 rows
std::span<const Ssl2Kind> Ssl2KindTable();      // 7 kinds

// The row of `code` in the table, or null.
const SuiteParams* FindSuite(std::span<const SuiteParams> table, std::uint16_t code);
const Ssl2Kind* FindSsl2Kind(std::uint32_t code);

}  // namespace security
