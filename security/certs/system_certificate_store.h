#pragma once
// SystemCertificateStore: the named certificate stores of the system, opened
// afresh for every operation so that changes made by other processes show.
//
// On Linux a store named NAME is the folder <folder>/<name in lower case>
// holding one DER or PEM file per certificate (the first certificate of each
// file counts; files that hold none are skipped). The store "ROOT" also
// contains the system's CA bundle, read-only, after the folder's entries.
// Indexes run across the named stores in the order given.
//
// Add always writes to the ROOT folder (creating it), refusing a certificate
// whose DER is already in ROOT with std::runtime_error("Certificate already
// exists"). Remove deletes the file of the index-th certificate; removing one
// of the bundle throws std::runtime_error("Certificate is read-only"). Clear
// deletes the folders' certificates and leaves the bundle alone.

#include <filesystem>
#include <string>
#include <vector>

#include "security/certs/certificate_store.h"

namespace security {

struct SystemStoreLocations {
  std::filesystem::path bundle;  // the system CA bundle (PEM); empty for none
  std::filesystem::path folder;  // parent of the per-store folders
};

// The program's locations: the bundle named by SSL_CERT_FILE when set, else
// /etc/ssl/certs/ca-certificates.crt; the folder <config dir>/certificates.
SystemStoreLocations DefaultSystemStoreLocations();

class SystemCertificateStore : public CertificateStore {
 public:
  SystemCertificateStore(std::vector<std::string> names, SystemStoreLocations locations);

  using CertificateStore::Verify;
  int Verify(const Certificate& certificate, std::uint32_t* flags, double now) override;
  int Count() override;
  CertificatePtr Get(int index) override;
  void Add(const Certificate& certificate) override;
  void Remove(int index) override;
  void Clear() override;
  std::vector<CertificatePtr> All() override;

  // The folder of the named store.
  std::filesystem::path FolderOf(const std::string& name) const;

 private:
  struct Entry {
    CertificatePtr certificate;
    std::filesystem::path file;  // empty for bundle entries
  };
  std::vector<Entry> ReadEntries(const std::vector<std::string>& names) const;

  std::mutex mutex_;
  std::vector<std::string> names_;
  SystemStoreLocations locations_;
};

}  // namespace security
