#pragma once
// The client side of the NTLM exchange (NTLMv2 responses) for the NTLM and MSN
// SASL mechanisms: NEGOTIATE out, CHALLENGE in, AUTHENTICATE out.
//
// Text is sent as UTF-16LE (the client always asks for Unicode). Narrow user,
// domain and password text is read as UTF-8 when it is valid UTF-8, else as
// Latin-1. The v2 hash upper-cases the user name in the ASCII range only.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace protocols::ntlm {

inline constexpr std::uint32_t kNegotiateUnicode = 0x00000001;
inline constexpr std::uint32_t kNegotiateOem = 0x00000002;
inline constexpr std::uint32_t kRequestTarget = 0x00000004;
inline constexpr std::uint32_t kNegotiateSign = 0x00000010;
inline constexpr std::uint32_t kNegotiateSeal = 0x00000020;
inline constexpr std::uint32_t kNegotiateNtlm = 0x00000200;
inline constexpr std::uint32_t kNegotiateAlwaysSign = 0x00008000;
inline constexpr std::uint32_t kNegotiateExtendedSessionSecurity = 0x00080000;
inline constexpr std::uint32_t kNegotiateTargetInfo = 0x00800000;
inline constexpr std::uint32_t kNegotiateVersion = 0x02000000;
inline constexpr std::uint32_t kNegotiate128 = 0x20000000;
inline constexpr std::uint32_t kNegotiateKeyExchange = 0x40000000;
inline constexpr std::uint32_t kNegotiate56 = 0x80000000;

// What the client asks for (and, intersected with the server's answer, what
// its AUTHENTICATE message carries).
inline constexpr std::uint32_t kClientFlags =
    kNegotiateUnicode | kRequestTarget | kNegotiateSign | kNegotiateSeal | kNegotiateNtlm | kNegotiateAlwaysSign |
    kNegotiateExtendedSessionSecurity | kNegotiateTargetInfo | kNegotiateVersion | kNegotiate128 |
    kNegotiateKeyExchange | kNegotiate56;

using Key = std::array<std::uint8_t, 16>;
using Challenge = std::array<std::uint8_t, 8>;
// The VERSION field: product major, minor, build (little-endian), three
// reserved bytes, NTLM revision 15.
using Version = std::array<std::uint8_t, 8>;
inline constexpr Version kClientVersion = {6, 1, 0xB1, 0x1D, 0, 0, 0, 15};

// The NEGOTIATE_MESSAGE: signature, type 1, kClientFlags, empty domain and
// workstation fields, the version.
std::vector<std::uint8_t> NegotiateMessage();

struct ChallengeMessage {
  std::uint32_t flags = 0;
  Challenge server_challenge{};
  std::vector<std::uint8_t> target_info;  // AV pairs as sent
};

// Reads a CHALLENGE_MESSAGE; nothing when it is not one or a field lies
// outside the message.
std::optional<ChallengeMessage> ParseChallengeMessage(std::span<const std::uint8_t> message);

// The values of one AUTHENTICATE message that do not come from the server.
struct AuthenticateInput {
  std::string user;
  std::string domain;
  std::string workstation;
  std::string password;
  Challenge client_challenge{};
  // 100 ns ticks since 1601-01-01 UTC; a timestamp in the server's target
  // information takes its place.
  std::uint64_t timestamp = 0;
  Key random_session_key{};  // sent encrypted when key exchange is negotiated
  Version version = kClientVersion;
};

// Empty when a field would not fit its 16-bit length.
std::vector<std::uint8_t> AuthenticateMessage(const ChallengeMessage& challenge, const AuthenticateInput& input);

// The pieces, by their names in the NTLM documentation.
Key NtOwfV1(const std::string& password);
Key NtOwfV2(const std::string& password, const std::string& user, const std::string& domain);
// NTProofStr followed by the client blob (the whole NtChallengeResponse).
std::vector<std::uint8_t> NtV2Response(const Key& response_key, const Challenge& server_challenge,
                                       const Challenge& client_challenge, std::uint64_t timestamp,
                                       std::span<const std::uint8_t> target_info);
// LMv2 response: HMAC-MD5 over both challenges, then the client challenge.
std::vector<std::uint8_t> LmV2Response(const Key& response_key, const Challenge& server_challenge,
                                       const Challenge& client_challenge);
Key SessionBaseKey(const Key& response_key, std::span<const std::uint8_t> nt_proof);

// The current time as NTLM timestamps count it.
std::uint64_t CurrentTimestamp();

}  // namespace protocols::ntlm
