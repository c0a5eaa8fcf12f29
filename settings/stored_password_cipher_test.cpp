#include "settings/stored_password_cipher.h"

#include <regex>
#include <set>

#include <gtest/gtest.h>

namespace settings {
namespace {

std::vector<std::uint8_t> FromHex(std::string_view hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

constexpr std::string_view kSalt = "{01234567-89ab-cdef-0123-456789abcdef}";

// Expected keys and stored values computed independently (Python hashlib and a
// separate RC4) with the salt above.
struct KnownAnswer {
  std::string_view host;
  std::int32_t port;
  std::string_view password;
  std::string_view key_hex;
  std::string_view stored_hex;
};
const KnownAnswer kKnownAnswers[] = {
    {"smtp.example.com", 25, "secret", "0041DBBB07AC47A2460DC5EBC74EE938B3350A06",
     "3301F61E2A4785EF9B71ABADD4535A210F1BBED7E45DEA7266B95165A223A17814ED28F7E1AD8C08A646B342"},
    {"mail.corvane.com", 465, "", "359AF6798767FEE21073B66754486EA5B3350A06",
     "FBCBD11B71483FDB5C8A62FC08E118805DBAEC46BA50B6EB35761F05DFBFBE6CC60BECF458FD"},
    {"", 0, "p\xe4ss w\"rd", "F1D3FF8443297732862DF21DC4E57262B3350A06",
     "6AB1C254A9E4CEDCABC5A56EF90B1AB68E84BADD9B4C492347CD6A3AB9CC86136C1ED1F7002F0612747B5A5F444BAD"},
};

TEST(StoredPasswordCipherTest, MatchesKnownAnswersWithAFixedSalt) {
  for (const KnownAnswer& k : kKnownAnswers) {
    StoredPasswordCipher cipher(k.host, k.port);
    const StoredPasswordCipher::Key& key = cipher.key();
    EXPECT_EQ(std::vector<std::uint8_t>(key.begin(), key.end()), FromHex(k.key_hex)) << k.host;
    EXPECT_EQ(cipher.Encipher(k.password, kSalt), FromHex(k.stored_hex)) << k.host;
    EXPECT_EQ(cipher.Decipher(FromHex(k.stored_hex)), k.password) << k.host;
  }
  // Key bytes 16-19 from caller-given bytes: a service name as UTF-16LE and a GUID.
  std::vector<std::uint8_t> tail = {'W', 0, 'o', 0, 'r', 0, 'k', 0};
  for (int i = 0; i < 16; ++i) tail.push_back(static_cast<std::uint8_t>(i));
  StoredPasswordCipher account("pop.example.com", 110, tail);
  EXPECT_EQ(std::vector<std::uint8_t>(account.key().begin(), account.key().end()),
            FromHex("2549B7B8C295D8FA96BDFA85B8908027BF7A3BB1"));
  EXPECT_EQ(account.Encipher("pw", kSalt),
            FromHex("A7DB263EAE453FCD2C20117AD25D6BDD7E2A04DEA1216AF72B89EFB87BF081C1FC960360CDF82BCA"));
  EXPECT_THROW(account.Encipher("pw", "short salt"), std::invalid_argument);
}

TEST(StoredPasswordCipherTest, FreshSaltsAreWellFormedAndDiffer) {
  const std::regex form("\\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\}");
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    std::string salt = StoredPasswordCipher::NewSalt();
    ASSERT_TRUE(std::regex_match(salt, form)) << salt;
    ASSERT_TRUE(seen.insert(salt).second) << salt;
  }
  StoredPasswordCipher cipher("smtp.example.com", 25);
  auto first = cipher.Encipher("secret");
  auto second = cipher.Encipher("secret");
  EXPECT_NE(first, second);
  EXPECT_EQ(cipher.Decipher(first), "secret");
  EXPECT_EQ(cipher.Decipher(second), "secret");
}

// Short or damaged stored values decipher without fault; another server's key
// gives other text, which nothing detects.
TEST(StoredPasswordCipherTest, DamagedOrForeignValuesDecipherQuietly) {
  StoredPasswordCipher cipher("smtp.example.com", 25);
  const std::string long_password(200, 'x');
  const auto stored = cipher.Encipher(long_password);
  EXPECT_EQ(cipher.Decipher(stored), long_password);
  EXPECT_EQ(cipher.Decipher({}), "");
  EXPECT_EQ(cipher.Decipher(std::span(stored).first(38)), "");
  EXPECT_EQ(cipher.Decipher(std::span(stored).first(39)), "x");
  EXPECT_NE(StoredPasswordCipher("smtp.example.org", 25).Decipher(stored), long_password);
  EXPECT_NE(StoredPasswordCipher("smtp.example.com", 587).Decipher(stored), long_password);
  EXPECT_EQ(cipher.Decipher(Bytes(std::string(40, '\0'))).size(), 2u);
}

}  // namespace
}  // namespace settings
