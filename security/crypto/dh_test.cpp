#include "security/crypto/dh.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "security/crypto/random_generator.h"

namespace security {
namespace {

// The 1024-bit MODP group of RFC 2409 (Oakley group 2), generator 2.
const char kOakley2[] =
    "FFFFFFFFFFFFFFFFC90FDAA22168C234C4C6628B80DC1CD129024E088A67CC74020BBEA63B139B22514A08798E3404DD"
    "EF9519B3CD3A431B302B0A6DF25F14374FE1356D6D51C245E485B576625E7EC6F44C42E9A637ED6B0BFF5CB6F406B7ED"
    "EE386BFB5A899FA5AE9F24117C4B1FE649286651ECE65381FFFFFFFFFFFFFFFF";

TEST(DhTest, BothSidesAgreeAndDegenerateValuesAreRefused) {
  const BigNumber p = BigNumber::FromHex(kOakley2);
  const BigNumber g(2);
  RandomGenerator random;
  random.SeedForTesting(8);
  const BigNumber x = random.FillBigNumber(48);
  const BigNumber y = random.FillBigNumber(48);
  const BigNumber client_public = DhPublicValue(p, g, x);
  const BigNumber server_public = DhPublicValue(p, g, y);
  const BigNumber client_shared = DhSharedValue(p, server_public, x);
  EXPECT_EQ(client_shared, DhSharedValue(p, client_public, y));
  EXPECT_NE(client_shared, BigNumber(1));
  EXPECT_EQ(DhSharedSecretBytes(p, client_shared).size(), 128u);
  for (const BigNumber& bad : {BigNumber(1), BigNumber(0), p - BigNumber(1), p}) {
    EXPECT_THROW(DhSharedValue(p, bad, x), std::invalid_argument) << bad.ToHex();
  }
}

}  // namespace
}  // namespace security
