#pragma once
// Certificates out of a PKCS #7 (CMS) ContentInfo, the form of ".p7b"/".p7c"
// certificate bundles.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace security {

// signedData (1.2.840.113549.1.7.2): the DER of each certificate of its
// certificates set; data (1.2.840.113549.1.7.1): the octets of its content,
// read as one or more DER elements (certificates, or nested ContentInfos).
// Nothing when the input is not such a ContentInfo. Other entries of the
// certificates set (attribute certificates) are skipped; signatures are not
// checked.
std::optional<std::vector<std::vector<std::uint8_t>>> ParsePkcs7Certificates(std::span<const std::uint8_t> der);

}  // namespace security
