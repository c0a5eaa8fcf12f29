#include "protocols/sasl_authenticator.h"

#include <string>

#include "mime/base64.h"
#include "mime/hex.h"
#include "platform/text.h"
#include "protocols/command_text.h"
#include "protocols/ntlm.h"
#include "security/crypto/hmac.h"
#include "security/crypto/random_generator.h"

namespace protocols {

class SaslAuthenticator::Mechanism {
 public:
  virtual ~Mechanism() = default;
  virtual MailResult Step(std::string_view challenge, std::string* response) = 0;

  std::string user;
  std::string password;
  bool complete = false;
  security::RandomSource* random_source = nullptr;  // null: the system's
};

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

class Plain : public SaslAuthenticator::Mechanism {
 public:
  MailResult Step(std::string_view, std::string* response) override {
    std::string message;
    message.push_back('\0');
    message += user;
    message.push_back('\0');
    message += password;
    *response = mime::Base64Encode(message);
    complete = true;
    return kMailOk;
  }
};

class Login : public SaslAuthenticator::Mechanism {
 public:
  // The prompts are not read: first the user name, then the password.
  MailResult Step(std::string_view, std::string* response) override {
    ++step_;
    if (step_ == 1) {
      *response = mime::Base64Encode(user);
      return kMailOk;
    }
    if (step_ == 2) {
      *response = mime::Base64Encode(password);
      complete = true;
      return kMailOk;
    }
    return kSaslStepFailed;
  }

 private:
  int step_ = 0;
};

class CramMd5 : public SaslAuthenticator::Mechanism {
 public:
  MailResult Step(std::string_view challenge, std::string* response) override {
    if (password.empty()) return kSaslStepFailed;
    std::string decoded;
    if (!DecodeBase64Strict(challenge, &decoded)) return kSaslStepFailed;
    const auto digest = security::Hmac<security::Md5>::Compute(mime::AsBytes(password), mime::AsBytes(decoded));
    *response = mime::Base64Encode(user + " " + mime::ToLowerHex(digest));
    complete = true;
    return kMailOk;
  }
};

class DigestMd5 : public SaslAuthenticator::Mechanism {
 public:
  MailResult Step(std::string_view, std::string*) override { return kSaslUnknownMechanism; }
};

// NTLM and MSN: NEGOTIATE first, then AUTHENTICATE for the server's CHALLENGE.
class Ntlm : public SaslAuthenticator::Mechanism {
 public:
  MailResult Step(std::string_view challenge, std::string* response) override {
    if (first_step_) {
      first_step_ = false;
      const auto negotiate = ntlm::NegotiateMessage();
      *response = mime::Base64Encode(negotiate);
      return kMailOk;
    }
    std::string decoded;
    if (!DecodeBase64Strict(challenge, &decoded)) return kSaslStepFailed;
    const auto parsed = ntlm::ParseChallengeMessage(mime::AsBytes(decoded));
    if (!parsed || !(parsed->flags & ntlm::kNegotiateUnicode)) return kSaslStepFailed;
    ntlm::AuthenticateInput input;
    input.user = user;
    input.password = password;
    input.timestamp = ntlm::CurrentTimestamp();
    security::RandomGenerator random(random_source != nullptr ? *random_source : security::SystemRandomSource());
    // Without a seed NextByte would throw; a failed step is what the caller
    // knows how to handle (it cancels and tries the next mechanism).
    if (!random.Seed()) return kSaslNoRandomSource;
    for (auto& b : input.client_challenge) b = random.NextByte();
    for (auto& b : input.random_session_key) b = random.NextByte();
    const auto message = ntlm::AuthenticateMessage(*parsed, input);
    if (message.empty()) return kSaslStepFailed;
    *response = mime::Base64Encode(message);
    complete = true;
    return kMailOk;
  }

 private:
  bool first_step_ = true;
};

}  // namespace

unsigned SaslMechanismFromKeyword(std::string_view keyword) {
  const std::string lower = platform::AsciiLower(keyword);
  if (lower == "plain") return kSaslPlain;
  if (lower == "login") return kSaslLogin;
  if (lower == "cram-md5") return kSaslCramMd5;
  if (lower == "digest-md5") return kSaslDigestMd5;
  if (lower == "ntlm") return kSaslNtlm;
  if (lower == "msn") return kSaslMsn;
  return 0;
}

unsigned ParseSaslMechanismList(std::string_view list) {
  list = Trim(list);
  unsigned bits = 0;
  while (!list.empty()) {
    const std::size_t space = list.find(' ');
    bits |= SaslMechanismFromKeyword(list.substr(0, space));
    if (space == std::string_view::npos) break;
    list.remove_prefix(space + 1);
  }
  return bits;
}

const char* SaslMechanismName(unsigned mechanism) {
  switch (mechanism) {
    case kSaslNtlm: return "NTLM";
    case kSaslMsn: return "MSN";
    case kSaslDigestMd5: return "DIGEST-MD5";
    case kSaslPlain: return "PLAIN";
    case kSaslLogin: return "LOGIN";
    case kSaslCramMd5: return "CRAM-MD5";
    default: return "";
  }
}

bool DecodeBase64Strict(std::string_view text, std::string* out) {
  text = Trim(text);
  out->clear();
  if (text.size() % 4 != 0) return false;
  std::size_t padding = 0;
  for (std::size_t k = 0; k < text.size(); ++k) {
    const char c = text[k];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
                        c == '/';
    if (c == '=') {
      ++padding;
    } else if (!letter || padding > 0) {
      return false;  // junk, or data after the padding
    }
  }
  if (padding > 2) return false;
  *out = mime::Base64Decode(text);
  return true;
}

SaslAuthenticator::SaslAuthenticator() = default;
SaslAuthenticator::~SaslAuthenticator() = default;

MailResult SaslAuthenticator::Select(unsigned mechanism) {
  mechanism_.reset();
  bit_ = 0;
  switch (mechanism) {
    case kSaslPlain: mechanism_ = std::make_unique<Plain>(); break;
    case kSaslLogin: mechanism_ = std::make_unique<Login>(); break;
    case kSaslCramMd5: mechanism_ = std::make_unique<CramMd5>(); break;
    case kSaslDigestMd5: mechanism_ = std::make_unique<DigestMd5>(); break;
    case kSaslNtlm:
    case kSaslMsn: mechanism_ = std::make_unique<Ntlm>(); break;
    default: return kSaslUnknownMechanism;
  }
  mechanism_->random_source = random_source_;
  bit_ = mechanism;
  return kMailOk;
}

MailResult SaslAuthenticator::SelectByName(std::string_view keyword) {
  return Select(SaslMechanismFromKeyword(keyword));
}

MailResult SaslAuthenticator::Init(unsigned mechanism, std::string user, std::string password) {
  if (MailResult r = Select(mechanism); Failed(r)) return r;
  if (HasControlCharacter(user) || HasControlCharacter(password)) {
    mechanism_.reset();
    bit_ = 0;
    return kSaslUnsafeCredential;
  }
  mechanism_->user = std::move(user);
  mechanism_->password = std::move(password);
  return kMailOk;
}

const char* SaslAuthenticator::Name() const { return SaslMechanismName(bit_); }

MailResult SaslAuthenticator::Step(std::string_view challenge, std::string* response) {
  response->clear();
  if (!mechanism_) return kSaslUnknownMechanism;
  // Nothing is left to say once the last response went out.
  if (mechanism_->complete) return kSaslStepFailed;
  return mechanism_->Step(challenge, response);
}

bool SaslAuthenticator::IsComplete() const { return mechanism_ && mechanism_->complete; }

}  // namespace protocols
