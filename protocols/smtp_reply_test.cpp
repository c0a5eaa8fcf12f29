#include "protocols/smtp_reply.h"

#include <gtest/gtest.h>

#include "protocols/dot_stuffer.h"
#include "protocols/sasl_authenticator.h"

namespace protocols {
namespace {

TEST(SmtpReplyPacking, PackedValuesReadBackAsTheReplyNumber) {
  const struct {
    const char* line;
    MailResult number;  // as read back
    int reply_class;
  } kTable[] = {
      {"250 ok", 0x80C30000 + 250, 1},       {"421 bye", 0x80C30000 + 421, 2},
      {"432-more", 0x80C30000 + 432, 2},     {"530 auth first", 0x80C30000 + 530, 3},
      {"553", 0x80C30000 + 553, 3},          {"599 x", 0x80C30000 + 599, 3},
      {"500 what", 0x80C30000 + 500, 3},     {"199 odd", 0x80C30000 + 299, 1},
      {"354 go on", 0x80C30000 + 554, 3},    {"099 zero", 0x80C30000 + 99, 0},
      {"690 six", 0x80C30000 + 490, 2},      {"12", kSmtpMalformedReply, 0},
      {"", kSmtpMalformedReply, 0},          {"25x ok", kSmtpMalformedReply, 0},
      {"250x", kSmtpMalformedReply, 0},      {"abc def", kSmtpMalformedReply, 0},
  };
  for (const auto& row : kTable) {
    const MailResult packed = PackSmtpReply(row.line);
    EXPECT_EQ(packed & 0xFFFF0000u, 0x80C30000u) << row.line;
    EXPECT_EQ(SmtpReplyNumber(packed), row.number) << row.line;
    EXPECT_EQ(SmtpReplyClass(packed), row.reply_class) << row.line;
  }
  // The fixed values are class 0 and read back as themselves.
  for (MailResult fixed : {kSmtpMalformedReply, kSmtpSizeNotConfirmed, kSmtpNoStartTls}) {
    EXPECT_EQ(SmtpReplyNumber(fixed), fixed);
    EXPECT_EQ(SmtpReplyClass(fixed), 0);
  }
  // 0x80C30217 is "no mechanism could be tried": bits 7-13 = 4, class 0.
  EXPECT_EQ(SmtpReplyNumber(kSmtpNoMechanism), 0x80C30000u + 23);
  // Bit layout of one value: 535 → class 3, (35 + 10) << 7, 35.
  EXPECT_EQ(PackSmtpReply("535 no"), 0x80C30000u | (3u << 14) | (45u << 7) | 35u);
}

TEST(SmtpCapabilities, MultiLineEhloReply) {
  const auto found = ParseEhloCapabilities({"250-mail.example.org greets you", "250-SIZE 10240000",
                                            "250 AUTH LOGIN PLAIN"});
  EXPECT_EQ(found.capabilities, unsigned{kSmtpSize | kSmtpAuth});
  EXPECT_EQ(found.max_size, 10240000u);
  EXPECT_EQ(found.mechanisms, unsigned{kSaslLogin | kSaslPlain});
}

TEST(SmtpCapabilities, EveryKeywordAndTheOlderAuthForm) {
  const auto found = ParseEhloCapabilities({"250-x", "250-EXPN", "250-vrfy", "250-DSN", "250-ENHANCEDSTATUSCODES",
                                            "250-STARTTLS", "250-AUTH=LOGIN", "250-AUTH CRAM-MD5 digest-md5 NTLM",
                                            "250-PIPELINING", "250-8BITMIME", "250 SIZE"});
  EXPECT_EQ(found.capabilities, 127u);
  EXPECT_EQ(found.mechanisms, unsigned{kSaslLogin | kSaslCramMd5 | kSaslDigestMd5 | kSaslNtlm});
  EXPECT_EQ(found.max_size, 0u);
  const auto bare = ParseEhloCapabilities({"250-x", "250 AUTH "});
  EXPECT_EQ(bare.capabilities, unsigned{kSmtpAuth});
  EXPECT_EQ(bare.mechanisms, 0u);
  EXPECT_EQ(ParseEhloCapabilities({"25", "250", "250-AUTH"}).capabilities, 0u);
}

TEST(SmtpHeloDomain, KeepsHostNameCharactersOrFallsBackToTheAddress) {
  EXPECT_EQ(SanitizeHeloDomain("my host!.example_org", "10.0.0.5"), "myhost.exampleorg");
  EXPECT_EQ(SanitizeHeloDomain("mail-1.example.org", "10.0.0.5"), "mail-1.example.org");
  EXPECT_EQ(SanitizeHeloDomain("localhost", "127.0.0.1"), "[127.0.0.1]");
  EXPECT_EQ(SanitizeHeloDomain("", "(unknown)"), "[(unknown)]");
  EXPECT_EQ(SanitizeHeloDomain("\xC3\xA9t\xC3\xA9", "1.2.3.4"), "[1.2.3.4]");
}

// What a server makes of the DATA stream: the first "." of every line goes,
// the line "." ends the data.
std::string ServerUnstuff(const std::string& wire, bool* ended) {
  std::string message;
  std::size_t at = 0;
  *ended = false;
  while (at < wire.size()) {
    std::size_t end = wire.find("\r\n", at);
    if (end == std::string::npos) break;
    std::string line = wire.substr(at, end - at);
    at = end + 2;
    if (line == ".") {
      *ended = at == wire.size();
      break;
    }
    if (!line.empty() && line[0] == '.') line.erase(0, 1);
    message += line + "\r\n";
  }
  return message;
}

std::string Stuff(const std::string& data, const std::vector<std::size_t>& cuts) {
  DotStuffer stuffer;
  std::string out;
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    stuffer.Write({reinterpret_cast<const std::uint8_t*>(data.data()) + from, cut - from}, &out);
    from = cut;
  }
  stuffer.Write({reinterpret_cast<const std::uint8_t*>(data.data()) + from, data.size() - from}, &out);
  stuffer.Finish(&out);
  return out;
}

TEST(DotStuffing, KnownForms) {
  const struct {
    std::string data, wire;
  } kTable[] = {
      {"a\r\n.\r\nb\r\n", "a\r\n..\r\nb\r\n.\r\n"},
      {".starts\r\n", "..starts\r\n.\r\n"},
      {"x\r\n.hidden line\r\n", "x\r\n..hidden line\r\n.\r\n"},
      {"no end", "no end\r\n.\r\n"},
      {"ends with CR\r", "ends with CR\r\r\n.\r\n"},
      {"", "\r\n.\r\n"},
      {"bare\n.lf\r\n", "bare\r\n..lf\r\n.\r\n"},  // a bare LF goes out as CR LF
      {"\n.\n", "\r\n..\r\n.\r\n"},
      {"cr\r.lf\n", "cr\r.lf\r\n.\r\n"},
      {"\r\n\r\n", "\r\n\r\n.\r\n"},
  };
  for (const auto& row : kTable) EXPECT_EQ(Stuff(row.data, {}), row.wire) << row.data;
}

// Every cut of the data near its dots gives the same wire form, and the
// server gets the data back exactly.
TEST(DotStuffing, SameWireFormWhereverTheDataIsCut) {
  const std::string data = ".a\r\n.\r\n..\r\nx.\r\n\r\n.\r\n.end";
  const std::string whole = Stuff(data, {});
  for (std::size_t cut = 0; cut <= data.size(); ++cut) {
    EXPECT_EQ(Stuff(data, {cut}), whole) << cut;
    for (std::size_t second = cut; second <= data.size(); ++second) {
      ASSERT_EQ(Stuff(data, {cut, second}), whole) << cut << "," << second;
    }
  }
  bool ended = false;
  EXPECT_EQ(ServerUnstuff(whole, &ended), data + "\r\n");
  EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace protocols
