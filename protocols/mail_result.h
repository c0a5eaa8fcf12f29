#pragma once
// Result codes of the mail protocols: 0 is success, failures are negative
// 32-bit values whose family sits in bits 16-28 (mask 0x1FFF0000):
//   0x80C0xxxx socket and name resolution    0x80C1xxxx SOCKS
//   0x80C2xxxx POP3                          0x80C3xxxx SMTP (reply number packed)
//   0x80C5xxxx TLS (alert code in the low bits, see security/tls_engine.h)
//   0x80E1xxxx SASL                          0xA000xxxx MIME (mime/result.h)

#include <cstdint>

namespace protocols {

using MailResult = std::uint32_t;

inline constexpr MailResult kMailOk = 0;
inline constexpr bool Failed(MailResult r) { return r != kMailOk; }

inline constexpr std::uint32_t kFamilyMask = 0x1FFF0000u;
// 0xC0 socket, 0xC1 SOCKS, 0xC2 POP3, 0xC3 SMTP, 0xC5 TLS, 0xE1 SASL.
inline constexpr std::uint32_t Family(MailResult r) { return (r & kFamilyMask) >> 16; }

// Platform codes that also surface here.
inline constexpr MailResult kUnspecifiedFailure = 0x80004005u;
inline constexpr MailResult kOutOfMemory = 0x8007000Eu;

// Socket family: conditions of the client itself. The rest of the family comes
// from the error table (socket_errors.h).
inline constexpr MailResult kSocketLayerNotStarted = 0x80C00001u;
inline constexpr MailResult kSocketNotDottedAddress = 0x80C00004u;  // internal: leads to a name look-up
inline constexpr MailResult kSocketZeroLengthSend = 0x80C00005u;
inline constexpr MailResult kSocketLineTooLong = 0x80C0000Au;
inline constexpr MailResult kSocketClosedByPeer = 0x80C00012u;
inline constexpr MailResult kSocketTimedOut = 0x80C00014u;
inline constexpr MailResult kSocketNotConnected = 0x80C00015u;  // also: TLS not established
inline constexpr MailResult kSocketHostNotFound = 0x80C00016u;
// A line to send holds CR, LF or NUL; nothing of it was sent.
inline constexpr MailResult kSocketUnsafeLine = 0x80C0001Bu;

// SOCKS family. SOCKS 5 reply codes 1-8 map to 0x80C10001-0x80C10008; a
// SOCKS 4 refusal (91) is 0x80C10001.
inline constexpr MailResult kSocksFamily = 0x80C10000u;
inline constexpr MailResult kSocksRequestRefused = 0x80C10001u;
inline constexpr MailResult kSocksNoIdentd = 0x80C10004u;        // SOCKS 4 reply 92
inline constexpr MailResult kSocksValueTooLong = 0x80C100FBu;    // a name, user or password over 255 bytes
// A host name, or a SOCKS 4 user id, with a NUL inside: the proxy would end
// the field there and read the rest as the next one (another host).
inline constexpr MailResult kSocksValueHasNul = 0x80C100FAu;
inline constexpr MailResult kSocksNoAcceptableMethod = 0x80C100FCu;
inline constexpr MailResult kSocksBadVersion = 0x80C100FDu;
inline constexpr MailResult kSocksAuthenticationRefused = 0x80C100FEu;  // also SOCKS 4 reply 93
inline constexpr MailResult kSocksUnknownReply = 0x80C100FFu;

// TLS family, the client's own condition: bytes that came in clear after the
// server's go-ahead for TLS and before the handshake (they would otherwise be
// read as if the TLS session had carried them).
inline constexpr MailResult kTlsPlaintextAtSwitch = 0x80C5012Cu;
// The system's random source failed before a handshake; nothing was sent.
inline constexpr MailResult kTlsNoRandomSource = 0x80C5012Du;

// SASL family.
inline constexpr MailResult kSaslStepFailed = 0x80E10001u;
inline constexpr MailResult kSaslUnknownMechanism = 0x80E10004u;
// A user name or password holding a control character (command_text.h).
inline constexpr MailResult kSaslUnsafeCredential = 0x80E10002u;
// The system's random source failed; the step drew nothing.
inline constexpr MailResult kSaslNoRandomSource = 0x80E10005u;

}  // namespace protocols
