#pragma once
// One entry point for the hashes that certificate signatures use, chosen at
// run time by the signature algorithm.

#include <cstdint>
#include <span>
#include <vector>

namespace security {

enum class DigestKind { kMd2, kMd5, kSha1, kSha256, kSha384, kSha512 };

std::vector<std::uint8_t> ComputeDigest(DigestKind kind, std::span<const std::uint8_t> data);

// The DER DigestInfo header (AlgorithmIdentifier with NULL parameters and the
// OCTET STRING header) that precedes a digest in a PKCS #1 signature block.
std::span<const std::uint8_t> DigestInfoPrefix(DigestKind kind);

}  // namespace security
