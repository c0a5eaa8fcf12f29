#include "protocols/sasl_authenticator.h"

#include <gtest/gtest.h>

#include "mime/base64.h"
#include "protocols/ntlm.h"
#include "security/crypto/random_generator.h"

namespace protocols {
namespace {

TEST(SaslTables, KeywordsNamesAndLists) {
  const struct {
    const char* keyword;
    unsigned bit;
    const char* name;
  } kTable[] = {{"plain", 1, "PLAIN"},          {"LOGIN", 2, "LOGIN"}, {"Cram-MD5", 4, "CRAM-MD5"},
                {"digest-md5", 8, "DIGEST-MD5"}, {"NTLM", 16, "NTLM"},  {"msn", 32, "MSN"},
                {"gssapi", 0, ""},               {"", 0, ""}};
  for (const auto& row : kTable) {
    EXPECT_EQ(SaslMechanismFromKeyword(row.keyword), row.bit) << row.keyword;
    EXPECT_STREQ(SaslMechanismName(row.bit), row.name);
  }
  EXPECT_EQ(ParseSaslMechanismList("  LOGIN PLAIN GSSAPI cram-md5 "), 1u | 2u | 4u);
  EXPECT_EQ(ParseSaslMechanismList("XOAUTH2"), 0u);
  EXPECT_EQ(ParseSaslMechanismList(""), 0u);
}

TEST(SaslSelect, UnknownBitsAreRefused) {
  SaslAuthenticator sasl;
  for (unsigned bit : {0u, 3u, 64u, 0xFFFFFFFFu}) {
    EXPECT_EQ(sasl.Select(bit), kSaslUnknownMechanism) << bit;
    EXPECT_STREQ(sasl.Name(), "");
  }
  EXPECT_EQ(sasl.SelectByName("scram-sha-1"), kSaslUnknownMechanism);
  ASSERT_EQ(sasl.SelectByName("Login"), kMailOk);
  EXPECT_STREQ(sasl.Name(), "LOGIN");
  std::string response;
  SaslAuthenticator none;
  EXPECT_EQ(none.Step("", &response), kSaslUnknownMechanism);
}

TEST(SaslPlain, ZeroUserZeroPasswordInOneLine) {
  SaslAuthenticator sasl;
  ASSERT_EQ(sasl.Init(kSaslPlain, "u", "p"), kMailOk);
  std::string response;
  ASSERT_EQ(sasl.Step("", &response), kMailOk);
  EXPECT_EQ(response, "AHUAcA==");
  EXPECT_TRUE(sasl.IsComplete());
  EXPECT_EQ(sasl.Step("", &response), kSaslStepFailed);  // nothing more to say
  const std::string user(300, 'U'), password(300, 'P');
  ASSERT_EQ(sasl.Init(kSaslPlain, user, password), kMailOk);
  EXPECT_FALSE(sasl.IsComplete());
  ASSERT_EQ(sasl.Step("", &response), kMailOk);
  EXPECT_EQ(response.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(mime::Base64Decode(response), std::string(1, '\0') + user + std::string(1, '\0') + password);
}

// A NUL in the user name would move the split between PLAIN's fields; no
// credential with a control character is taken at all.
TEST(SaslSelect, CredentialsWithControlCharactersAreRefused) {
  SaslAuthenticator sasl;
  for (unsigned bit : {kSaslPlain, kSaslLogin, kSaslCramMd5, kSaslNtlm}) {
    EXPECT_EQ(sasl.Init(bit, std::string("admin\0u", 7), "p"), kSaslUnsafeCredential);
    EXPECT_EQ(sasl.Init(bit, "u", "p\r\n"), kSaslUnsafeCredential);
    std::string response;
    EXPECT_EQ(sasl.Step("", &response), kSaslUnknownMechanism);  // nothing selected
    EXPECT_TRUE(response.empty());
  }
  EXPECT_EQ(sasl.Init(kSaslPlain, "u\xC3\xA9", "p\xE4ss w"), kMailOk);  // 8-bit text and spaces are fine
}

TEST(SaslLogin, UserThenPasswordThenNoMore) {
  SaslAuthenticator sasl;
  ASSERT_EQ(sasl.Init(kSaslLogin, "alice", "secret"), kMailOk);
  std::string response;
  ASSERT_EQ(sasl.Step("VXNlcm5hbWU6", &response), kMailOk);
  EXPECT_EQ(response, "YWxpY2U=");
  EXPECT_FALSE(sasl.IsComplete());
  ASSERT_EQ(sasl.Step("not even base64 !", &response), kMailOk);  // prompts are not read
  EXPECT_EQ(response, "c2VjcmV0");
  EXPECT_TRUE(sasl.IsComplete());
  EXPECT_EQ(sasl.Step("", &response), kSaslStepFailed);
}

TEST(SaslCramMd5, ExampleOfTheMechanismsDefinition) {
  SaslAuthenticator sasl;
  ASSERT_EQ(sasl.Init(kSaslCramMd5, "tim", "tanstaaftanstaaf"), kMailOk);
  std::string response;
  ASSERT_EQ(sasl.Step("PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+", &response), kMailOk);
  EXPECT_EQ(response, "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw");
  EXPECT_TRUE(sasl.IsComplete());
}

TEST(SaslCramMd5, StepsThatCannotBeComputed) {
  SaslAuthenticator sasl;
  std::string response;
  ASSERT_EQ(sasl.Init(kSaslCramMd5, "tim", ""), kMailOk);
  EXPECT_EQ(sasl.Step("PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+", &response), kSaslStepFailed);
  for (const char* bad : {"PDE4OTY*", "PDE", "PD=E", "P===", "ab!d"}) {
    ASSERT_EQ(sasl.Init(kSaslCramMd5, "tim", "x"), kMailOk);
    EXPECT_EQ(sasl.Step(bad, &response), kSaslStepFailed) << bad;
    EXPECT_FALSE(sasl.IsComplete());
  }
}

TEST(SaslDigestMd5, EveryStepFails) {
  SaslAuthenticator sasl;
  ASSERT_EQ(sasl.Init(kSaslDigestMd5, "u", "p"), kMailOk);
  EXPECT_STREQ(sasl.Name(), "DIGEST-MD5");
  std::string response;
  EXPECT_EQ(sasl.Step("bm9uY2U9IjEyMyI=", &response), kSaslUnknownMechanism);
  EXPECT_EQ(sasl.Step("", &response), kSaslUnknownMechanism);
  EXPECT_FALSE(sasl.IsComplete());
}

// NTLM through the authenticator: NEGOTIATE, then an AUTHENTICATE whose
// NTProofStr checks against the client blob it carries.
TEST(SaslNtlm, NegotiateThenAuthenticate) {
  for (unsigned bit : {kSaslNtlm, kSaslMsn}) {
    SaslAuthenticator sasl;
    ASSERT_EQ(sasl.Init(bit, "User", "Password"), kMailOk);
    std::string response;
    ASSERT_EQ(sasl.Step("", &response), kMailOk);
    EXPECT_FALSE(sasl.IsComplete());
    const std::string negotiate = mime::Base64Decode(response);
    ASSERT_GE(negotiate.size(), 16u);
    EXPECT_EQ(negotiate.substr(0, 12), std::string("NTLMSSP\0\1\0\0\0", 12));

    ntlm::ChallengeMessage c;
    const std::string challenge_b64 =
        "TlRMTVNTUAACAAAADAAMADgAAAAzgoriASNFZ4mrze8AAAAAAAAAACQAJABEAAAABgBwFwAAAA9TAGUAcgB2AGUAcgACAAwARABvAG0AYQBp"
        "AG4AAQAMAFMAZQByAHYAZQByAAAAAAA=";
    const std::string challenge = mime::Base64Decode(challenge_b64);
    const auto parsed = ntlm::ParseChallengeMessage(mime::AsBytes(challenge));
    ASSERT_TRUE(parsed.has_value());
    ASSERT_EQ(sasl.Step(challenge_b64, &response), kMailOk);
    EXPECT_TRUE(sasl.IsComplete());
    const std::string message = mime::Base64Decode(response);
    ASSERT_GE(message.size(), 72u);
    auto u16 = [&](std::size_t at) { return static_cast<std::size_t>(static_cast<std::uint8_t>(message[at])) |
                                            (static_cast<std::size_t>(static_cast<std::uint8_t>(message[at + 1])) << 8); };
    const std::size_t nt_length = u16(20), nt_offset = u16(24);
    const std::size_t domain_length = u16(28), user_length = u16(36), user_offset = u16(40);
    EXPECT_EQ(domain_length, 0u);  // empty domain
    EXPECT_EQ(message.substr(user_offset, user_length), std::string("U\0s\0e\0r\0", 8));
    ASSERT_EQ(nt_length, 16u + 28u + parsed->target_info.size() + 4u);
    // Recompute the proof from the blob the client chose.
    const std::string blob = message.substr(nt_offset + 16, nt_length - 16);
    ntlm::Challenge client{};
    std::copy_n(blob.begin() + 16, 8, client.begin());
    std::uint64_t time = 0;
    for (int k = 7; k >= 0; --k) time = (time << 8) | static_cast<std::uint8_t>(blob[8 + static_cast<std::size_t>(k)]);
    const auto expected = ntlm::NtV2Response(ntlm::NtOwfV2("Password", "User", ""), parsed->server_challenge, client,
                                             time, parsed->target_info);
    EXPECT_EQ(std::string(expected.begin(), expected.end()), message.substr(nt_offset, nt_length));
    // And the time is now, give or take a day.
    EXPECT_LT(time > ntlm::CurrentTimestamp() ? time - ntlm::CurrentTimestamp() : ntlm::CurrentTimestamp() - time,
              864000000000ull);
  }
  SaslAuthenticator sasl;
  ASSERT_EQ(sasl.Init(kSaslNtlm, "u", "p"), kMailOk);
  std::string response;
  ASSERT_EQ(sasl.Step("", &response), kMailOk);
  EXPECT_EQ(sasl.Step("bm90IGFuIE5UTE0gbWVzc2FnZQ==", &response), kSaslStepFailed);
}

// A system without a working random source: every fill fails.
class FakeDeadRandomSource final : public security::RandomSource {
 public:
  bool Fill(std::span<std::uint8_t>) override {
    ++calls;
    return false;
  }
  int calls = 0;
};

// NTLM needs fresh random bytes for its AUTHENTICATE message; without them
// the step fails with its own code instead of an exception escaping into
// the protocol client.
TEST(SaslNtlm, NoRandomSourceFailsTheStep) {
  const std::string challenge_b64 =
      "TlRMTVNTUAACAAAADAAMADgAAAAzgoriASNFZ4mrze8AAAAAAAAAACQAJABEAAAABgBwFwAAAA9TAGUAcgB2AGUAcgACAAwARABvAG0AYQBp"
      "AG4AAQAMAFMAZQByAHYAZQByAAAAAAA=";
  FakeDeadRandomSource dead;
  SaslAuthenticator sasl;
  sasl.SetRandomSource(&dead);
  ASSERT_EQ(sasl.Init(kSaslNtlm, "User", "Password"), kMailOk);
  std::string response;
  ASSERT_EQ(sasl.Step("", &response), kMailOk);  // NEGOTIATE draws nothing
  MailResult step = kMailOk;
  EXPECT_NO_THROW(step = sasl.Step(challenge_b64, &response));
  EXPECT_EQ(step, kSaslNoRandomSource);
  EXPECT_TRUE(response.empty());
  EXPECT_FALSE(sasl.IsComplete());
  EXPECT_GE(dead.calls, 1);
}

}  // namespace
}  // namespace protocols
