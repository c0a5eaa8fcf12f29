#include "ctl/cert_command.h"

#include <cstdio>
#include <stdexcept>

#include "security/certs/certificate_loader.h"
#include "security/certs/day_number.h"
#include "security/certs/server_certificate_acceptance.h"
#include "security/certs/system_certificate_store.h"

namespace ctl {
namespace {

constexpr const char* kUsage =
    "usage: dictaloctl cert verify HOST CHAIN [--trust FILE] | cert import FILE | cert list | cert remove N";

int Usage(std::ostream& err) {
  err << kUsage << '\n';
  return 2;
}

// The imported certificates only: list and remove number these.
security::SystemCertificateStore UserRootStore() {
  security::SystemStoreLocations locations = security::DefaultSystemStoreLocations();
  locations.bundle.clear();
  return security::SystemCertificateStore({"ROOT"}, locations);
}

std::string Describe(const security::Certificate& certificate) {
  return certificate.Subject().text + " (valid until " +
         security::DayNumberToText(certificate.NotAfter()).substr(0, 10) + ")";
}

int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> positional;
  std::string trust_file;
  for (std::size_t k = 1; k < args.size(); ++k) {
    if (args[k] == "--trust") {
      if (k + 1 >= args.size()) return Usage(err);
      trust_file = args[++k];
    } else {
      positional.push_back(args[k]);
    }
  }
  if (positional.size() != 2) return Usage(err);
  const std::string& host = positional[0];
  const auto chain = security::LoadCertificateFile(positional[1]);
  if (chain.empty()) {
    err << "dictaloctl: no certificate in " << positional[1] << '\n';
    return 2;
  }
  // In the order the TLS engine hands them over: the far end first, the server's own last.
  security::MemoryCertificateStore received;
  for (std::size_t k = chain.size(); k-- > 1;) received.Add(chain[k]);
  received.Add(chain[0]);

  security::AcceptanceResult result;
  if (!trust_file.empty()) {
    const auto anchors = security::LoadCertificateFile(trust_file);
    if (anchors.empty()) {
      err << "dictaloctl: no certificate in " << trust_file << '\n';
      return 2;
    }
    security::MemoryCertificateStore trusted;
    for (const auto& anchor : anchors) trusted.Add(anchor);
    result = security::CheckServerCertificate(host, received, trusted, security::CurrentDayNumber());
  } else {
    security::SystemCertificateStore trusted({"ROOT"}, security::DefaultSystemStoreLocations());
    result = security::CheckServerCertificate(host, received, trusted, security::CurrentDayNumber());
  }
  char code[32];
  std::snprintf(code, sizeof(code), "0x%08X", result.chain_result);
  out << "chain result: " << code << '\n';
  if (result.accepted) {
    out << "accepted\n";
    return 0;
  }
  out << "refused: " << result.reason << '\n';
  return 1;
}

int Import(const std::string& file, std::ostream& out, std::ostream& err) {
  const auto certificates = security::LoadCertificateFile(file);
  if (certificates.empty()) {
    err << "dictaloctl: no certificate in " << file << '\n';
    return 1;
  }
  security::SystemCertificateStore root({"ROOT"}, security::DefaultSystemStoreLocations());
  int failures = 0;
  for (const auto& certificate : certificates) {
    try {
      root.Add(certificate);
      out << "imported: " << Describe(certificate) << '\n';
    } catch (const std::exception& e) {
      err << "dictaloctl: " << certificate.Subject().text << ": " << e.what() << '\n';
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}

int List(std::ostream& out) {
  auto store = UserRootStore();
  const auto certificates = store.All();
  for (std::size_t k = 0; k < certificates.size(); ++k) out << k << "  " << Describe(*certificates[k]) << '\n';
  return 0;
}

int Remove(const std::string& index_text, std::ostream& out, std::ostream& err) {
  int index = -1;
  try {
    std::size_t used = 0;
    index = std::stoi(index_text, &used);
    if (used != index_text.size()) index = -1;
  } catch (const std::exception&) {
  }
  auto store = UserRootStore();
  const auto certificate = store.Get(index);
  if (!certificate) {
    err << "dictaloctl: no imported certificate number " << index_text << " (see: dictaloctl cert list)\n";
    return 1;
  }
  store.Remove(index);
  out << "removed: " << Describe(*certificate) << '\n';
  return 0;
}

}  // namespace

int RunCertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return Usage(err);
  const std::string& verb = args[0];
  try {
    if (verb == "verify") return Verify(args, out, err);
    if (verb == "import" && args.size() == 2) return Import(args[1], out, err);
    if (verb == "list" && args.size() == 1) return List(out);
    if (verb == "remove" && args.size() == 2) return Remove(args[1], out, err);
  } catch (const std::exception& e) {
    err << "dictaloctl: " << e.what() << '\n';
    return 1;
  }
  return Usage(err);
}

}  // namespace ctl
