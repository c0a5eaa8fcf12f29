#pragma once
// The cipher suites the TLS engine knows: the 44-entry catalogue of suite
// identities (shared by the three protocols, one enable flag each) and the
// per-protocol tables in the order the client offers them.
//
// Everything here is constant data; lookups return pointers into static
// tables that live for the whole program.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace security {

constexpr int kSuiteCatalogueSize = 44;

enum class CipherKind : std::uint8_t { kRc4 = 1, kRc2Cbc = 2, kDesCbc = 3, kTripleDesCbc = 4, kIdeaCbc = 5, kAes128Cbc = 6, kAes256Cbc = 7 };
enum class MacKind : std::uint8_t { kMd5 = 1, kSha1 = 2 };
enum class KeyExchange : std::uint8_t { kRsa = 1, kDh = 2, kDhe = 3, kDhAnon = 4 };

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
  std::size_t iv_size;   // 0 for RC4
  bool IsBlockCipher() const { return cipher != CipherKind::kRc4; }
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

const SuiteIdentity& SuiteCatalogueEntry(int index);  // index 0-43
bool IsStrongSuite(int index);                        // at least 128 bits

std::span<const SuiteParams> TlsSuiteTable();   // 37 rows
std::span<const SuiteParams> Ssl3SuiteTable();  // 25 rows
std::span<const Ssl2Kind> Ssl2KindTable();      // 7 kinds

// The row of `code` in the table, or null.
const SuiteParams* FindSuite(std::span<const SuiteParams> table, std::uint16_t code);
const Ssl2Kind* FindSsl2Kind(std::uint32_t code);

}  // namespace security
