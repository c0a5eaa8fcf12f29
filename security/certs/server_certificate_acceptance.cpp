#include "security/certs/server_certificate_acceptance.h"

#include <algorithm>
#include <array>
#include <optional>

#include "security/certs/chain_verifier.h"

namespace security {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (Lower(a[k]) != Lower(b[k])) return false;
  }
  return true;
}

std::string_view WithoutFinalDot(std::string_view name) {
  if (!name.empty() && name.back() == '.') name.remove_suffix(1);
  return name;
}

// Four decimal parts of 0-255. 0.0.0.0 and 255.255.255.255 do not count as addresses.
std::optional<std::array<std::uint8_t, 4>> DottedIpv4(std::string_view host) {
  std::array<std::uint8_t, 4> address{};
  std::size_t part = 0;
  std::size_t pos = 0;
  while (part < 4) {
    std::size_t digits = 0;
    unsigned value = 0;
    while (pos < host.size() && host[pos] >= '0' && host[pos] <= '9' && digits < 3) {
      value = value * 10 + static_cast<unsigned>(host[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0 || value > 255) return std::nullopt;
    address[part++] = static_cast<std::uint8_t>(value);
    if (part < 4) {
      if (pos >= host.size() || host[pos] != '.') return std::nullopt;
      ++pos;
    }
  }
  if (pos != host.size()) return std::nullopt;
  if (address == std::array<std::uint8_t, 4>{0, 0, 0, 0} ||
      address == std::array<std::uint8_t, 4>{255, 255, 255, 255}) {
    return std::nullopt;
  }
  return address;
}

bool NameMatches(std::string_view pattern, std::string_view host) {
  pattern = WithoutFinalDot(pattern);
  host = WithoutFinalDot(host);
  if (pattern.empty() || host.empty()) return false;
  if (pattern.find('*') == std::string_view::npos) return EqualsIgnoringCase(pattern, host);
  // Only a whole leftmost label may be a wildcard, and it covers exactly one label.
  if (pattern.size() < 3 || pattern[0] != '*' || pattern[1] != '.') return false;
  const std::string_view domain = pattern.substr(2);
  if (domain.find('*') != std::string_view::npos || host.size() <= domain.size() + 1) return false;
  if (domain.find('.') == std::string_view::npos) return false;  // "*.com" would cover a whole top-level domain
  const std::size_t split = host.size() - domain.size();
  const std::string_view label = host.substr(0, split - 1);
  return host[split - 1] == '.' && EqualsIgnoringCase(host.substr(split), domain) &&
         label.find('.') == std::string_view::npos;
}

}  // namespace

bool CertificateMatchesHost(const Certificate& certificate, std::string_view host) {
  if (certificate.IsEmpty()) return false;
  const std::string_view common_name = certificate.Subject().slots[NameFields::kCommonName].text();
  if (const auto address = DottedIpv4(host)) {
    for (const auto& entry : certificate.IpAddresses()) {
      if (entry.size() == 4 && std::equal(entry.begin(), entry.end(), address->begin())) return true;
    }
    return certificate.DnsNames().empty() && certificate.IpAddresses().empty() && common_name == host;
  }
  if (!certificate.DnsNames().empty()) {
    for (const auto& name : certificate.DnsNames()) {
      if (NameMatches(name, host)) return true;
    }
    return false;
  }
  return NameMatches(common_name, host);
}

AcceptanceResult CheckServerCertificate(std::string_view host, const Certificate& leaf, CertificateStore& received,
                                        CertificateStore& trusted, double now) {
  AcceptanceResult result;
  const auto chain = received.All();
  const bool received_leaf = std::any_of(chain.begin(), chain.end(), [&](const CertificatePtr& certificate) {
    return certificate && certificate->Der().ToVector() == leaf.Der().ToVector();
  });
  if (leaf.IsEmpty() || !received_leaf) {
    result.chain_result = kChainIssuerNotFound;
    result.reason = "no certificate received";
    return result;
  }
  result.chain_result = ChainVerifier(trusted, received).Verify(leaf, now);
  if (result.chain_result != kChainTrusted) {
    result.reason = DescribeChainResult(result.chain_result);
    return result;
  }
  if (!CertificateMatchesHost(leaf, host)) {
    result.reason = "certificate does not name " + std::string(host);
    return result;
  }
  result.accepted = true;
  return result;
}

AcceptanceResult CheckServerCertificate(std::string_view host, CertificateStore& received, CertificateStore& trusted,
                                        double now) {
  const auto chain = received.All();
  if (chain.empty() || !chain.back()) {
    AcceptanceResult result;
    result.chain_result = kChainIssuerNotFound;
    result.reason = "no certificate received";
    return result;
  }
  return CheckServerCertificate(host, *chain.back(), received, trusted, now);
}

}  // namespace security
