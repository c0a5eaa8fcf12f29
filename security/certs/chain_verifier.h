#pragma once
// ChainVerifier: walks from a server's certificate towards a trust anchor,
// through the trusted store first and the certificates the server sent second.
//
// Result codes (0 means trusted). The walk stops with one of:
//   0   the current certificate's DER is in the trusted store (a trust anchor)
//   1   no issuer found in either store
//   2   the signature does not verify with the issuer's key
//   4   a self-issued certificate whose own signature holds, not trusted
//   6   a self-issued certificate whose own signature fails
//   8   the issuer is the certificate itself
//   64  the issuer is not a trust anchor and not a certification authority
//       (basicConstraints cA missing or false, or keyUsage without keyCertSign)
//   128 a certificate below the trust anchor is signed with MD2 or MD5
//   256 the path is longer than kMaxPathLength (or loops)
// and the dates of every certificate on the path, the anchor included, add
//   16  one of them has expired
//   32  one of them is not yet valid
// Both stores are only read; they must outlive the verifier.

#include <cstdint>
#include <string>

#include "security/certs/certificate_store.h"

namespace security {

constexpr std::uint32_t kChainTrusted = 0;
constexpr std::uint32_t kChainIssuerNotFound = 1;
constexpr std::uint32_t kChainBadSignature = 2;
constexpr std::uint32_t kChainUntrustedSelfSigned = 4;
constexpr std::uint32_t kChainBadSelfSignature = 6;
constexpr std::uint32_t kChainIssuedByItself = 8;
constexpr std::uint32_t kChainExpired = 16;
constexpr std::uint32_t kChainNotYetValid = 32;
constexpr std::uint32_t kChainIssuerNotCa = 64;
constexpr std::uint32_t kChainWeakSignature = 128;
constexpr std::uint32_t kChainTooLong = 256;

class ChainVerifier {
 public:
  static constexpr int kMaxPathLength = 16;

  ChainVerifier(CertificateStore& trusted, CertificateStore& received) : trusted_(trusted), received_(received) {}

  // The result code for `leaf` at `now` (a day number; now when omitted).
  std::uint32_t Verify(const Certificate& leaf);
  std::uint32_t Verify(const Certificate& leaf, double now);

 private:
  CertificateStore& trusted_;
  CertificateStore& received_;
};

// Plain words for a result code, "; "-separated when several bits are set.
std::string DescribeChainResult(std::uint32_t result);

}  // namespace security
