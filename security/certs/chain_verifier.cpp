#include "security/certs/chain_verifier.h"

#include "security/certs/day_number.h"

namespace security {
namespace {

CertificatePtr FindIssuerIn(const std::vector<CertificatePtr>& stored, const Certificate& certificate) {
  for (const auto& candidate : stored) {
    if (candidate->Subject().SlotsEqual(certificate.Issuer()) && !(candidate->Der() == certificate.Der())) {
      return candidate;
    }
  }
  return nullptr;
}

bool Contains(const std::vector<CertificatePtr>& stored, const Certificate& certificate) {
  for (const auto& candidate : stored) {
    if (candidate->Der() == certificate.Der()) return true;
  }
  return false;
}

std::uint32_t DateBits(const Certificate& certificate, double now) {
  std::uint32_t bits = 0;
  if (now > certificate.NotAfter()) bits |= kChainExpired;
  if (now < certificate.NotBefore()) bits |= kChainNotYetValid;
  return bits;
}

std::uint32_t Walk(const std::vector<CertificatePtr>& trusted, const std::vector<CertificatePtr>& received,
                   const Certificate& leaf, double now, std::uint32_t* dates) {
  const Certificate* current = &leaf;
  CertificatePtr keep;  // holds the issuer being walked to
  for (int depth = 0;; ++depth) {
    *dates |= DateBits(*current, now);
    if (Contains(trusted, *current)) return kChainTrusted;
    if (current->IsSelfIssued()) return current->VerifySelf() ? kChainUntrustedSelfSigned : kChainBadSelfSignature;
    if (depth + 1 >= ChainVerifier::kMaxPathLength) return kChainTooLong;
    bool issuer_trusted = true;
    CertificatePtr issuer = FindIssuerIn(trusted, *current);
    if (!issuer) {
      issuer_trusted = false;
      issuer = FindIssuerIn(received, *current);
    }
    if (!issuer) return kChainIssuerNotFound;
    // Collisions in MD2 and MD5 let a signature be moved to other contents.
    const int kind = current->SignatureKind();
    if (kind == kMd2WithRsa || kind == kMd5WithRsa) return kChainWeakSignature;
    if (!current->VerifySignedBy(*issuer)) return kChainBadSignature;
    if (issuer->Der() == current->Der()) return kChainIssuedByItself;
    // Only a certification authority may vouch for another certificate.
    if (!issuer_trusted && !Contains(trusted, *issuer) && !(issuer->IsCa() && issuer->AllowsCertificateSigning())) {
      return kChainIssuerNotCa;
    }
    keep = issuer;
    current = keep.get();
  }
}

}  // namespace

std::uint32_t ChainVerifier::Verify(const Certificate& leaf) { return Verify(leaf, CurrentDayNumber()); }

std::uint32_t ChainVerifier::Verify(const Certificate& leaf, double now) {
  if (leaf.IsEmpty()) return kChainIssuerNotFound;
  const auto trusted = trusted_.All();
  const auto received = received_.All();
  std::uint32_t dates = 0;
  const std::uint32_t result = Walk(trusted, received, leaf, now, &dates);
  return result | dates;
}

std::string DescribeChainResult(std::uint32_t result) {
  static const struct {
    std::uint32_t code;
    const char* text;
  } kTexts[] = {
      {kChainTooLong, "certificate path too long"},
      {kChainWeakSignature, "certificate signed with MD2 or MD5"},
      {kChainIssuerNotCa, "issuer is not a certification authority"},
      {kChainIssuedByItself, "certificate names itself as issuer"},
      {kChainBadSelfSignature, "self-signed certificate with a bad signature"},
      {kChainUntrustedSelfSigned, "self-signed certificate not trusted"},
      {kChainBadSignature, "signature does not verify with the issuer's key"},
      {kChainIssuerNotFound, "issuer not found among the trusted certificates"},
  };
  if (result == kChainTrusted) return "trusted";
  std::string out;
  const std::uint32_t walk = result & ~(kChainExpired | kChainNotYetValid);
  for (const auto& t : kTexts) {
    if (walk == t.code) out = t.text;
  }
  if (walk != 0 && out.empty()) out = "unknown result";
  if (result & kChainExpired) out += std::string(out.empty() ? "" : "; ") + "certificate expired";
  if (result & kChainNotYetValid) out += std::string(out.empty() ? "" : "; ") + "certificate not yet valid";
  return out;
}

}  // namespace security
