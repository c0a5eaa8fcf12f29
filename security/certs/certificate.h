#pragma once
// Certificate: one parsed X.509 certificate (DER), with the fields the TLS
// engine, the stores and the chain verifier need, its public key and, for a
// client certificate, the blob of its private key.
//
// Parse keeps its own copy of the DER (at most kMaxDerSize bytes); input that
// is longer, malformed, or followed by extra bytes leaves the object empty
// (IsEmpty), and every verification with an empty certificate fails.
// Certificates are values; fields are ByteBuffers that share their bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "security/crypto/byte_buffer.h"
#include "security/crypto/digest.h"
#include "security/crypto/dsa.h"
#include "security/crypto/elliptic_curve.h"
#include "security/crypto/rsa.h"

namespace security {

// Positions in the algorithm table; SignatureKind and KeyKind are both such a
// position. 0-6 are the historical entries, 7-9 the SHA-2 signatures that
// current certificate authorities use, 10-12 elliptic curve keys (P-256,
// P-384) and their ECDSA signatures. Any other OID is kUnknownAlgorithm.
enum AlgorithmKind : int {
  kRsaEncryption = 0,
  kMd2WithRsa = 1,
  kMd5WithRsa = 2,
  kSha1WithRsa = 3,
  kIdDsa = 4,
  kDsaWithSha1 = 5,
  kDhPublicNumber = 6,
  kSha256WithRsa = 7,
  kSha384WithRsa = 8,
  kSha512WithRsa = 9,
  kIdEcPublicKey = 10,
  kEcdsaWithSha256 = 11,
  kEcdsaWithSha384 = 12,
  kUnknownAlgorithm = 255,
};

// Kinds whose key is an RSA key (the TLS engine takes modulus and exponent).
bool IsRsaKeyKind(int kind);
// The dotted OID of a table entry, or empty.
std::string_view AlgorithmOid(int kind);
// The table position of a dotted OID, or kUnknownAlgorithm.
int AlgorithmKindOf(std::string_view oid);

// A distinguished name: seven attribute slots and the whole name as text.
struct NameFields {
  enum Slot : int {
    kCountry = 0,           // 2.5.4.6
    kStateOrProvince = 1,   // 2.5.4.8
    kLocality = 2,          // 2.5.4.7
    kOrganization = 3,      // 2.5.4.10
    kOrganizationUnit = 4,  // 2.5.4.11
    kCommonName = 5,        // 2.5.4.3
    kEmailAddress = 6,      // 1.2.840.113549.1.9.1
  };
  static constexpr int kSlotCount = 7;

  // Attribute values as encoded (string contents without their tag). When an
  // attribute repeats, the slot keeps the last one (the most specific).
  std::array<ByteBuffer, kSlotCount> slots;
  // Every attribute in order, "C=US, O=Example, CN=host", unknown types by
  // their dotted OID; BMP and universal strings with non-ASCII characters as
  // \uXXXX / \UXXXXXXXX escapes.
  std::string text;

  // Equal in the first `count` slots.
  bool SlotsEqual(const NameFields& other, int count = kSlotCount) const;
};

// Display name of a name attribute OID: "CommonName", "Country", "Locality",
// "StateOrProvince", "Organization", "OrganizationUnit", else "UnknownField".
std::string AttributeName(std::string_view oid);

struct CertificateExtension {
  std::string oid;
  std::string name;  // display name from the extension table, else the OID
  bool critical = false;
  ByteBuffer value;  // the extnValue octets
};

// Display name of an extension OID from the table, or empty for other OIDs.
std::string ExtensionDisplayName(std::string_view oid);

// keyUsage bits, digitalSignature (bit 0 of the BIT STRING) as the top bit.
enum KeyUsageBit : std::uint16_t {
  kKeyUsageDigitalSignature = 0x8000,
  kKeyUsageNonRepudiation = 0x4000,
  kKeyUsageKeyEncipherment = 0x2000,
  kKeyUsageDataEncipherment = 0x1000,
  kKeyUsageKeyAgreement = 0x0800,
  kKeyUsageKeyCertSign = 0x0400,
  kKeyUsageCrlSign = 0x0200,
  kKeyUsageEncipherOnly = 0x0100,
  kKeyUsageDecipherOnly = 0x0080,
};

// An iPAddress subtree of nameConstraints: address and mask of equal length
// (4 bytes each for IPv4, 16 for IPv6).
struct IpSubtree {
  std::vector<std::uint8_t> address;
  std::vector<std::uint8_t> mask;
};

// The dNSName and iPAddress subtrees of a nameConstraints extension; other
// name forms are not kept (no name of those forms is ever checked).
struct NameConstraints {
  std::vector<std::string> permitted_dns;
  std::vector<std::string> excluded_dns;
  std::vector<IpSubtree> permitted_ip;
  std::vector<IpSubtree> excluded_ip;
};

class Certificate {
 public:
  static constexpr std::size_t kMaxDerSize = 32768;
  static constexpr std::size_t kMaxKeyBlobSize = 2048;

  Certificate() = default;
  Certificate(std::span<const std::uint8_t> der) { Parse(der); }

  // Replaces the whole content, key blob included; returns false (and leaves
  // the object empty) when the input is not one well-formed certificate of at
  // most kMaxDerSize bytes.
  bool Parse(std::span<const std::uint8_t> der);
  bool Parse(const std::uint8_t* der, std::size_t length) { return Parse({der, length}); }

  bool IsEmpty() const { return der_.empty(); }
  const ByteBuffer& Der() const { return der_; }
  std::size_t DerLength() const { return der_.size(); }
  // The to-be-signed part: offset and length within the DER.
  std::size_t TbsOffset() const { return tbs_offset_; }
  std::size_t TbsLength() const { return tbs_length_; }
  std::span<const std::uint8_t> Tbs() const { return der_.bytes().subspan(tbs_offset_, tbs_length_); }

  int Version() const { return version_; }  // 1, 2 or 3
  const ByteBuffer& SerialNumber() const { return serial_; }
  const NameFields& Issuer() const { return issuer_; }
  const NameFields& Subject() const { return subject_; }
  double NotBefore() const { return not_before_; }
  double NotAfter() const { return not_after_; }
  int SignatureKind() const { return signature_kind_; }
  const ByteBuffer& Signature() const { return signature_; }
  int KeyKind() const { return key_kind_; }
  const std::vector<CertificateExtension>& Extensions() const { return extensions_; }

  // What the extensions say, decoded.
  bool HasBasicConstraints() const { return has_basic_constraints_; }
  bool IsCa() const { return is_ca_; }
  bool HasKeyUsage() const { return has_key_usage_; }
  bool AllowsCertificateSigning() const { return !has_key_usage_ || key_cert_sign_; }
  // All KeyUsageBit values the keyUsage extension sets (0 without one).
  std::uint16_t KeyUsageBits() const { return key_usage_bits_; }
  // basicConstraints pathLenConstraint, or -1 when absent (no limit).
  int PathLengthConstraint() const { return path_length_constraint_; }
  // extendedKeyUsage purposes as dotted OIDs (empty without the extension).
  bool HasExtendedKeyUsage() const { return has_extended_key_usage_; }
  const std::vector<std::string>& ExtendedKeyUsages() const { return extended_key_usages_; }
  bool HasNameConstraints() const { return has_name_constraints_; }
  const NameConstraints& Constraints() const { return name_constraints_; }
  // subjectAltName dNSName entries (as encoded) and iPAddress entries (4 or 16 bytes).
  const std::vector<std::string>& DnsNames() const { return dns_names_; }
  const std::vector<std::vector<std::uint8_t>>& IpAddresses() const { return ip_addresses_; }

  // issuer name text equals subject name text.
  bool IsSelfIssued() const;
  // The signature checks with the certificate's own key.
  bool VerifySelf() const { return VerifySignedBy(*this); }
  // The signature checks with the issuer's key: RSA signatures (kinds 1-3 and
  // 7-9) need an issuer key of kind 0, dsa-with-sha1 (5) one of kind 4 or 5;
  // any other kind, and an empty certificate, gives false.
  bool VerifySignedBy(const Certificate& issuer) const;

  // Copy the key values (big-endian, no leading zeros) into the caller's
  // buffers. Each length holds the room on entry and the size on return; when
  // a buffer is too small (or null) nothing is copied, the needed sizes are
  // stored and the call returns 0. A key of another kind returns 0 with the
  // lengths set to 0. 1 on success.
  int GetRsaKey(std::uint8_t* modulus, std::size_t* modulus_length, std::uint8_t* exponent,
                std::size_t* exponent_length) const;
  int GetDhKey(std::uint8_t* p, std::size_t* p_length, std::uint8_t* g, std::size_t* g_length, std::uint8_t* y,
               std::size_t* y_length) const;
  int GetDsaKey(std::uint8_t* p, std::size_t* p_length, std::uint8_t* q, std::size_t* q_length, std::uint8_t* g,
                std::size_t* g_length, std::uint8_t* y, std::size_t* y_length) const;
  // The same keys as numbers, or nothing for another kind or for values
  // longer than 4096 bits (such keys verify nothing).
  std::optional<RsaPublicKey> RsaKey() const;
  std::optional<DsaPublicKey> DsaKey() const;
  // An elliptic curve key on a curve this program knows: the curve and the
  // uncompressed point; nothing for another kind or curve.
  struct EcKeyInfo {
    NamedCurve curve;
    std::vector<std::uint8_t> point;
  };
  std::optional<EcKeyInfo> EcKey() const;

  // The private key blob of a client certificate (see rsa.h for its layout).
  // Export: as the Get*Key calls, with one buffer. Import: returns 0 and keeps
  // the old blob when the blob is longer than kMaxKeyBlobSize.
  int ExportKeyBlob(std::uint8_t* buffer, std::size_t* length) const;
  int ImportKeyBlob(const std::uint8_t* buffer, std::size_t length);
  const ByteBuffer& KeyBlob() const { return key_blob_; }

 private:
  void Clear();
  bool ParseTbs(std::span<const std::uint8_t> tbs, std::string* signature_oid);
  bool ParsePublicKey(std::span<const std::uint8_t> spki);

  ByteBuffer der_;
  std::size_t tbs_offset_ = 0;
  std::size_t tbs_length_ = 0;
  int version_ = 0;
  ByteBuffer serial_;
  NameFields issuer_;
  NameFields subject_;
  double not_before_ = 0;
  double not_after_ = 0;
  int signature_kind_ = kUnknownAlgorithm;
  ByteBuffer signature_;
  int key_kind_ = kUnknownAlgorithm;
  // RSA: modulus, exponent. DSA: p, q, g, y. DH: p, g, y. EC: the point, and the
  // curve's number (NamedCurve) as two bytes.
  std::array<ByteBuffer, 4> key_values_;
  std::vector<CertificateExtension> extensions_;
  bool has_basic_constraints_ = false;
  bool is_ca_ = false;
  bool has_key_usage_ = false;
  bool key_cert_sign_ = false;
  std::uint16_t key_usage_bits_ = 0;
  int path_length_constraint_ = -1;
  bool has_extended_key_usage_ = false;
  std::vector<std::string> extended_key_usages_;
  bool has_name_constraints_ = false;
  NameConstraints name_constraints_;
  std::vector<std::string> dns_names_;
  std::vector<std::vector<std::uint8_t>> ip_addresses_;
  ByteBuffer key_blob_;
};

}  // namespace security
