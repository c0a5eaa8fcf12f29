#include "protocols/ntlm.h"

#include <chrono>
#include <cstring>

#include "platform/text.h"
#include "security/crypto/hmac.h"
#include "security/crypto/md4.h"
#include "security/crypto/rc4.h"

namespace protocols::ntlm {
namespace {

constexpr std::uint8_t kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0};
constexpr std::uint16_t kAvEol = 0;
constexpr std::uint16_t kAvTimestamp = 7;
constexpr std::size_t kAuthenticateHeaderSize = 72;  // fixed fields and the version

std::u16string Wide(const std::string& narrow) {
  std::u16string wide = platform::Utf8ToUtf16(narrow);
  if (platform::Utf16ToUtf8(wide) != narrow) wide = platform::Latin1ToUtf16(narrow);
  return wide;
}

std::vector<std::uint8_t> Utf16Le(const std::u16string& text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

void Put16(std::vector<std::uint8_t>* out, std::uint16_t value) {
  out->push_back(static_cast<std::uint8_t>(value));
  out->push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>* out, std::uint32_t value) {
  for (int k = 0; k < 4; ++k) out->push_back(static_cast<std::uint8_t>(value >> (8 * k)));
}

void Put64(std::vector<std::uint8_t>* out, std::uint64_t value) {
  for (int k = 0; k < 8; ++k) out->push_back(static_cast<std::uint8_t>(value >> (8 * k)));
}

std::uint16_t Get16(std::span<const std::uint8_t> in, std::size_t at) {
  return static_cast<std::uint16_t>(in[at] | (in[at + 1] << 8));
}

std::uint32_t Get32(std::span<const std::uint8_t> in, std::size_t at) {
  return static_cast<std::uint32_t>(in[at]) | (static_cast<std::uint32_t>(in[at + 1]) << 8) |
         (static_cast<std::uint32_t>(in[at + 2]) << 16) | (static_cast<std::uint32_t>(in[at + 3]) << 24);
}

Key HmacMd5(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data) {
  return security::Hmac<security::Md5>::Compute(key, data);
}

// The server's timestamp among the AV pairs, if it sent one.
std::optional<std::uint64_t> FindTimestamp(std::span<const std::uint8_t> target_info) {
  std::size_t at = 0;
  while (at + 4 <= target_info.size()) {
    const std::uint16_t id = Get16(target_info, at);
    const std::uint16_t length = Get16(target_info, at + 2);
    if (id == kAvEol || at + 4 + length > target_info.size()) break;
    if (id == kAvTimestamp && length == 8) {
      std::uint64_t value = 0;
      for (int k = 7; k >= 0; --k) value = (value << 8) | target_info[at + 4 + static_cast<std::size_t>(k)];
      return value;
    }
    at += 4 + length;
  }
  return std::nullopt;
}

}  // namespace

Key NtOwfV1(const std::string& password) {
  const auto bytes = Utf16Le(Wide(password));
  return security::Md4::Hash(bytes);
}

Key NtOwfV2(const std::string& password, const std::string& user, const std::string& domain) {
  const Key nt = NtOwfV1(password);
  std::u16string identity = Wide(user);
  for (char16_t& c : identity) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  identity += Wide(domain);
  return HmacMd5(nt, Utf16Le(identity));
}

std::vector<std::uint8_t> NtV2Response(const Key& response_key, const Challenge& server_challenge,
                                       const Challenge& client_challenge, std::uint64_t timestamp,
                                       std::span<const std::uint8_t> target_info) {
  std::vector<std::uint8_t> blob = {1, 1, 0, 0, 0, 0, 0, 0};
  Put64(&blob, timestamp);
  blob.insert(blob.end(), client_challenge.begin(), client_challenge.end());
  Put32(&blob, 0);
  blob.insert(blob.end(), target_info.begin(), target_info.end());
  Put32(&blob, 0);
  std::vector<std::uint8_t> signed_part(server_challenge.begin(), server_challenge.end());
  signed_part.insert(signed_part.end(), blob.begin(), blob.end());
  const Key proof = HmacMd5(response_key, signed_part);
  std::vector<std::uint8_t> response(proof.begin(), proof.end());
  response.insert(response.end(), blob.begin(), blob.end());
  return response;
}

std::vector<std::uint8_t> LmV2Response(const Key& response_key, const Challenge& server_challenge,
                                       const Challenge& client_challenge) {
  std::vector<std::uint8_t> both(server_challenge.begin(), server_challenge.end());
  both.insert(both.end(), client_challenge.begin(), client_challenge.end());
  const Key mac = HmacMd5(response_key, both);
  std::vector<std::uint8_t> response(mac.begin(), mac.end());
  response.insert(response.end(), client_challenge.begin(), client_challenge.end());
  return response;
}

Key SessionBaseKey(const Key& response_key, std::span<const std::uint8_t> nt_proof) {
  return HmacMd5(response_key, nt_proof.first(16));
}

std::uint64_t CurrentTimestamp() {
  constexpr std::uint64_t kSeconds1601To1970 = 11644473600ull;
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count() / 100;
  return kSeconds1601To1970 * 10000000ull + static_cast<std::uint64_t>(ticks);
}

std::vector<std::uint8_t> NegotiateMessage() {
  std::vector<std::uint8_t> message(kSignature, kSignature + 8);
  Put32(&message, 1);
  Put32(&message, kClientFlags);
  // Empty domain and workstation: length, room and an offset past the header.
  for (int field = 0; field < 2; ++field) {
    Put16(&message, 0);
    Put16(&message, 0);
    Put32(&message, 40);
  }
  message.insert(message.end(), kClientVersion.begin(), kClientVersion.end());
  return message;
}

std::optional<ChallengeMessage> ParseChallengeMessage(std::span<const std::uint8_t> message) {
  if (message.size() < 32 || std::memcmp(message.data(), kSignature, 8) != 0 || Get32(message, 8) != 2) {
    return std::nullopt;
  }
  ChallengeMessage challenge;
  challenge.flags = Get32(message, 20);
  std::memcpy(challenge.server_challenge.data(), message.data() + 24, 8);
  if (message.size() >= 48) {
    const std::size_t length = Get16(message, 40);
    const std::size_t offset = Get32(message, 44);
    if (length > 0) {
      if (offset > message.size() || length > message.size() - offset) return std::nullopt;
      challenge.target_info.assign(message.begin() + static_cast<std::ptrdiff_t>(offset),
                                   message.begin() + static_cast<std::ptrdiff_t>(offset + length));
    }
  }
  return challenge;
}

std::vector<std::uint8_t> AuthenticateMessage(const ChallengeMessage& challenge, const AuthenticateInput& input) {
  const std::uint32_t flags = kClientFlags & (challenge.flags | kRequestTarget);
  const Key response_key = NtOwfV2(input.password, input.user, input.domain);
  const auto server_time = FindTimestamp(challenge.target_info);
  const std::uint64_t timestamp = server_time.value_or(input.timestamp);
  const auto nt_response =
      NtV2Response(response_key, challenge.server_challenge, input.client_challenge, timestamp, challenge.target_info);
  // With the server's timestamp in play the LM response is left zero.
  const auto lm_response = server_time ? std::vector<std::uint8_t>(24, 0)
                                       : LmV2Response(response_key, challenge.server_challenge, input.client_challenge);
  const Key base_key = SessionBaseKey(response_key, nt_response);
  std::vector<std::uint8_t> session_key;
  if (flags & kNegotiateKeyExchange) {
    Key encrypted = input.random_session_key;
    security::Rc4 rc4(base_key);
    rc4.Crypt(encrypted);
    session_key.assign(encrypted.begin(), encrypted.end());
  }
  const auto domain = Utf16Le(Wide(input.domain));
  const auto user = Utf16Le(Wide(input.user));
  const auto workstation = Utf16Le(Wide(input.workstation));

  std::vector<std::uint8_t> message(kSignature, kSignature + 8);
  Put32(&message, 3);
  // Payload order: domain, user, workstation, LM, NT, session key.
  const std::vector<const std::vector<std::uint8_t>*> payload = {&domain, &user, &workstation,
                                                                  &lm_response, &nt_response, &session_key};
  std::size_t offsets[6];
  std::size_t at = kAuthenticateHeaderSize;
  for (std::size_t k = 0; k < payload.size(); ++k) {
    if (payload[k]->size() > 0xFFFF) return {};  // a field length is 16 bits
    offsets[k] = at;
    at += payload[k]->size();
  }
  auto field = [&](std::size_t index) {
    Put16(&message, static_cast<std::uint16_t>(payload[index]->size()));
    Put16(&message, static_cast<std::uint16_t>(payload[index]->size()));
    Put32(&message, static_cast<std::uint32_t>(offsets[index]));
  };
  field(3);  // LM
  field(4);  // NT
  field(0);  // domain
  field(1);  // user
  field(2);  // workstation
  field(5);  // session key
  Put32(&message, flags);
  if (flags & kNegotiateVersion) {
    message.insert(message.end(), input.version.begin(), input.version.end());
  } else {
    message.insert(message.end(), 8, 0);
  }
  for (const auto* part : payload) message.insert(message.end(), part->begin(), part->end());
  return message;
}

}  // namespace protocols::ntlm
