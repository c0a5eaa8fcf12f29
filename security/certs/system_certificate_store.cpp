#include "security/certs/system_certificate_store.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "security/certs/certificate_loader.h"
#include "security/crypto/sha1.h"

namespace security {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool IsRoot(const std::string& name) { return Lower(name) == "root"; }

std::string FileNameFor(const Certificate& certificate) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name;
  for (std::uint8_t b : Sha1::Hash(certificate.Der().bytes())) {
    name.push_back(kDigits[b >> 4]);
    name.push_back(kDigits[b & 15]);
  }
  return name + ".der";
}

}  // namespace

SystemCertificateStore::SystemCertificateStore(std::vector<std::string> names, SystemStoreLocations locations)
    : names_(std::move(names)), locations_(std::move(locations)) {}

std::filesystem::path SystemCertificateStore::FolderOf(const std::string& name) const {
  return locations_.folder / Lower(name);
}

std::vector<SystemCertificateStore::Entry> SystemCertificateStore::ReadEntries(
    const std::vector<std::string>& names) const {
  std::vector<Entry> entries;
  for (const auto& name : names) {
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(FolderOf(name), ec), end; !ec && it != end; it.increment(ec)) {
      // Dot files are left-overs of an interrupted Add.
      if (it->is_regular_file(ec) && it->path().filename().string().front() != '.') files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      auto certificates = LoadCertificateFile(file);
      if (!certificates.empty()) {
        entries.push_back({std::make_shared<const Certificate>(std::move(certificates.front())), file});
      }
    }
    if (IsRoot(name) && !locations_.bundle.empty()) {
      for (auto& certificate : LoadCertificateFile(locations_.bundle)) {
        entries.push_back({std::make_shared<const Certificate>(std::move(certificate)), {}});
      }
    }
  }
  return entries;
}

std::vector<CertificatePtr> SystemCertificateStore::All() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<CertificatePtr> out;
  for (auto& entry : ReadEntries(names_)) out.push_back(std::move(entry.certificate));
  return out;
}

int SystemCertificateStore::Verify(const Certificate& certificate, std::uint32_t* flags, double now) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<CertificatePtr> stored;
  for (auto& entry : ReadEntries(names_)) stored.push_back(std::move(entry.certificate));
  return VerifyAgainst(stored, certificate, flags, now);
}

int SystemCertificateStore::Count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(ReadEntries(names_).size());
}

CertificatePtr SystemCertificateStore::Get(int index) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto entries = ReadEntries(names_);
  if (index < 0 || static_cast<std::size_t>(index) >= entries.size()) return nullptr;
  return entries[static_cast<std::size_t>(index)].certificate;
}

void SystemCertificateStore::Add(const Certificate& certificate) {
  if (certificate.IsEmpty()) throw std::runtime_error("Not a certificate");
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& entry : ReadEntries({"ROOT"})) {
    if (entry.certificate->Der() == certificate.Der()) throw std::runtime_error("Certificate already exists");
  }
  const std::filesystem::path folder = FolderOf("ROOT");
  std::filesystem::create_directories(folder);
  // Written beside and renamed, so that a reader never sees half a file.
  const std::filesystem::path target = folder / FileNameFor(certificate);
  const std::filesystem::path temporary = folder / ("." + FileNameFor(certificate) + ".tmp");
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(certificate.Der().data()),
              static_cast<std::streamsize>(certificate.DerLength()));
    if (!out) throw std::runtime_error("Cannot write " + temporary.string());
  }
  std::filesystem::rename(temporary, target);
}

void SystemCertificateStore::Remove(int index) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto entries = ReadEntries(names_);
  if (index < 0 || static_cast<std::size_t>(index) >= entries.size()) {
    throw std::out_of_range("No such certificate");
  }
  const auto& file = entries[static_cast<std::size_t>(index)].file;
  if (file.empty()) throw std::runtime_error("Certificate is read-only");
  std::filesystem::remove(file);
}

void SystemCertificateStore::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& entry : ReadEntries(names_)) {
    if (!entry.file.empty()) std::filesystem::remove(entry.file);
  }
}

}  // namespace security
