#include "security/certs/certificate.h"

#include <algorithm>
#include <cstring>

#include "security/certs/certificate_internal.h"
#include "security/certs/day_number.h"
#include "security/certs/der_reader.h"
#include "security/certs/signature_value.h"

namespace security {
namespace {

constexpr const char* kAlgorithmOids[] = {
    "1.2.840.113549.1.1.1",   // rsaEncryption
    "1.2.840.113549.1.1.2",   // md2WithRSAEncryption
    "1.2.840.113549.1.1.4",   // md5WithRSAEncryption
    "1.2.840.113549.1.1.5",   // sha1WithRSAEncryption
    "1.2.840.10040.4.1",      // id-dsa
    "1.2.840.10040.4.3",      // dsa-with-sha1
    "1.2.840.10046.2.1",      // dhpublicnumber
    "1.2.840.113549.1.1.11",  // sha256WithRSAEncryption
    "1.2.840.113549.1.1.12",  // sha384WithRSAEncryption
    "1.2.840.113549.1.1.13",  // sha512WithRSAEncryption
    "1.2.840.10045.2.1",      // id-ecPublicKey
    "1.2.840.10045.4.3.2",    // ecdsa-with-SHA256
    "1.2.840.10045.4.3.3",    // ecdsa-with-SHA384
};

constexpr const char* kP256Oid = "1.2.840.10045.3.1.7";
constexpr const char* kP384Oid = "1.3.132.0.34";

std::optional<DigestKind> RsaSignatureDigest(int kind) {
  switch (kind) {
    case kMd2WithRsa: return DigestKind::kMd2;
    case kMd5WithRsa: return DigestKind::kMd5;
    case kSha1WithRsa: return DigestKind::kSha1;
    case kSha256WithRsa: return DigestKind::kSha256;
    case kSha384WithRsa: return DigestKind::kSha384;
    case kSha512WithRsa: return DigestKind::kSha512;
    default: return std::nullopt;
  }
}

std::optional<double> ParseTime(const DerElement& element) {
  const std::string_view text(reinterpret_cast<const char*>(element.contents.data()), element.contents.size());
  if (element.Is(der::kUtcTime)) return ParseUtcTime(text);
  if (element.Is(der::kGeneralizedTime)) return ParseGeneralizedTime(text);
  return std::nullopt;
}

// Reads the next INTEGER as an unsigned value.
std::optional<ByteBuffer> ReadUnsigned(DerReader& reader) {
  const auto element = reader.Expect(der::kInteger);
  if (!element) return std::nullopt;
  const auto bytes = UnsignedIntegerBytes(element->contents);
  if (!bytes) return std::nullopt;
  return ByteBuffer(*bytes);
}

// Copies `values` into the caller's buffers under the size contract of the Get*Key calls.
int CopyOut(std::initializer_list<std::pair<const ByteBuffer*, std::pair<std::uint8_t*, std::size_t*>>> values) {
  bool fits = true;
  for (const auto& [value, buffer] : values) {
    if (buffer.second == nullptr) return 0;
    if (buffer.first == nullptr || *buffer.second < value->size()) fits = false;
  }
  for (const auto& [value, buffer] : values) {
    if (fits && value->size() != 0) std::memcpy(buffer.first, value->data(), value->size());
    *buffer.second = value->size();
  }
  return fits ? 1 : 0;
}

// Keys beyond 4096 bits are not used: the arithmetic is sized for moduli up to
// that, and a larger key would only let a peer make verification slow.
constexpr std::size_t kMaxKeyValueBytes = 512;

BigNumber Number(const ByteBuffer& bytes) { return BigNumber::FromBytes(bytes.bytes()); }

}  // namespace

bool IsRsaKeyKind(int kind) {
  return (kind >= kRsaEncryption && kind <= kSha1WithRsa) || (kind >= kSha256WithRsa && kind <= kSha512WithRsa);
}

std::string_view AlgorithmOid(int kind) {
  if (kind < 0 || kind >= static_cast<int>(std::size(kAlgorithmOids))) return {};
  return kAlgorithmOids[kind];
}

int AlgorithmKindOf(std::string_view oid) {
  for (std::size_t k = 0; k < std::size(kAlgorithmOids); ++k) {
    if (oid == kAlgorithmOids[k]) return static_cast<int>(k);
  }
  return kUnknownAlgorithm;
}

void Certificate::Clear() { *this = Certificate(); }

bool Certificate::Parse(std::span<const std::uint8_t> der) {
  Clear();
  if (der.size() > kMaxDerSize) return false;
  DerReader outer(der);
  const auto certificate = outer.Expect(der::kSequence);
  if (!certificate || !outer.AtEnd()) return false;
  DerReader parts(certificate->contents);
  const auto tbs = parts.Expect(der::kSequence);
  const auto algorithm = parts.Expect(der::kSequence);
  const auto signature = parts.Expect(der::kBitString);
  if (!tbs || !algorithm || !signature || !parts.AtEnd()) return false;

  std::string inner_signature_oid;
  if (!ParseTbs(tbs->contents, &inner_signature_oid)) {
    Clear();
    return false;
  }
  DerReader algorithm_fields(algorithm->contents);
  const auto oid = algorithm_fields.Expect(der::kOid);
  const auto bits = WholeBytesOfBitString(signature->contents);
  if (!oid || !bits) {
    Clear();
    return false;
  }
  const std::string outer_oid = OidToText(oid->contents);
  // The algorithm outside must be the one signed inside; otherwise no kind.
  signature_kind_ = outer_oid == inner_signature_oid ? AlgorithmKindOf(outer_oid) : kUnknownAlgorithm;
  signature_ = ByteBuffer(*bits);
  der_ = ByteBuffer(der);
  tbs_offset_ = static_cast<std::size_t>(tbs->encoded.data() - der.data());
  tbs_length_ = tbs->encoded.size();
  return true;
}

bool Certificate::ParseTbs(std::span<const std::uint8_t> tbs, std::string* signature_oid) {
  DerReader fields(tbs);
  version_ = 1;
  if (const auto explicit_version = fields.NextIf(der::ContextConstructed(0))) {
    DerReader inner(explicit_version->contents);
    const auto value = inner.Expect(der::kInteger);
    if (!value || value->contents.size() != 1 || value->contents[0] > 2 || !inner.AtEnd()) return false;
    version_ = value->contents[0] + 1;
  }
  const auto serial = fields.Expect(der::kInteger);
  const auto algorithm = fields.Expect(der::kSequence);
  const auto issuer = fields.Expect(der::kSequence);
  const auto validity = fields.Expect(der::kSequence);
  const auto subject = fields.Expect(der::kSequence);
  const auto spki = fields.Expect(der::kSequence);
  if (!serial || !algorithm || !issuer || !validity || !subject || !spki) return false;
  serial_ = ByteBuffer(serial->contents);

  DerReader algorithm_fields(algorithm->contents);
  const auto oid = algorithm_fields.Expect(der::kOid);
  if (!oid) return false;
  *signature_oid = OidToText(oid->contents);

  if (!internal::ParseName(issuer->contents, &issuer_) || !internal::ParseName(subject->contents, &subject_)) {
    return false;
  }

  DerReader dates(validity->contents);
  const auto not_before = dates.Next();
  const auto not_after = dates.Next();
  if (!not_before || !not_after || !dates.AtEnd()) return false;
  const auto before = ParseTime(*not_before);
  const auto after = ParseTime(*not_after);
  if (!before || !after) return false;
  not_before_ = *before;
  not_after_ = *after;

  if (!ParsePublicKey(spki->contents)) return false;

  fields.NextIf(der::ContextPrimitive(1));  // issuerUniqueID
  fields.NextIf(der::ContextPrimitive(2));  // subjectUniqueID
  if (const auto extensions = fields.NextIf(der::ContextConstructed(3))) {
    DerReader wrapper(extensions->contents);
    const auto list = wrapper.Expect(der::kSequence);
    internal::ExtensionSummary summary;
    if (!list || !wrapper.AtEnd() || !internal::ParseExtensions(list->contents, &summary)) return false;
    extensions_ = std::move(summary.extensions);
    has_basic_constraints_ = summary.has_basic_constraints;
    is_ca_ = summary.is_ca;
    has_key_usage_ = summary.has_key_usage;
    key_cert_sign_ = summary.key_cert_sign;
    key_usage_bits_ = summary.key_usage_bits;
    path_length_constraint_ = summary.path_length_constraint;
    has_extended_key_usage_ = summary.has_extended_key_usage;
    extended_key_usages_ = std::move(summary.extended_key_usages);
    has_name_constraints_ = summary.has_name_constraints;
    name_constraints_ = std::move(summary.name_constraints);
    dns_names_ = std::move(summary.dns_names);
    ip_addresses_ = std::move(summary.ip_addresses);
  }
  return fields.AtEnd() && !fields.Failed();
}

bool Certificate::ParsePublicKey(std::span<const std::uint8_t> spki) {
  DerReader fields(spki);
  const auto algorithm = fields.Expect(der::kSequence);
  const auto key_bits = fields.Expect(der::kBitString);
  if (!algorithm || !key_bits || !fields.AtEnd()) return false;
  DerReader algorithm_fields(algorithm->contents);
  const auto oid = algorithm_fields.Expect(der::kOid);
  if (!oid) return false;
  key_kind_ = AlgorithmKindOf(OidToText(oid->contents));
  const auto key = WholeBytesOfBitString(key_bits->contents);

  if (IsRsaKeyKind(key_kind_)) {
    // RSAPublicKey ::= SEQUENCE { modulus INTEGER, publicExponent INTEGER }
    if (!key) return false;
    DerReader outer(*key);
    const auto sequence = outer.Expect(der::kSequence);
    if (!sequence || !outer.AtEnd()) return false;
    DerReader values(sequence->contents);
    const auto modulus = ReadUnsigned(values);
    const auto exponent = ReadUnsigned(values);
    if (!modulus || !exponent || !values.AtEnd()) return false;
    key_values_ = {*modulus, *exponent, ByteBuffer(), ByteBuffer()};
    return true;
  }
  if (key_kind_ == kIdDsa || key_kind_ == kDsaWithSha1 || key_kind_ == kDhPublicNumber) {
    // DSA parameters: SEQUENCE { p, q, g }; X9.42 DH parameters: SEQUENCE { p, g, q, ... }.
    // The public value is an INTEGER inside the BIT STRING.
    if (!key) return false;
    const auto parameters = algorithm_fields.Expect(der::kSequence);
    if (!parameters) return false;
    DerReader values(parameters->contents);
    const auto first = ReadUnsigned(values);
    const auto second = ReadUnsigned(values);
    const auto third = ReadUnsigned(values);
    if (!first || !second || !third) return false;
    if (key_kind_ != kDhPublicNumber && !values.AtEnd()) return false;
    DerReader public_value(*key);
    const auto y = ReadUnsigned(public_value);
    if (!y || !public_value.AtEnd()) return false;
    if (key_kind_ == kDhPublicNumber) {
      key_values_ = {*first, *second, *y, ByteBuffer()};  // p, g, y
    } else {
      key_values_ = {*first, *second, *third, *y};  // p, q, g, y
    }
    return true;
  }
  if (key_kind_ == kIdEcPublicKey) {
    // ECParameters as a namedCurve OID; the BIT STRING is the point itself.
    const auto curve_oid = algorithm_fields.Expect(der::kOid);
    if (!curve_oid || !key) return false;
    const std::string curve = OidToText(curve_oid->contents);
    std::uint16_t named = 0;
    if (curve == kP256Oid) named = static_cast<std::uint16_t>(NamedCurve::kP256);
    if (curve == kP384Oid) named = static_cast<std::uint16_t>(NamedCurve::kP384);
    if (named == 0) {
      key_kind_ = kUnknownAlgorithm;  // a curve we cannot use
      return true;
    }
    const std::uint8_t named_bytes[2] = {static_cast<std::uint8_t>(named >> 8), static_cast<std::uint8_t>(named)};
    key_values_ = {ByteBuffer(*key), ByteBuffer(std::span<const std::uint8_t>(named_bytes)), ByteBuffer(), ByteBuffer()};
    return true;
  }
  return true;  // another kind of key: kept as unknown
}

std::optional<Certificate::EcKeyInfo> Certificate::EcKey() const {
  if (IsEmpty() || key_kind_ != kIdEcPublicKey || key_values_[1].size() != 2) return std::nullopt;
  const auto named = static_cast<NamedCurve>(key_values_[1].bytes()[0] << 8 | key_values_[1].bytes()[1]);
  const auto point = key_values_[0].bytes();
  if (!EcIsValidPoint(named, point)) return std::nullopt;
  return EcKeyInfo{named, std::vector<std::uint8_t>(point.begin(), point.end())};
}

bool Certificate::IsSelfIssued() const { return !IsEmpty() && issuer_.text == subject_.text; }

bool Certificate::VerifySignedBy(const Certificate& issuer) const {
  if (IsEmpty() || issuer.IsEmpty()) return false;
  if (const auto digest_kind = RsaSignatureDigest(signature_kind_)) {
    if (issuer.key_kind_ != kRsaEncryption) return false;
    const auto key = issuer.RsaKey();
    if (!key) return false;
    return RsaVerifyDigest(*key, signature_.bytes(), *digest_kind, ComputeDigest(*digest_kind, Tbs()));
  }
  if (signature_kind_ == kEcdsaWithSha256 || signature_kind_ == kEcdsaWithSha384) {
    const auto key = issuer.EcKey();
    if (!key) return false;
    const DigestKind digest = signature_kind_ == kEcdsaWithSha256 ? DigestKind::kSha256 : DigestKind::kSha384;
    return EcdsaVerify(key->curve, key->point, ComputeDigest(digest, Tbs()), signature_.bytes());
  }
  if (signature_kind_ == kDsaWithSha1) {
    if (issuer.key_kind_ != kIdDsa && issuer.key_kind_ != kDsaWithSha1) return false;
    const auto key = issuer.DsaKey();
    if (!key) return false;
    return DsaVerifyDer(*key, ComputeDigest(DigestKind::kSha1, Tbs()), signature_.bytes());
  }
  return false;
}

int Certificate::GetRsaKey(std::uint8_t* modulus, std::size_t* modulus_length, std::uint8_t* exponent,
                           std::size_t* exponent_length) const {
  if (IsEmpty() || !IsRsaKeyKind(key_kind_)) {
    if (modulus_length) *modulus_length = 0;
    if (exponent_length) *exponent_length = 0;
    return 0;
  }
  return CopyOut({{&key_values_[0], {modulus, modulus_length}}, {&key_values_[1], {exponent, exponent_length}}});
}

int Certificate::GetDhKey(std::uint8_t* p, std::size_t* p_length, std::uint8_t* g, std::size_t* g_length,
                          std::uint8_t* y, std::size_t* y_length) const {
  if (IsEmpty() || key_kind_ != kDhPublicNumber) {
    for (std::size_t* length : {p_length, g_length, y_length}) {
      if (length) *length = 0;
    }
    return 0;
  }
  return CopyOut({{&key_values_[0], {p, p_length}}, {&key_values_[1], {g, g_length}}, {&key_values_[2], {y, y_length}}});
}

int Certificate::GetDsaKey(std::uint8_t* p, std::size_t* p_length, std::uint8_t* q, std::size_t* q_length,
                           std::uint8_t* g, std::size_t* g_length, std::uint8_t* y, std::size_t* y_length) const {
  if (IsEmpty() || (key_kind_ != kIdDsa && key_kind_ != kDsaWithSha1)) {
    for (std::size_t* length : {p_length, q_length, g_length, y_length}) {
      if (length) *length = 0;
    }
    return 0;
  }
  return CopyOut({{&key_values_[0], {p, p_length}},
                  {&key_values_[1], {q, q_length}},
                  {&key_values_[2], {g, g_length}},
                  {&key_values_[3], {y, y_length}}});
}

std::optional<RsaPublicKey> Certificate::RsaKey() const {
  if (IsEmpty() || !IsRsaKeyKind(key_kind_)) return std::nullopt;
  if (key_values_[0].size() > kMaxKeyValueBytes || key_values_[1].size() > kMaxKeyValueBytes) return std::nullopt;
  return RsaPublicKey{Number(key_values_[0]), Number(key_values_[1])};
}

std::optional<DsaPublicKey> Certificate::DsaKey() const {
  if (IsEmpty() || (key_kind_ != kIdDsa && key_kind_ != kDsaWithSha1)) return std::nullopt;
  for (const auto& value : key_values_) {
    if (value.size() > kMaxKeyValueBytes) return std::nullopt;
  }
  return DsaPublicKey{Number(key_values_[0]), Number(key_values_[1]), Number(key_values_[2]), Number(key_values_[3])};
}

int Certificate::ExportKeyBlob(std::uint8_t* buffer, std::size_t* length) const {
  if (length == nullptr) return 0;
  if (buffer == nullptr || *length < key_blob_.size()) {
    *length = key_blob_.size();
    return 0;
  }
  if (!key_blob_.empty()) std::memcpy(buffer, key_blob_.data(), key_blob_.size());
  *length = key_blob_.size();
  return 1;
}

int Certificate::ImportKeyBlob(const std::uint8_t* buffer, std::size_t length) {
  if (length > kMaxKeyBlobSize || (buffer == nullptr && length != 0)) return 0;
  key_blob_ = length == 0 ? ByteBuffer() : ByteBuffer(std::span<const std::uint8_t>(buffer, length));
  return 1;
}

}  // namespace security
