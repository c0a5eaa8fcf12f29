#pragma once
// CertificateStore: an ordered collection of certificates with the checks the
// chain verifier and the TLS client run against it. Every call takes the
// store's lock, so a store may be shared between threads.
//
// Certificates are handed out as shared pointers: a store hands out its own
// object or, for stores that read their certificates from elsewhere, a fresh
// copy; either way it stays valid for as long as the caller keeps it.

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "security/certs/certificate.h"

namespace security {

using CertificatePtr = std::shared_ptr<const Certificate>;

// Flags of Verify.
constexpr std::uint32_t kVerifyNotYetValid = 0x04;
constexpr std::uint32_t kVerifyExpired = 0x08;
constexpr std::uint32_t kVerifyBadSignature = 0x10;
constexpr std::uint32_t kVerifyIssuerNotFound = 0x20;

// Statuses of Verify.
constexpr int kVerifyStatusIssued = 1;      // an issuer in the store signed it (dates fine)
constexpr int kVerifyStatusSelfSigned = 2;  // self-issued and its own signature holds
constexpr int kVerifyStatusFailed = 4;      // dates, signature or issuer problem (see the flags)

class CertificateStore {
 public:
  virtual ~CertificateStore() = default;

  // Checks `certificate` against the stored certificates at `now` (a day
  // number; the current UTC time when omitted): dates, self-signature, or a
  // stored certificate whose subject (slots 0-5) is the certificate's issuer
  // and whose key verifies its signature. Returns a status, sets `flags`.
  int Verify(const Certificate& certificate, std::uint32_t* flags);
  virtual int Verify(const Certificate& certificate, std::uint32_t* flags, double now);

  virtual int Count() = 0;
  // The index-th certificate, or null when the index is out of range.
  virtual CertificatePtr Get(int index) = 0;
  // Stores a copy of `certificate` (with its key blob). May throw
  // std::runtime_error with a reason ("Certificate already exists").
  virtual void Add(const Certificate& certificate) = 0;
  // Throws std::out_of_range ("No such certificate") for a bad index and
  // std::runtime_error when the certificate cannot be removed.
  virtual void Remove(int index) = 0;
  // Adds every certificate of this store to `other`.
  void CopyTo(CertificateStore& other);
  // Index of a stored certificate whose subject equals the certificate's
  // issuer in all seven slots and whose DER differs from it, or -1.
  int FindIssuer(const Certificate& certificate);
  virtual void Clear() = 0;

  // All certificates in index order, read in one pass.
  virtual std::vector<CertificatePtr> All() = 0;

 protected:
  // The Verify steps over `stored`; the caller holds whatever lock it needs.
  static int VerifyAgainst(const std::vector<CertificatePtr>& stored, const Certificate& certificate,
                           std::uint32_t* flags, double now);
};

// Certificates held in memory, in the order they were added (the TLS client's
// store of received certificates).
class MemoryCertificateStore : public CertificateStore {
 public:
  using CertificateStore::Verify;
  int Verify(const Certificate& certificate, std::uint32_t* flags, double now) override;
  int Count() override;
  CertificatePtr Get(int index) override;
  // Parses a fresh copy from the DER (an empty certificate stays an empty
  // entry, so positions keep their meaning) and copies the key blob.
  void Add(const Certificate& certificate) override;
  void Remove(int index) override;
  void Clear() override;
  std::vector<CertificatePtr> All() override;

 private:
  std::mutex mutex_;
  std::vector<CertificatePtr> certificates_;
};

}  // namespace security
