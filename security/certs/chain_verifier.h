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
// and, once a path to a trust anchor is found, its extensions, in this order:
//   4096 a certificate on the path carries a critical extension not enforced here
//   64   the anchor issues but is no certification authority: a trusted
//        end-entity certificate is trusted only as itself
//   2048 extendedKeyUsage of a certificate on the path leaves out serverAuth
//        (and anyExtendedKeyUsage)
//   512  more certificates below an issuer than its pathLenConstraint allows
//   1024 a name (subjectAltName dNSName or iPAddress, or the server's
//        CommonName when it has no dNSName) outside an issuer's nameConstraints
// and the dates of every certificate on the path, the anchor included, add
//   16  one of them has expired
//   32  one of them is not yet valid
// Both stores are only read; they must outlive the verifier. How the server's
// key may be used in the key exchange is checked by the engine itself, with
// KeyUsageAllowsKeyExchange (certificate_usage.h).

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
constexpr std::uint32_t kChainPathLengthExceeded = 512;
constexpr std::uint32_t kChainNameNotPermitted = 1024;
constexpr std::uint32_t kChainUsageNotAllowed = 2048;
constexpr std::uint32_t kChainUnknownCriticalExtension = 4096;

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
