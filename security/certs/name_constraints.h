#pragma once
// nameConstraints of a certification authority applied to the names of a
// certificate below it: the dNSName and iPAddress entries of its
// subjectAltName and, for the server's own certificate when the name check
// falls back to it, the subject CommonName (as an IPv4 address when it is
// written as one, else as a DNS name).
//
// A name must lie in one of the permitted subtrees of its form when there
// are any, and in none of the excluded ones. DNS subtrees compare without
// regard to ASCII case or a final dot; "example.test" covers itself and every
// name below it, ".example.test" only the names below it, "" everything.

#include <span>
#include <string_view>

#include "security/certs/certificate.h"

namespace security {

bool DnsNameInSubtree(std::string_view name, std::string_view subtree);
bool IpAddressInSubtree(std::span<const std::uint8_t> address, const IpSubtree& subtree);

// True when every name of `certificate` satisfies `constraints`; the
// CommonName counts only with `common_name_is_a_name` and when the
// certificate has no dNSName entries.
bool NamesSatisfyConstraints(const Certificate& certificate, const NameConstraints& constraints,
                             bool common_name_is_a_name);

}  // namespace security
