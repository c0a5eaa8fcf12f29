#pragma once
// The TLS 1.0 pseudo-random function (RFC 2246, section 5) with its two
// P_hash expansions, and the TLS 1.2 one (RFC 5246, section 5): a single
// P_hash with the suite's hash. All functions only read their inputs during the call;
// `out` may be of any length (its size is the number of bytes produced).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace security {

// P_MD5(secret, seed) and P_SHA-1(secret, seed), truncated to out.size() bytes.
void PMd5(std::span<const std::uint8_t> secret, std::span<const std::uint8_t> seed, std::span<std::uint8_t> out);
void PSha1(std::span<const std::uint8_t> secret, std::span<const std::uint8_t> seed, std::span<std::uint8_t> out);

// PRF(secret, label, seed) = P_MD5(S1, label + seed) XOR P_SHA-1(S2, label + seed),
// where S1 is the first and S2 the last ceil(n/2) bytes of the n-byte secret
// (they share the middle byte when n is odd). The label is taken as ASCII bytes.
void Prf(std::span<const std::uint8_t> secret, std::string_view label, std::span<const std::uint8_t> seed,
         std::span<std::uint8_t> out);
std::vector<std::uint8_t> Prf(std::span<const std::uint8_t> secret, std::string_view label,
                              std::span<const std::uint8_t> seed, std::size_t length);

// Which PRF a connection runs: TLS 1.0 and 1.1 use the MD5/SHA-1 one, TLS 1.2
// P_SHA256 or, for suites that name it, P_SHA384.
enum class PrfKind { kTls10, kSha256, kSha384 };

void PSha256(std::span<const std::uint8_t> secret, std::span<const std::uint8_t> seed, std::span<std::uint8_t> out);
void PSha384(std::span<const std::uint8_t> secret, std::span<const std::uint8_t> seed, std::span<std::uint8_t> out);

// PRF(secret, label, seed) of the given kind.
void PrfOf(PrfKind kind, std::span<const std::uint8_t> secret, std::string_view label,
           std::span<const std::uint8_t> seed, std::span<std::uint8_t> out);
std::vector<std::uint8_t> PrfOf(PrfKind kind, std::span<const std::uint8_t> secret, std::string_view label,
                                std::span<const std::uint8_t> seed, std::size_t length);

}  // namespace security
