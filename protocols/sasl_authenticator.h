#pragma once
// SaslAuthenticator: one SASL exchange for SMTP AUTH and POP3 AUTH. It names
// the mechanism, turns each server challenge into the next response and says
// when the exchange is complete; the protocol client does the transport and
// chooses among the mechanisms the server announced.
//
// Mechanisms: PLAIN, LOGIN, CRAM-MD5, DIGEST-MD5 (announced by servers, never
// carried out: every step fails with kSaslUnknownMechanism so the client
// cancels and moves on), NTLM and MSN (the same NTLMv2 client exchange, see
// ntlm.h; only the name sent after "AUTH " differs).
//
// Results: 0, kSaslUnknownMechanism (0x80E10004) for a bit or keyword that is
// not a mechanism and for every DIGEST-MD5 step, kSaslStepFailed (0x80E10001)
// for a step that cannot be computed (empty CRAM-MD5 password, a challenge
// that is not base64 or not an NTLM challenge, any step after the last
// response, such as a third LOGIN step), kSaslUnsafeCredential for a user
// name or password with a control character, kSaslNoRandomSource when NTLM
// finds the system's random source unavailable.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "protocols/mail_result.h"

namespace security {
class RandomSource;
}

namespace protocols {

enum SaslMechanism : unsigned {
  kSaslPlain = 1,
  kSaslLogin = 2,
  kSaslCramMd5 = 4,
  kSaslDigestMd5 = 8,
  kSaslNtlm = 16,
  kSaslMsn = 32,
};

// "plain" → kSaslPlain, ... compared without ASCII case; any other keyword → 0.
unsigned SaslMechanismFromKeyword(std::string_view keyword);
// An announced list ("LOGIN PLAIN CRAM-MD5"): trimmed, split at single
// spaces, the bits of the known keywords ORed together.
unsigned ParseSaslMechanismList(std::string_view list);
// The name sent after "AUTH " ("CRAM-MD5", ...), or "" for anything else.
const char* SaslMechanismName(unsigned mechanism);

class SaslAuthenticator {
 public:
  class Mechanism;

  SaslAuthenticator();
  ~SaslAuthenticator();
  SaslAuthenticator(const SaslAuthenticator&) = delete;
  SaslAuthenticator& operator=(const SaslAuthenticator&) = delete;

  // Drops any previous mechanism (and its state) and creates the one for the bit.
  [[nodiscard]] MailResult Select(unsigned mechanism);
  [[nodiscard]] MailResult SelectByName(std::string_view keyword);
  // Select and keep the credentials for the steps; kSaslUnsafeCredential (and
  // nothing selected) when either holds a control character.
  [[nodiscard]] MailResult Init(unsigned mechanism, std::string user, std::string password);
  // The selected mechanism's name, "" when none.
  const char* Name() const;
  unsigned mechanism() const { return bit_; }
  // `challenge`: the server's challenge text (base64, possibly empty).
  // `response`: the line to send (base64, no line breaks).
  [[nodiscard]] MailResult Step(std::string_view challenge, std::string* response);
  bool IsComplete() const;

  // Where NTLM draws its client challenge and session key: the system's
  // source unless another is given (it must outlive the authenticator).
  void SetRandomSource(security::RandomSource* source) { random_source_ = source; }

 private:
  std::unique_ptr<Mechanism> mechanism_;
  security::RandomSource* random_source_ = nullptr;
  unsigned bit_ = 0;
};

// Strict base64: the alphabet, at most two "=" at the end, length a multiple
// of 4 (spaces around it are ignored). False for anything else.
bool DecodeBase64Strict(std::string_view text, std::string* out);

}  // namespace protocols
