#pragma once
// Key derivation of SSL 2.0, SSL 3.0 and TLS 1.0 and the Finished values:
// pure functions of the secrets and randoms, so that each can be checked
// against known answers.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "security/tls/tls_prf.h"
#include "security/tls/tls_suites.h"

namespace security {

// The key block cut into its parts, export suites already final.
struct TlsKeys {
  std::vector<std::uint8_t> client_mac;
  std::vector<std::uint8_t> server_mac;
  std::vector<std::uint8_t> client_key;
  std::vector<std::uint8_t> server_key;
  std::vector<std::uint8_t> client_iv;
  std::vector<std::uint8_t> server_iv;
};

using MasterSecret = std::array<std::uint8_t, 48>;

// SSL 3.0: MD5(secret | SHA-1("A" | secret | r1 | r2)) | MD5(secret | SHA-1("BB" | ...)) | ...
// for `length` bytes.
std::vector<std::uint8_t> Ssl3Expand(std::span<const std::uint8_t> secret, std::span<const std::uint8_t> r1,
                                     std::span<const std::uint8_t> r2, std::size_t length);
MasterSecret Ssl3MasterSecret(std::span<const std::uint8_t> pre_master, std::span<const std::uint8_t> client_random,
                              std::span<const std::uint8_t> server_random);
TlsKeys Ssl3KeyBlock(const MasterSecret& master, std::span<const std::uint8_t> client_random,
                     std::span<const std::uint8_t> server_random, const SuiteParams& suite);

MasterSecret TlsMasterSecret(std::span<const std::uint8_t> pre_master, std::span<const std::uint8_t> client_random,
                             std::span<const std::uint8_t> server_random);
TlsKeys TlsKeyBlock(const MasterSecret& master, std::span<const std::uint8_t> client_random,
                    std::span<const std::uint8_t> server_random, const SuiteParams& suite);

// The same for any TLS version: `prf` picks the TLS 1.0 PRF or a TLS 1.2 one.
// The extended master secret (RFC 7627) takes the hash of the handshake up to
// the ClientKeyExchange instead of the randoms.
MasterSecret DeriveMasterSecret(PrfKind prf, std::span<const std::uint8_t> pre_master,
                                std::span<const std::uint8_t> client_random, std::span<const std::uint8_t> server_random);
MasterSecret DeriveExtendedMasterSecret(PrfKind prf, std::span<const std::uint8_t> pre_master,
                                        std::span<const std::uint8_t> session_hash);
TlsKeys DeriveKeyBlock(PrfKind prf, const MasterSecret& master, std::span<const std::uint8_t> client_random,
                       std::span<const std::uint8_t> server_random, const SuiteParams& suite);
// The handshake hash a Finished or CertificateVerify covers: MD5 | SHA-1
// (36 bytes) for the TLS 1.0 PRF, else SHA-256 or SHA-384 of the transcript.
std::vector<std::uint8_t> HandshakeHashOf(PrfKind prf, std::span<const std::uint8_t> transcript);
// Finished verify_data: PRF(master, label, HandshakeHashOf(transcript)), 12 bytes.
std::array<std::uint8_t, 12> FinishedOf(PrfKind prf, const MasterSecret& master, std::string_view label,
                                        std::span<const std::uint8_t> transcript);

// SSL 3.0 Finished (sender "CLNT" or "SRVR") and, with an empty sender, the
// CertificateVerify hashes: MD5 part (16 bytes) then SHA-1 part (20 bytes).
std::array<std::uint8_t, 36> Ssl3HandshakeHash(std::span<const std::uint8_t> transcript, std::string_view sender,
                                               const MasterSecret& master);
// TLS 1.0 Finished: PRF(master, label, MD5(transcript) | SHA-1(transcript)), 12 bytes.
std::array<std::uint8_t, 12> TlsFinished(const MasterSecret& master, std::string_view label,
                                         std::span<const std::uint8_t> transcript);
// MD5(transcript) | SHA-1(transcript): what a TLS 1.0 CertificateVerify signs.
std::array<std::uint8_t, 36> TlsHandshakeHash(std::span<const std::uint8_t> transcript);

// SSL 2.0 session keys from the master key: KEY-MATERIAL-n = MD5(master | 'n' |
// challenge | connection id), cut into the client's read and write keys.
struct Ssl2SessionKeys {
  std::vector<std::uint8_t> client_read_key;
  std::vector<std::uint8_t> client_write_key;
};
Ssl2SessionKeys Ssl2KeyMaterial(std::span<const std::uint8_t> master_key, std::span<const std::uint8_t> challenge,
                                std::span<const std::uint8_t> connection_id, CipherKind cipher);
// MD5(secret | data | 32-bit big-endian sequence number).
std::array<std::uint8_t, 16> Ssl2Mac(std::span<const std::uint8_t> secret, std::span<const std::uint8_t> data,
                                     std::uint32_t sequence);

}  // namespace security
