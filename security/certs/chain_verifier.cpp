#include "security/certs/chain_verifier.h"

#include "security/certs/certificate_usage.h"
#include "security/certs/day_number.h"
#include "security/certs/name_constraints.h"

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

// Whether a trusted certificate may vouch for others. A trusted certificate
// that is no certification authority is trusted only as itself (pinned); old
// version 1 roots, which cannot say either way, keep issuing.
bool AnchorMayIssue(const Certificate& anchor) {
  const bool ca = anchor.HasBasicConstraints() ? anchor.IsCa() : anchor.Version() < 3 && anchor.IsSelfIssued();
  return ca && anchor.AllowsCertificateSigning();
}

// Finds the path from the leaf to a trusted certificate: path[0] is the leaf,
// path.back() the trust anchor. Returns a walk result; kChainTrusted only
// with a whole path.
std::uint32_t BuildPath(const std::vector<CertificatePtr>& trusted, const std::vector<CertificatePtr>& received,
                        const Certificate& leaf, double now, std::uint32_t* dates,
                        std::vector<const Certificate*>* path, std::vector<CertificatePtr>* keep) {
  const Certificate* current = &leaf;
  for (int depth = 0;; ++depth) {
    path->push_back(current);
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
    keep->push_back(issuer);
    current = issuer.get();
  }
}

// What the extensions of a whole path say, anchor included: constraints a
// root carries bind everything below it just as an intermediate's do.
std::uint32_t CheckPath(const std::vector<const Certificate*>& path) {
  for (const Certificate* certificate : path) {
    if (UnknownCriticalExtension(*certificate) != nullptr) return kChainUnknownCriticalExtension;
  }
  if (path.size() > 1 && !AnchorMayIssue(*path.back())) return kChainIssuerNotCa;
  for (const Certificate* certificate : path) {
    if (!AllowsServerAuthentication(*certificate)) return kChainUsageNotAllowed;
  }
  for (std::size_t i = 1; i < path.size(); ++i) {
    const Certificate& ca = *path[i];
    if (ca.PathLengthConstraint() >= 0) {
      // Certificates between this one and the leaf; self-issued ones (key
      // rollover) do not count.
      int intermediates = 0;
      for (std::size_t k = 1; k < i; ++k) intermediates += path[k]->IsSelfIssued() ? 0 : 1;
      if (intermediates > ca.PathLengthConstraint()) return kChainPathLengthExceeded;
    }
    if (ca.HasNameConstraints()) {
      for (std::size_t k = 0; k < i; ++k) {
        if (k > 0 && path[k]->IsSelfIssued()) continue;
        if (!NamesSatisfyConstraints(*path[k], ca.Constraints(), k == 0)) return kChainNameNotPermitted;
      }
    }
  }
  return kChainTrusted;
}

}  // namespace

std::uint32_t ChainVerifier::Verify(const Certificate& leaf) { return Verify(leaf, CurrentDayNumber()); }

std::uint32_t ChainVerifier::Verify(const Certificate& leaf, double now) {
  if (leaf.IsEmpty()) return kChainIssuerNotFound;
  const auto trusted = trusted_.All();
  const auto received = received_.All();
  std::uint32_t dates = 0;
  std::vector<const Certificate*> path;
  std::vector<CertificatePtr> keep;  // owns the issuers on the path
  std::uint32_t result = BuildPath(trusted, received, leaf, now, &dates, &path, &keep);
  if (result == kChainTrusted) result = CheckPath(path);
  return result | dates;
}

std::string DescribeChainResult(std::uint32_t result) {
  static const struct {
    std::uint32_t code;
    const char* text;
  } kTexts[] = {
      {kChainUnknownCriticalExtension, "certificate carries an unknown critical extension"},
      {kChainUsageNotAllowed, "certificate not meant for server authentication"},
      {kChainNameNotPermitted, "name outside the issuer's name constraints"},
      {kChainPathLengthExceeded, "issuer's path length constraint exceeded"},
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
