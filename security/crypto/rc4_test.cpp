#include "security/crypto/rc4.h"

#include <gtest/gtest.h>

#include <vector>

#include "security/crypto/hash_test_support.h"

namespace security {
namespace {

using testing_hex::FromHex;
using testing_hex::ToHex;

struct Rc4Vector {
  const char* key;
  std::size_t offset;
  const char* keystream;  // 16 bytes at offset
};

// RFC 6229, section 2: key stream at selected offsets for several key lengths.
constexpr Rc4Vector kRfc6229Vectors[] = {
    {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
    {"0102030405", 16, "6982944f18fc82d589c403a47a0d0919"},
    {"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae"},
    {"0102030405", 256, "1cfcf62b03eddb641d77dfcf7f8d8c93"},
    {"0102030405", 4096, "ff25b58995996707e51fbdf08b34d875"},
    {"01020304050607", 0, "293f02d47f37c9b633f2af5285feb46b"},
    {"01020304050607", 4096, "e74b0b9731227fd37c0ec08a47ddd8b8"},
    {"0102030405060708", 0, "97ab8a1bf0afb96132f2f67258da15a8"},
    {"0102030405060708", 256, "d0a990ff2c05fef5b90373c9ff4b870a"},
    {"0102030405060708090a", 16, "03516ba78f413beb223aa5d4d2df6711"},
    {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
    {"0102030405060708090a0b0c0d0e0f10", 4096, "a36a4c301ae8ac13610ccbc12256cacc"},
    {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 0, "eaa6bd25880bf93d3f5d1e4ca2611d91"},
    {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 4096, "f3e4c0a2e02d1d01f7f0a74618af2b48"},
    {"833222772a", 0, "80ad97bdc973df8a2e879e92a497efda"},
    {"833222772a", 256, "f0daf5bab3d596839857846f73fbfe5a"},
    {"1910833222772a", 240, "3f0931aa03defb300f060103826f2a64"},
    {"ebb46227c6cc8b37641910833222772a", 4096, "5bbeb4787d59e5373fdbea6c6f75c29b"},
};

TEST(Rc4Test, Rfc6229KeyStream) {
  for (const auto& v : kRfc6229Vectors) {
    SCOPED_TRACE(std::string(v.key) + " @" + std::to_string(v.offset));
    Rc4 rc4(FromHex(v.key));
    std::vector<std::uint8_t> stream(v.offset + 16, 0);
    rc4.Crypt(stream);
    EXPECT_EQ(ToHex(std::vector<std::uint8_t>(stream.begin() + v.offset, stream.end())), v.keystream);
  }
}

// Crypting in pieces continues the key stream, separate buffers and in place alike,
// and a second pass with the same key restores the plaintext.
TEST(Rc4Test, PiecewiseAndSeparateBuffersMatchOnePass) {
  const auto key = FromHex("0102030405");
  std::vector<std::uint8_t> plain(300);
  for (std::size_t k = 0; k < plain.size(); ++k) plain[k] = static_cast<std::uint8_t>(k * 7);

  std::vector<std::uint8_t> one_pass = plain;
  Rc4(key).Crypt(one_pass);

  Rc4 pieces(key);
  std::vector<std::uint8_t> out(plain.size());
  std::size_t pos = 0;
  for (std::size_t piece : {1u, 15u, 16u, 17u, 251u}) {
    pieces.Crypt(plain.data() + pos, out.data() + pos, piece);
    pos += piece;
  }
  EXPECT_EQ(out, one_pass);

  Rc4(key).Crypt(out);
  EXPECT_EQ(out, plain);
}

}  // namespace
}  // namespace security
