#include "security/tls/tls_suites.h"

#include <array>

namespace security {
namespace {

constexpr std::array<SuiteIdentity, kSuiteCatalogueSize> kCatalogue = {{
    {0, 0, "NULL-NULL"},
    {1, 0, "NULL-MD5"},
    {2, 0, "NULL-SHA"},
    {3, 128, "RC4-MD5"},
    {4, 128, "RC4-SHA"},
    {5, 128, "RC2-CBC-MD5"},
    {6, 128, "IDEA-CBC-MD5"},
    {7, 128, "IDEA-CBC-SHA"},
    {8, 56, "DES-CBC-MD5"},
    {9, 56, "DES-CBC-SHA"},
    {10, 168, "DES-CBC3-MD5"},
    {11, 168, "DES-CBC3-SHA"},
    {12, 128, "AES128-SHA"},
    {13, 256, "AES256-SHA"},
    {14, 56, "DH-DSS-DES-CBC-SHA"},
    {15, 168, "DH-DSS-DES-CBC3-SHA"},
    {16, 128, "DH-DSS-AES128-SHA"},
    {17, 256, "DH-DSS-AES256-SHA"},
    {18, 56, "DH-RSA-DES-CBC-SHA"},
    {19, 168, "DH-RSA-DES-CBC3-SHA"},
    {20, 128, "DH-RSA-AES128-SHA"},
    {21, 256, "DH-RSA-AES256-SHA"},
    {22, 56, "EDH-DSS-DES-CBC-SHA"},
    {23, 168, "EDH-DSS-DES-CBC3-SHA"},
    {24, 128, "DHE-DSS-AES128-SHA"},
    {25, 256, "DHE-DSS-AES256-SHA"},
    {26, 56, "EDH-RSA-DES-CBC-SHA"},
    {27, 168, "EDH-RSA-DES-CBC3-SHA"},
    {28, 128, "DHE-RSA-AES128-SHA"},
    {29, 256, "DHE-RSA-AES256-SHA"},
    {30, 128, "ADH-RC4-MD5"},
    {31, 56, "ADH-DES-CBC-SHA"},
    {32, 168, "ADH-DES-CBC3-SHA"},
    {33, 128, "ADH-AES128-SHA"},
    {34, 256, "ADH-AES256-SHA"},
    {35, 40, "EXP-RC2-CBC-MD5"},
    {36, 40, "EXP-RC4-MD5"},
    {37, 40, "EXP-DES-CBC-SHA"},
    {38, 40, "EXP-DH-DSS-DES-CBC-SHA"},
    {39, 40, "EXP-DH-RSA-DES-CBC-SHA"},
    {40, 40, "EXP-EDH-DSS-DES-CBC-SHA"},
    {41, 40, "EXP-EDH-RSA-DES-CBC-SHA"},
    {42, 40, "EXP-ADH-RC4-MD5"},
    {43, 40, "EXP-ADH-DES-CBC-SHA"},
}};

constexpr std::array<SuiteIdentity, kModernSuiteCount> kModernCatalogue = {{
    {44, 128, "DHE-RSA-AES128-GCM-SHA256"},
    {45, 256, "DHE-RSA-AES256-GCM-SHA384"},
    {46, 128, "AES128-GCM-SHA256"},
    {47, 256, "AES256-GCM-SHA384"},
    {48, 128, "DHE-RSA-AES128-SHA256"},
    {49, 256, "DHE-RSA-AES256-SHA256"},
    {50, 128, "AES128-SHA256"},
    {51, 256, "AES256-SHA256"},
    {52, 128, "ECDHE-ECDSA-AES128-GCM-SHA256"},
    {53, 128, "ECDHE-RSA-AES128-GCM-SHA256"},
    {54, 256, "ECDHE-ECDSA-AES256-GCM-SHA384"},
    {55, 256, "ECDHE-RSA-AES256-GCM-SHA384"},
    {56, 256, "ECDHE-ECDSA-CHACHA20-POLY1305"},
    {57, 256, "ECDHE-RSA-CHACHA20-POLY1305"},
    {58, 128, "ECDHE-ECDSA-AES128-SHA256"},
    {59, 128, "ECDHE-RSA-AES128-SHA256"},
    {60, 256, "ECDHE-ECDSA-AES256-SHA384"},
    {61, 256, "ECDHE-RSA-AES256-SHA384"},
    {62, 128, "ECDHE-ECDSA-AES128-SHA"},
    {63, 128, "ECDHE-RSA-AES128-SHA"},
    {64, 256, "ECDHE-ECDSA-AES256-SHA"},
    {65, 256, "ECDHE-RSA-AES256-SHA"},
}};

using C = CipherKind;
using M = MacKind;
using K = KeyExchange;

constexpr SuiteParams Row(std::uint16_t code, int catalogue, bool exportable, C cipher, M mac, K kx) {
  std::size_t mac_size = 20;
  switch (mac) {
    case M::kMd5: mac_size = 16; break;
    case M::kSha1: mac_size = 20; break;
    case M::kSha256: mac_size = 32; break;
    case M::kSha384: mac_size = 48; break;
    case M::kAead: mac_size = 0; break;
  }
  std::size_t key = 16;
  std::size_t iv = 8;
  switch (cipher) {
    case C::kRc4: key = 16; iv = 0; break;
    case C::kRc2Cbc: key = 16; break;
    case C::kIdeaCbc: key = 16; break;
    case C::kDesCbc: key = 8; break;
    case C::kTripleDesCbc: key = 24; break;
    case C::kAes128Cbc: key = 16; iv = 16; break;
    case C::kAes256Cbc: key = 32; iv = 16; break;
    case C::kAes128Gcm: key = 16; iv = 4; break;
    case C::kAes256Gcm: key = 32; iv = 4; break;
    case C::kChaCha20Poly1305: key = 32; iv = 12; break;
  }
  if (exportable) key = 5;
  return SuiteParams{code, catalogue, exportable, cipher, mac, kx, mac_size, key, iv};
}

// A TLS 1.2 suite; `sha384` when its PRF hash is SHA-384.
constexpr SuiteParams Tls12Row(std::uint16_t code, int catalogue, C cipher, M mac, K kx, bool sha384) {
  SuiteParams row = Row(code, catalogue, false, cipher, mac, kx);
  row.tls12_only = true;
  row.sha384_prf = sha384;
  return row;
}

// An ECDHE suite; `tls12` for those that need TLS 1.2 (AEAD, SHA-2 MACs).
constexpr SuiteParams EcdheRow(std::uint16_t code, int catalogue, bool ecdsa, C cipher, M mac, bool tls12,
                               bool sha384) {
  SuiteParams row = Row(code, catalogue, false, cipher, mac, K::kEcdhe);
  row.tls12_only = tls12;
  row.sha384_prf = sha384;
  row.ecdsa = ecdsa;
  return row;
}

// AEAD first, then the CBC suites with SHA-2 MACs, then the older rows.
constexpr std::array<SuiteParams, 59> kTlsTable = {{
    EcdheRow(0xC02B, 52, true, C::kAes128Gcm, M::kAead, true, false),
    EcdheRow(0xC02F, 53, false, C::kAes128Gcm, M::kAead, true, false),
    EcdheRow(0xC02C, 54, true, C::kAes256Gcm, M::kAead, true, true),
    EcdheRow(0xC030, 55, false, C::kAes256Gcm, M::kAead, true, true),
    EcdheRow(0xCCA9, 56, true, C::kChaCha20Poly1305, M::kAead, true, false),
    EcdheRow(0xCCA8, 57, false, C::kChaCha20Poly1305, M::kAead, true, false),
    Tls12Row(0x009E, 44, C::kAes128Gcm, M::kAead, K::kDhe, false),
    Tls12Row(0x009F, 45, C::kAes256Gcm, M::kAead, K::kDhe, true),
    Tls12Row(0x009C, 46, C::kAes128Gcm, M::kAead, K::kRsa, false),
    Tls12Row(0x009D, 47, C::kAes256Gcm, M::kAead, K::kRsa, true),
    Tls12Row(0x0067, 48, C::kAes128Cbc, M::kSha256, K::kDhe, false),
    Tls12Row(0x006B, 49, C::kAes256Cbc, M::kSha256, K::kDhe, false),
    Tls12Row(0x003C, 50, C::kAes128Cbc, M::kSha256, K::kRsa, false),
    Tls12Row(0x003D, 51, C::kAes256Cbc, M::kSha256, K::kRsa, false),
    EcdheRow(0xC023, 58, true, C::kAes128Cbc, M::kSha256, true, false),
    EcdheRow(0xC027, 59, false, C::kAes128Cbc, M::kSha256, true, false),
    EcdheRow(0xC024, 60, true, C::kAes256Cbc, M::kSha384, true, true),
    EcdheRow(0xC028, 61, false, C::kAes256Cbc, M::kSha384, true, true),
    EcdheRow(0xC009, 62, true, C::kAes128Cbc, M::kSha1, false, false),
    EcdheRow(0xC013, 63, false, C::kAes128Cbc, M::kSha1, false, false),
    EcdheRow(0xC00A, 64, true, C::kAes256Cbc, M::kSha1, false, false),
    EcdheRow(0xC014, 65, false, C::kAes256Cbc, M::kSha1, false, false),
    Row(0x0004, 3, false, C::kRc4, M::kMd5, K::kRsa),
    Row(0x0003, 36, true, C::kRc4, M::kMd5, K::kRsa),
    Row(0x0005, 4, false, C::kRc4, M::kSha1, K::kRsa),
    Row(0x0006, 35, true, C::kRc2Cbc, M::kMd5, K::kRsa),
    Row(0x0007, 7, false, C::kIdeaCbc, M::kSha1, K::kRsa),
    Row(0x0008, 37, true, C::kDesCbc, M::kSha1, K::kRsa),
    Row(0x0009, 9, false, C::kDesCbc, M::kSha1, K::kRsa),
    Row(0x000A, 11, false, C::kTripleDesCbc, M::kSha1, K::kRsa),
    Row(0x0015, 26, false, C::kDesCbc, M::kSha1, K::kDhe),
    Row(0x0016, 27, false, C::kTripleDesCbc, M::kSha1, K::kDhe),
    Row(0x0014, 41, true, C::kDesCbc, M::kSha1, K::kDhe),
    Row(0x0012, 22, false, C::kDesCbc, M::kSha1, K::kDhe),
    Row(0x0013, 23, false, C::kTripleDesCbc, M::kSha1, K::kDhe),
    Row(0x002F, 12, false, C::kAes128Cbc, M::kSha1, K::kRsa),
    Row(0x0035, 13, false, C::kAes256Cbc, M::kSha1, K::kRsa),
    Row(0x0033, 28, false, C::kAes128Cbc, M::kSha1, K::kDhe),
    Row(0x0032, 24, false, C::kAes128Cbc, M::kSha1, K::kDhe),
    Row(0x0030, 16, false, C::kAes128Cbc, M::kSha1, K::kDh),
    Row(0x0031, 20, false, C::kAes128Cbc, M::kSha1, K::kDh),
    Row(0x0036, 17, false, C::kAes256Cbc, M::kSha1, K::kDh),
    Row(0x0037, 21, false, C::kAes256Cbc, M::kSha1, K::kDh),
    Row(0x0038, 25, false, C::kAes256Cbc, M::kSha1, K::kDhe),
    Row(0x0039, 29, false, C::kAes256Cbc, M::kSha1, K::kDhe),
    Row(0x000B, 38, true, C::kDesCbc, M::kSha1, K::kDh),
    Row(0x000C, 14, false, C::kDesCbc, M::kSha1, K::kDh),
    Row(0x000D, 15, false, C::kTripleDesCbc, M::kSha1, K::kDh),
    Row(0x000E, 39, true, C::kDesCbc, M::kSha1, K::kDh),
    Row(0x000F, 18, false, C::kDesCbc, M::kSha1, K::kDh),
    Row(0x0010, 19, false, C::kTripleDesCbc, M::kSha1, K::kDh),
    Row(0x0011, 40, true, C::kDesCbc, M::kSha1, K::kDhe),
    Row(0x0017, 42, true, C::kRc4, M::kMd5, K::kDhAnon),
    Row(0x0018, 30, false, C::kRc4, M::kMd5, K::kDhAnon),
    Row(0x0019, 43, true, C::kDesCbc, M::kSha1, K::kDhAnon),
    Row(0x001A, 31, false, C::kDesCbc, M::kSha1, K::kDhAnon),
    Row(0x001B, 32, false, C::kTripleDesCbc, M::kSha1, K::kDhAnon),
    Row(0x0034, 33, false, C::kAes128Cbc, M::kSha1, K::kDhAnon),
    Row(0x003A, 34, false, C::kAes256Cbc, M::kSha1, K::kDhAnon),
}};

// Rows 0-12 of the TLS table, then the SSL 3.0 order (no AES).
constexpr std::array<std::uint16_t, 25> kSsl3Order = {0x0004, 0x0003, 0x0005, 0x0006, 0x0007, 0x0008, 0x0009,
                                                      0x000A, 0x0015, 0x0016, 0x0014, 0x0012, 0x0013, 0x0018,
                                                      0x0017, 0x0019, 0x001A, 0x001B, 0x000F, 0x000E, 0x0010,
                                                      0x0011, 0x000B, 0x000C, 0x000D};

constexpr const SuiteParams& TlsRow(std::uint16_t code) {
  for (const auto& row : kTlsTable) {
    if (row.code == code) return row;
  }
  return kTlsTable[kTlsTable.size() - 1];
}

constexpr std::array<SuiteParams, 25> MakeSsl3Table() {
  std::array<SuiteParams, 25> table{};
  for (std::size_t k = 0; k < kSsl3Order.size(); ++k) table[k] = TlsRow(kSsl3Order[k]);
  return table;
}

constexpr std::array<SuiteParams, 25> kSsl3Table = MakeSsl3Table();

constexpr std::array<Ssl2Kind, 7> kSsl2Kinds = {{
    {0x010080, 3, C::kRc4, false, 16, 16, 0, 0},
    {0x020080, 36, C::kRc4, true, 16, 5, 11, 0},
    {0x030080, 5, C::kRc2Cbc, false, 16, 16, 0, 8},
    {0x040080, 35, C::kRc2Cbc, true, 16, 5, 11, 8},
    {0x050080, 6, C::kIdeaCbc, false, 16, 16, 0, 8},
    {0x060040, 8, C::kDesCbc, false, 8, 8, 0, 8},
    {0x0700C0, 10, C::kTripleDesCbc, false, 24, 24, 0, 8},
}};

}  // namespace

std::size_t SuiteParams::BlockSize() const {
  switch (cipher) {
    case CipherKind::kRc4: return 0;
    case CipherKind::kAes128Cbc:
    case CipherKind::kAes256Cbc: return 16;
    case CipherKind::kAes128Gcm:
    case CipherKind::kAes256Gcm:
    case CipherKind::kChaCha20Poly1305: return 0;
    default: return 8;
  }
}

const SuiteIdentity& SuiteCatalogueEntry(int index) {
  if (index >= kSuiteCatalogueSize) return kModernCatalogue.at(static_cast<std::size_t>(index - kSuiteCatalogueSize));
  return kCatalogue.at(static_cast<std::size_t>(index));
}

bool IsStrongSuite(int index) { return SuiteCatalogueEntry(index).bits >= 128; }

std::span<const SuiteParams> TlsSuiteTable() { return kTlsTable; }
std::span<const SuiteParams> Ssl3SuiteTable() { return kSsl3Table; }
std::span<const Ssl2Kind> Ssl2KindTable() { return kSsl2Kinds; }

const SuiteParams* FindSuite(std::span<const SuiteParams> table, std::uint16_t code) {
  for (const auto& row : table) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

const Ssl2Kind* FindSsl2Kind(std::uint32_t code) {
  for (const auto& kind : kSsl2Kinds) {
    if (kind.code == code) return &kind;
  }
  return nullptr;
}

}  // namespace security
