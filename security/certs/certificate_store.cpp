#include "security/certs/certificate_store.h"

#include <stdexcept>

#include "security/certs/day_number.h"

namespace security {

int CertificateStore::Verify(const Certificate& certificate, std::uint32_t* flags) {
  return Verify(certificate, flags, CurrentDayNumber());
}

int CertificateStore::Verify(const Certificate& certificate, std::uint32_t* flags, double now) {
  return VerifyAgainst(All(), certificate, flags, now);
}

int CertificateStore::VerifyAgainst(const std::vector<CertificatePtr>& stored, const Certificate& certificate,
                                    std::uint32_t* flags, double now) {
  std::uint32_t f = kVerifyIssuerNotFound;
  int status = kVerifyStatusIssued;
  if (certificate.NotBefore() > now) {
    f |= kVerifyNotYetValid;
    status = kVerifyStatusFailed;
  }
  if (certificate.NotAfter() < now) {
    f |= kVerifyExpired;
    status = kVerifyStatusFailed;
  }
  if (certificate.IsSelfIssued()) {
    f &= ~kVerifyIssuerNotFound;
    if (certificate.VerifySelf()) {
      *flags = f;
      return kVerifyStatusSelfSigned;
    }
    *flags = f | kVerifyBadSignature;
    return kVerifyStatusFailed;
  }
  // A candidate that fails (another certificate with the same name) does not
  // count against the one that verifies: only the dates remain.
  const int dates_status = status;
  for (const auto& candidate : stored) {
    if (!candidate->Subject().SlotsEqual(certificate.Issuer(), 6)) continue;
    if (certificate.VerifySignedBy(*candidate)) {
      *flags = f & ~(kVerifyBadSignature | kVerifyIssuerNotFound);
      return dates_status;
    }
    f |= kVerifyBadSignature;
    status = kVerifyStatusFailed;
  }
  *flags = f;
  return (f & kVerifyIssuerNotFound) != 0 ? kVerifyStatusFailed : status;
}

void CertificateStore::CopyTo(CertificateStore& other) {
  for (const auto& certificate : All()) other.Add(*certificate);
}

int CertificateStore::FindIssuer(const Certificate& certificate) {
  const auto stored = All();
  for (std::size_t k = 0; k < stored.size(); ++k) {
    if (stored[k]->Subject().SlotsEqual(certificate.Issuer()) && !(stored[k]->Der() == certificate.Der())) {
      return static_cast<int>(k);
    }
  }
  return -1;
}

int MemoryCertificateStore::Verify(const Certificate& certificate, std::uint32_t* flags, double now) {
  std::lock_guard<std::mutex> lock(mutex_);
  return VerifyAgainst(certificates_, certificate, flags, now);
}

int MemoryCertificateStore::Count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(certificates_.size());
}

CertificatePtr MemoryCertificateStore::Get(int index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index < 0 || static_cast<std::size_t>(index) >= certificates_.size()) return nullptr;
  return certificates_[static_cast<std::size_t>(index)];
}

void MemoryCertificateStore::Add(const Certificate& certificate) {
  auto copy = std::make_shared<Certificate>(certificate.Der().bytes());
  const ByteBuffer& blob = certificate.KeyBlob();
  copy->ImportKeyBlob(blob.data(), blob.size());
  std::lock_guard<std::mutex> lock(mutex_);
  certificates_.push_back(std::move(copy));
}

void MemoryCertificateStore::Remove(int index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index < 0 || static_cast<std::size_t>(index) >= certificates_.size()) {
    throw std::out_of_range("No such certificate");
  }
  certificates_.erase(certificates_.begin() + index);
}

void MemoryCertificateStore::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  certificates_.clear();
}

std::vector<CertificatePtr> MemoryCertificateStore::All() {
  std::lock_guard<std::mutex> lock(mutex_);
  return certificates_;
}

}  // namespace security
