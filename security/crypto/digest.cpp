#include "security/crypto/digest.h"

#include "security/crypto/md2.h"
#include "security/crypto/md5.h"
#include "security/crypto/sha1.h"
#include "security/crypto/sha256.h"
#include "security/crypto/sha512.h"

namespace security {
namespace {

template <typename Hash>
std::vector<std::uint8_t> HashOf(std::span<const std::uint8_t> data) {
  const auto digest = Hash::Hash(data);
  return std::vector<std::uint8_t>(digest.begin(), digest.end());
}

constexpr std::uint8_t kMd2Prefix[] = {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                       0x86, 0xf7, 0x0d, 0x02, 0x02, 0x05, 0x00, 0x04, 0x10};
constexpr std::uint8_t kMd5Prefix[] = {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                       0x86, 0xf7, 0x0d, 0x02, 0x05, 0x05, 0x00, 0x04, 0x10};
constexpr std::uint8_t kSha1Prefix[] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
                                        0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};
constexpr std::uint8_t kSha256Prefix[] = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                          0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
constexpr std::uint8_t kSha384Prefix[] = {0x30, 0x41, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                          0x65, 0x03, 0x04, 0x02, 0x02, 0x05, 0x00, 0x04, 0x30};
constexpr std::uint8_t kSha512Prefix[] = {0x30, 0x51, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                          0x65, 0x03, 0x04, 0x02, 0x03, 0x05, 0x00, 0x04, 0x40};

}  // namespace

std::vector<std::uint8_t> ComputeDigest(DigestKind kind, std::span<const std::uint8_t> data) {
  switch (kind) {
    case DigestKind::kMd2: return HashOf<Md2>(data);
    case DigestKind::kMd5: return HashOf<Md5>(data);
    case DigestKind::kSha1: return HashOf<Sha1>(data);
    case DigestKind::kSha256: return HashOf<Sha256>(data);
    case DigestKind::kSha384: return HashOf<Sha384>(data);
    case DigestKind::kSha512: return HashOf<Sha512>(data);
  }
  return {};
}

std::span<const std::uint8_t> DigestInfoPrefix(DigestKind kind) {
  switch (kind) {
    case DigestKind::kMd2: return kMd2Prefix;
    case DigestKind::kMd5: return kMd5Prefix;
    case DigestKind::kSha1: return kSha1Prefix;
    case DigestKind::kSha256: return kSha256Prefix;
    case DigestKind::kSha384: return kSha384Prefix;
    case DigestKind::kSha512: return kSha512Prefix;
  }
  return {};
}

}  // namespace security
