#include "protocols/ntlm.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "tests/support/test_environment.h"

namespace protocols::ntlm {
namespace {

// The published NTLMv2 example: name → value (text inputs as text, the rest as bytes).
class Vectors {
 public:
  Vectors() {
    std::ifstream in(testing_support::SourceDir() / "protocols" / "testdata" / "ntlmv2_vectors.txt");
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream fields(line);
      std::string name, word, rest;
      fields >> name;
      while (fields >> word) rest += word + ' ';
      if (!rest.empty()) rest.pop_back();
      values_[name] = rest;
    }
  }
  std::string Text(const std::string& name) const { return values_.at(name); }
  std::vector<std::uint8_t> Bytes(const std::string& name) const {
    std::vector<std::uint8_t> out;
    std::istringstream hex(values_.at(name));
    std::string pair;
    while (hex >> pair) out.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
    return out;
  }
  template <std::size_t N>
  std::array<std::uint8_t, N> Array(const std::string& name) const {
    const auto bytes = Bytes(name);
    std::array<std::uint8_t, N> out{};
    EXPECT_EQ(bytes.size(), N) << name;
    std::copy_n(bytes.begin(), std::min(N, bytes.size()), out.begin());
    return out;
  }
  std::size_t size() const { return values_.size(); }

 private:
  std::map<std::string, std::string> values_;
};

std::vector<std::uint8_t> Vec(const Key& key) { return {key.begin(), key.end()}; }

TEST(NtlmV2, PublishedIntermediateValues) {
  const Vectors v;
  ASSERT_GE(v.size(), 18u);
  const std::string password = v.Text("password"), user = v.Text("user"), domain = v.Text("domain");
  EXPECT_EQ(Vec(NtOwfV1(password)), v.Bytes("nt_owf_v1"));
  const Key key = NtOwfV2(password, user, domain);
  EXPECT_EQ(Vec(key), v.Bytes("nt_owf_v2"));
  // The user name is upper-cased, the domain is not.
  EXPECT_EQ(Vec(NtOwfV2(password, "uSeR", domain)), v.Bytes("nt_owf_v2"));
  EXPECT_NE(Vec(NtOwfV2(password, user, "DOMAIN")), v.Bytes("nt_owf_v2"));

  const auto server = v.Array<8>("server_challenge");
  const auto client = v.Array<8>("client_challenge");
  EXPECT_EQ(LmV2Response(key, server, client), v.Bytes("lm_v2_response"));
  const auto nt = NtV2Response(key, server, client, 0, v.Bytes("target_info"));
  ASSERT_EQ(nt.size(), 84u);
  EXPECT_EQ(std::vector<std::uint8_t>(nt.begin(), nt.begin() + 16), v.Bytes("nt_proof"));
  EXPECT_EQ(Vec(SessionBaseKey(key, nt)), v.Bytes("session_base_key"));
}

TEST(NtlmV2, ChallengeMessageIsRead) {
  const Vectors v;
  const auto parsed = ParseChallengeMessage(v.Bytes("challenge_message"));
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->flags, 0xE28A8233u);
  EXPECT_EQ(std::vector<std::uint8_t>(parsed->server_challenge.begin(), parsed->server_challenge.end()),
            v.Bytes("server_challenge"));
  EXPECT_EQ(parsed->target_info, v.Bytes("target_info"));
}

// The whole AUTHENTICATE message for the published inputs, byte for byte.
TEST(NtlmV2, AuthenticateMessageMatchesThePublishedOne) {
  const Vectors v;
  const auto challenge = ParseChallengeMessage(v.Bytes("challenge_message"));
  ASSERT_TRUE(challenge.has_value());
  AuthenticateInput input;
  input.user = v.Text("user");
  input.domain = v.Text("domain");
  input.workstation = v.Text("workstation");
  input.password = v.Text("password");
  input.client_challenge = v.Array<8>("client_challenge");
  input.timestamp = 0;
  input.random_session_key = v.Array<16>("random_session_key");
  input.version = v.Array<8>("version");
  const auto message = AuthenticateMessage(*challenge, input);
  const auto expected = v.Bytes("authenticate_message");
  ASSERT_EQ(expected.size(), 0xE8u);
  EXPECT_EQ(message, expected);
}

TEST(NtlmV2, MalformedChallengesAreRefused) {
  const Vectors v;
  auto good = v.Bytes("challenge_message");
  EXPECT_FALSE(ParseChallengeMessage(std::span(good).first(31)).has_value());
  auto wrong_type = good;
  wrong_type[8] = 3;
  EXPECT_FALSE(ParseChallengeMessage(wrong_type).has_value());
  auto outside = good;
  outside[44] = 0x70;  // target information offset past the end
  EXPECT_FALSE(ParseChallengeMessage(outside).has_value());
  auto signature = good;
  signature[0] = 'X';
  EXPECT_FALSE(ParseChallengeMessage(signature).has_value());
}

// A server timestamp replaces ours and the LM response is left zero.
TEST(NtlmV2, ServerTimestampIsUsed) {
  ChallengeMessage challenge;
  challenge.flags = kNegotiateUnicode | kNegotiateNtlm | kNegotiateTargetInfo;
  challenge.target_info = {7, 0, 8, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0};
  AuthenticateInput input;
  input.user = "u";
  input.password = "p";
  input.timestamp = 0xFFFFFFFFFFFFFFFFull;
  const auto message = AuthenticateMessage(challenge, input);
  ASSERT_GE(message.size(), 72u);
  const std::size_t lm_offset = message[16] | (message[17] << 8);
  EXPECT_EQ(std::vector<std::uint8_t>(message.begin() + lm_offset, message.begin() + lm_offset + 24),
            std::vector<std::uint8_t>(24, 0));
  const std::size_t nt_offset = message[24] | (message[25] << 8);
  EXPECT_EQ(std::vector<std::uint8_t>(message.begin() + nt_offset + 24, message.begin() + nt_offset + 32),
            (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  // No key exchange asked for: no session key.
  EXPECT_EQ(message[52] | (message[53] << 8), 0);
}

}  // namespace
}  // namespace protocols::ntlm
