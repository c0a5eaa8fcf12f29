#include "security/certs/name_constraints.h"

#include <array>
#include <optional>
#include <string>

namespace security {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  if (suffix.size() > text.size()) return false;
  const std::size_t start = text.size() - suffix.size();
  for (std::size_t k = 0; k < suffix.size(); ++k) {
    if (Lower(text[start + k]) != Lower(suffix[k])) return false;
  }
  return true;
}

std::string_view WithoutFinalDot(std::string_view name) {
  if (!name.empty() && name.back() == '.') name.remove_suffix(1);
  return name;
}

// Whether some expansion of "*.d" (one label in front of d) lies in the subtree:
// besides the literal test, the subtree may name one host right below d.
bool WildcardMayReach(std::string_view name, std::string_view subtree) {
  name = WithoutFinalDot(name);
  subtree = WithoutFinalDot(subtree);
  if (name.size() < 3 || name[0] != '*' || name[1] != '.' || subtree.empty() || subtree[0] == '.') return false;
  const std::string_view domain = name.substr(1);  // ".d"
  if (subtree.size() <= domain.size() || !EndsWithIgnoringCase(subtree, domain)) return false;
  return subtree.substr(0, subtree.size() - domain.size()).find('.') == std::string_view::npos;
}

bool DnsNameAllowed(std::string_view name, const NameConstraints& constraints) {
  if (!constraints.permitted_dns.empty()) {
    bool inside = false;
    for (const auto& subtree : constraints.permitted_dns) inside = inside || DnsNameInSubtree(name, subtree);
    if (!inside) return false;
  }
  for (const auto& subtree : constraints.excluded_dns) {
    if (DnsNameInSubtree(name, subtree) || WildcardMayReach(name, subtree)) return false;
  }
  return true;
}

bool IpAddressAllowed(std::span<const std::uint8_t> address, const NameConstraints& constraints) {
  if (!constraints.permitted_ip.empty()) {
    bool inside = false;
    for (const auto& subtree : constraints.permitted_ip) inside = inside || IpAddressInSubtree(address, subtree);
    if (!inside) return false;
  }
  for (const auto& subtree : constraints.excluded_ip) {
    if (IpAddressInSubtree(address, subtree)) return false;
  }
  return true;
}

// Four decimal parts of 0-255, as the host-name check reads an address.
std::optional<std::array<std::uint8_t, 4>> DottedIpv4(std::string_view text) {
  std::array<std::uint8_t, 4> address{};
  std::size_t pos = 0;
  for (std::size_t part = 0; part < 4; ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    std::size_t digits = 0;
    unsigned value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 3) {
      value = value * 10 + static_cast<unsigned>(text[pos++] - '0');
      ++digits;
    }
    if (digits == 0 || value > 255) return std::nullopt;
    address[part] = static_cast<std::uint8_t>(value);
  }
  if (pos != text.size()) return std::nullopt;
  return address;
}

}  // namespace

bool DnsNameInSubtree(std::string_view name, std::string_view subtree) {
  name = WithoutFinalDot(name);
  subtree = WithoutFinalDot(subtree);
  if (subtree.empty()) return true;
  if (name.empty()) return false;
  if (subtree[0] == '.') return name.size() > subtree.size() && EndsWithIgnoringCase(name, subtree);
  if (name.size() == subtree.size()) return EndsWithIgnoringCase(name, subtree);
  return name.size() > subtree.size() && EndsWithIgnoringCase(name, subtree) &&
         name[name.size() - subtree.size() - 1] == '.';
}

bool IpAddressInSubtree(std::span<const std::uint8_t> address, const IpSubtree& subtree) {
  if (address.size() != subtree.address.size() || subtree.mask.size() != subtree.address.size()) return false;
  for (std::size_t k = 0; k < address.size(); ++k) {
    if ((address[k] & subtree.mask[k]) != (subtree.address[k] & subtree.mask[k])) return false;
  }
  return true;
}

bool NamesSatisfyConstraints(const Certificate& certificate, const NameConstraints& constraints,
                             bool common_name_is_a_name) {
  for (const auto& name : certificate.DnsNames()) {
    if (!DnsNameAllowed(name, constraints)) return false;
  }
  for (const auto& address : certificate.IpAddresses()) {
    if (!IpAddressAllowed(address, constraints)) return false;
  }
  if (common_name_is_a_name && certificate.DnsNames().empty()) {
    const std::string_view common_name = certificate.Subject().slots[NameFields::kCommonName].text();
    if (const auto address = DottedIpv4(common_name)) return IpAddressAllowed(*address, constraints);
    if (!common_name.empty()) return DnsNameAllowed(common_name, constraints);
  }
  return true;
}

}  // namespace security
