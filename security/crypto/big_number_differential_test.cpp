// BigNumber against OpenSSL's BN on random operands up to 4096 bits, including
// operands made of all-ones and all-zeros words, which stress carries and the
// quotient estimate of long division.

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/err.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "security/crypto/big_number.h"

namespace security {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Bn = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

Bn NewBn() { return Bn(BN_new(), BN_free); }

struct Ctx {
  Ctx() : ctx(BN_CTX_new()) {}
  ~Ctx() { BN_CTX_free(ctx); }
  BN_CTX* ctx;
};

Bytes RandomOperand(std::mt19937& rng, std::size_t max_bits) {
  const std::size_t bits = 1 + rng() % max_bits;
  Bytes out((bits + 7) / 8);
  const int style = rng() % 4;
  for (auto& b : out) {
    if (style == 0) b = 0xff;
    else if (style == 1) b = (rng() % 3 == 0) ? 0 : 0xff;
    else b = static_cast<std::uint8_t>(rng());
  }
  out[0] &= static_cast<std::uint8_t>(0xff >> ((8 - bits % 8) % 8));
  return out;
}

Bn ToBn(const Bytes& bytes, bool negative) {
  Bn bn(BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr), BN_free);
  BN_set_negative(bn.get(), negative ? 1 : 0);
  return bn;
}

BigNumber ToOurs(const Bytes& bytes, bool negative) {
  BigNumber n = BigNumber::FromBytes(bytes);
  return negative ? n.Negated() : n;
}

// Both in one comparable form: sign and minimal magnitude bytes.
std::string Describe(const BIGNUM* bn) {
  Bytes out(BN_num_bytes(bn));
  BN_bn2bin(bn, out.data());
  return (BN_is_negative(bn) ? "-" : "+") + BigNumber::FromBytes(out).ToHex();
}

std::string Describe(const BigNumber& n) { return (n.IsNegative() ? "-" : "+") + n.Abs().ToHex(); }

TEST(BigNumberDifferentialTest, SignedAddSubtractMultiplyDivide) {
  std::mt19937 rng(20240611);
  Ctx c;
  for (int round = 0; round < 400; ++round) {
    const Bytes a_bytes = RandomOperand(rng, 4096);
    const Bytes b_bytes = RandomOperand(rng, round % 2 == 0 ? 4096 : 2048);
    const bool a_negative = rng() % 3 == 0;
    const bool b_negative = rng() % 3 == 0;
    const Bn a = ToBn(a_bytes, a_negative);
    const Bn b = ToBn(b_bytes, b_negative);
    const BigNumber x = ToOurs(a_bytes, a_negative);
    const BigNumber y = ToOurs(b_bytes, b_negative);
    SCOPED_TRACE(Describe(x) + " , " + Describe(y));

    Bn r = NewBn();
    BN_add(r.get(), a.get(), b.get());
    EXPECT_EQ(Describe(x + y), Describe(r.get()));
    BN_sub(r.get(), a.get(), b.get());
    EXPECT_EQ(Describe(x - y), Describe(r.get()));
    BN_mul(r.get(), a.get(), b.get(), c.ctx);
    EXPECT_EQ(Describe(x * y), Describe(r.get()));
    if (!BN_is_zero(b.get())) {
      Bn rem = NewBn();
      BN_div(r.get(), rem.get(), a.get(), b.get(), c.ctx);
      BigNumber q;
      BigNumber m;
      BigNumber::DivMod(x, y, &q, &m);
      EXPECT_EQ(Describe(q), Describe(r.get()));
      EXPECT_EQ(Describe(m), Describe(rem.get()));
    }
  }
}

TEST(BigNumberDifferentialTest, ModularMultiplyAndInverse) {
  std::mt19937 rng(77);
  Ctx c;
  for (int round = 0; round < 200; ++round) {
    const Bytes m_bytes = RandomOperand(rng, 4096);
    const Bytes a_bytes = RandomOperand(rng, 4096);
    const Bytes b_bytes = RandomOperand(rng, 4096);
    const Bn m = ToBn(m_bytes, false);
    if (BN_is_zero(m.get())) continue;
    const Bn a = ToBn(a_bytes, false);
    const Bn b = ToBn(b_bytes, false);
    const BigNumber mod = ToOurs(m_bytes, false);
    const BigNumber x = ToOurs(a_bytes, false);
    const BigNumber y = ToOurs(b_bytes, false);
    SCOPED_TRACE(Describe(x) + " , " + Describe(y) + " mod " + Describe(mod));

    Bn r = NewBn();
    BN_mod_mul(r.get(), a.get(), b.get(), m.get(), c.ctx);
    EXPECT_EQ(Describe(BigNumber::ModMultiply(x, y, mod)), Describe(r.get()));
    BIGNUM* inverse = BN_mod_inverse(nullptr, a.get(), m.get(), c.ctx);
    if (inverse != nullptr) {
      EXPECT_EQ(Describe(BigNumber::ModInverse(x, mod)), Describe(inverse));
      BN_free(inverse);
    } else {
      ERR_clear_error();
      if (!(mod == BigNumber(1))) {
        EXPECT_THROW(BigNumber::ModInverse(x, mod), std::domain_error);
      }
    }
  }
}

TEST(BigNumberDifferentialTest, ModularExponentiation) {
  std::mt19937 rng(4096);
  Ctx c;
  for (int round = 0; round < 60; ++round) {
    const std::size_t modulus_bits = round < 20 ? 4096 : 64 + rng() % 4032;
    Bytes m_bytes = RandomOperand(rng, modulus_bits);
    if (round % 5 != 4) m_bytes.back() |= 1;  // mostly odd moduli; every fifth may be even
    const Bytes base_bytes = RandomOperand(rng, 4096);
    const Bytes e_bytes = RandomOperand(rng, round % 3 == 0 ? 32 : modulus_bits);
    const Bn m = ToBn(m_bytes, false);
    if (BN_is_zero(m.get())) continue;
    const Bn base = ToBn(base_bytes, false);
    const Bn e = ToBn(e_bytes, false);
    Bn r = NewBn();
    BN_mod_exp(r.get(), base.get(), e.get(), m.get(), c.ctx);
    const BigNumber ours =
        BigNumber::ModExp(ToOurs(base_bytes, false), ToOurs(e_bytes, false), ToOurs(m_bytes, false));
    EXPECT_EQ(Describe(ours), Describe(r.get())) << "round " << round;
  }
}

}  // namespace
}  // namespace security
