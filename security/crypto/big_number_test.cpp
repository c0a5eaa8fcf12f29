#include "security/crypto/big_number.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace security {
namespace {

BigNumber Hex(const char* text) { return BigNumber::FromHex(text); }

TEST(BigNumberTest, NewValueIsOneZeroWord) {
  BigNumber zero;
  EXPECT_EQ(zero.WordCount(), 1u);
  EXPECT_TRUE(zero.IsZero());
  EXPECT_EQ(zero.ToBytes(), (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

// Bytes out are whole words, most significant word first; bytes in may have any length.
TEST(BigNumberTest, ByteConversions) {
  const std::vector<std::uint8_t> in = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05};
  const BigNumber n = BigNumber::FromBytes(in);
  EXPECT_EQ(n.WordCount(), 2u);
  EXPECT_EQ(n.Word(0), 0x02030405u);
  EXPECT_EQ(n.Word(1), 0x0001u);
  EXPECT_EQ(n.ToBytes(), (std::vector<std::uint8_t>{0, 0, 0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(n.ToMinimalBytes(), (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(n.ToBytes(7), (std::vector<std::uint8_t>{0, 0, 1, 2, 3, 4, 5}));
  EXPECT_THROW(n.ToBytes(4), std::length_error);
  EXPECT_EQ(n.BitLength(), 33u);
}

struct HexCase {
  const char* text;
  const char* canonical;
};

constexpr HexCase kHexCases[] = {
    {"0", "0"},         {"-0", "0"},  {"0x00ff", "ff"}, {"DEADbeef", "deadbeef"}, {"-1 0000 0000", "-100000000"},
    {"000000000000000000000001", "1"},
};

TEST(BigNumberTest, HexRoundTrip) {
  for (const auto& c : kHexCases) EXPECT_EQ(Hex(c.text).ToHex(), c.canonical) << c.text;
  EXPECT_THROW(Hex("12g4"), std::invalid_argument);
}

// Signed arithmetic follows the C rules: truncating quotient, remainder with the dividend's sign.
struct SignedCase {
  const char* a;
  const char* b;
  const char* sum;
  const char* difference;
  const char* product;
  const char* quotient;
  const char* remainder;
};

constexpr SignedCase kSignedCases[] = {
    {"7", "2", "9", "5", "e", "3", "1"},
    {"-7", "2", "-5", "-9", "-e", "-3", "-1"},
    {"7", "-2", "5", "9", "-e", "-3", "1"},
    {"-7", "-2", "-9", "-5", "e", "3", "-1"},
    {"2", "7", "9", "-5", "e", "0", "2"},
    {"ffffffffffffffff", "1", "10000000000000000", "fffffffffffffffe", "ffffffffffffffff", "ffffffffffffffff", "0"},
    // Divisor words that force the rare add-back step of long division.
    {"7fffffff800000000000000000000000", "800000000000000000000001", "80000000000000000000000000000001",
     "7ffffffeffffffffffffffffffffffff", "3fffffffc0000000000000007fffffff800000000000000000000000", "fffffffe",
     "7fffffffffffffff00000002"},
};

TEST(BigNumberTest, SignedArithmetic) {
  for (const auto& c : kSignedCases) {
    SCOPED_TRACE(std::string(c.a) + " , " + c.b);
    const BigNumber a = Hex(c.a);
    const BigNumber b = Hex(c.b);
    EXPECT_EQ((a + b).ToHex(), c.sum);
    EXPECT_EQ((a - b).ToHex(), c.difference);
    EXPECT_EQ((a * b).ToHex(), c.product);
    BigNumber q;
    BigNumber r;
    BigNumber::DivMod(a, b, &q, &r);
    EXPECT_EQ(q.ToHex(), c.quotient);
    EXPECT_EQ(r.ToHex(), c.remainder);
  }
}

TEST(BigNumberTest, ModularOperations) {
  const BigNumber m = Hex("fffffffb");  // prime
  EXPECT_EQ(BigNumber::Mod(Hex("-1"), m).ToHex(), "fffffffa");
  EXPECT_EQ(BigNumber::ModInverse(Hex("2"), m).ToHex(), "7ffffffe");
  EXPECT_THROW(BigNumber::ModInverse(Hex("6"), Hex("9")), std::domain_error);
  // Fermat: a^(p-1) = 1 for an odd (Montgomery) and an even modulus.
  EXPECT_EQ(BigNumber::ModExp(Hex("1234567"), Hex("fffffffa"), m).ToHex(), "1");
  EXPECT_EQ(BigNumber::ModExp(Hex("3"), Hex("64"), Hex("10000000000000000")).ToHex(), "d6947d55cf3813d1");
  EXPECT_EQ(BigNumber::ModExp(Hex("5"), Hex("0"), m).ToHex(), "1");
  EXPECT_EQ(BigNumber::ModExp(Hex("5"), Hex("3"), Hex("1")).ToHex(), "0");
  EXPECT_THROW(BigNumber::DivMod(m, BigNumber(), nullptr, nullptr), std::domain_error);
}

TEST(BigNumberTest, CapacityIsEnforced) {
  const BigNumber big = BigNumber(1).ShiftedLeft(32 * 383);  // 384 words
  EXPECT_EQ(big.WordCount(), 384u);
  EXPECT_THROW(big.ShiftedLeft(32), std::overflow_error);
  EXPECT_THROW(big * big, std::overflow_error);
  EXPECT_THROW(BigNumber::FromBytes(std::vector<std::uint8_t>(1537, 1)), std::overflow_error);
}

}  // namespace
}  // namespace security
