#include "security/crypto/elliptic_curve.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#include "security/crypto/big_number.h"
#include "security/crypto/hmac.h"
#include "security/crypto/random_generator.h"
#include "security/crypto/secure_wipe.h"
#include "security/crypto/sha256.h"
#include "security/crypto/sha512.h"

namespace security {
namespace {

using U128 = unsigned __int128;

// Field elements and scalars: N 64-bit limbs, least significant first.
template <std::size_t N>
using Limbs = std::array<std::uint64_t, N>;

template <std::size_t N>
Limbs<N> FromBytes(const std::uint8_t* bytes) {  // 8N big-endian bytes
  Limbs<N> r{};
  for (std::size_t k = 0; k < N; ++k) {
    std::uint64_t w = 0;
    for (int b = 0; b < 8; ++b) w = (w << 8) | bytes[8 * (N - 1 - k) + b];
    r[k] = w;
  }
  return r;
}

template <std::size_t N>
void ToBytes(const Limbs<N>& a, std::uint8_t* bytes) {
  for (std::size_t k = 0; k < N; ++k) {
    for (int b = 0; b < 8; ++b) bytes[8 * (N - 1 - k) + b] = static_cast<std::uint8_t>(a[k] >> (56 - 8 * b));
  }
}

// a < b, for public values.
template <std::size_t N>
bool Less(const Limbs<N>& a, const Limbs<N>& b) {
  for (std::size_t k = N; k-- > 0;) {
    if (a[k] != b[k]) return a[k] < b[k];
  }
  return false;
}

// All ones when a < b, without a branch or early exit on the values.
template <std::size_t N>
std::uint64_t LessMask(const Limbs<N>& a, const Limbs<N>& b) {
  std::uint64_t borrow = 0;
  for (std::size_t k = 0; k < N; ++k) {
    const U128 t = U128(a[k]) - b[k] - borrow;
    borrow = static_cast<std::uint64_t>(t >> 64) & 1;
  }
  return 0 - borrow;
}

template <std::size_t N>
std::uint64_t IsZeroMask(const Limbs<N>& a) {  // all ones when a == 0
  std::uint64_t any = 0;
  for (auto w : a) any |= w;
  return ((any | (0 - any)) >> 63) - 1;
}

template <std::size_t N>
void Select(Limbs<N>& r, const Limbs<N>& a, std::uint64_t mask) {  // r = mask ? a : r
  for (std::size_t k = 0; k < N; ++k) r[k] ^= mask & (r[k] ^ a[k]);
}

// Arithmetic modulo an odd prime p in Montgomery form (x stored as x * 2^(64N) mod p).
// Every result is fully reduced, so equal values have equal limbs.
template <std::size_t N>
class Field {
 public:
  explicit Field(const Limbs<N>& p) : p_(p) {
    // -p^-1 mod 2^64 by Newton's iteration.
    std::uint64_t inv = 1;
    for (int k = 0; k < 7; ++k) inv *= 2 - p[0] * inv;
    p_inv_ = 0 - inv;
    // R mod p and R^2 mod p by doubling 1.
    Limbs<N> x{};
    x[0] = 1;
    for (std::size_t k = 0; k < 64 * N; ++k) x = Add(x, x);
    one_ = x;
    for (std::size_t k = 0; k < 64 * N; ++k) x = Add(x, x);
    r2_ = x;
  }

  const Limbs<N>& p() const { return p_; }
  const Limbs<N>& One() const { return one_; }

  Limbs<N> Add(const Limbs<N>& a, const Limbs<N>& b) const {
    Limbs<N> sum, diff;
    std::uint64_t carry = 0;
    for (std::size_t k = 0; k < N; ++k) {
      const U128 t = U128(a[k]) + b[k] + carry;
      sum[k] = static_cast<std::uint64_t>(t);
      carry = static_cast<std::uint64_t>(t >> 64);
    }
    const std::uint64_t borrow = SubtractP(sum, diff);
    // Keep the difference unless it went below zero without a carry to pay for it.
    const std::uint64_t keep_sum = (1 - carry) & borrow;
    Select(diff, sum, 0 - keep_sum);
    return diff;
  }

  Limbs<N> Sub(const Limbs<N>& a, const Limbs<N>& b) const {
    Limbs<N> r;
    std::uint64_t borrow = 0;
    for (std::size_t k = 0; k < N; ++k) {
      const U128 t = U128(a[k]) - b[k] - borrow;
      r[k] = static_cast<std::uint64_t>(t);
      borrow = static_cast<std::uint64_t>(t >> 64) & 1;
    }
    const std::uint64_t mask = 0 - borrow;
    std::uint64_t carry = 0;
    for (std::size_t k = 0; k < N; ++k) {
      const U128 t = U128(r[k]) + (p_[k] & mask) + carry;
      r[k] = static_cast<std::uint64_t>(t);
      carry = static_cast<std::uint64_t>(t >> 64);
    }
    return r;
  }

  // Montgomery product a * b / R mod p (word-by-word interleaved reduction).
  Limbs<N> Mul(const Limbs<N>& a, const Limbs<N>& b) const {
    std::uint64_t t[N + 2] = {};
    for (std::size_t i = 0; i < N; ++i) {
      U128 c = 0;
      for (std::size_t j = 0; j < N; ++j) {
        c += U128(a[j]) * b[i] + t[j];
        t[j] = static_cast<std::uint64_t>(c);
        c >>= 64;
      }
      c += t[N];
      t[N] = static_cast<std::uint64_t>(c);
      t[N + 1] = static_cast<std::uint64_t>(c >> 64);
      const std::uint64_t m = t[0] * p_inv_;
      c = U128(m) * p_[0] + t[0];
      c >>= 64;
      for (std::size_t j = 1; j < N; ++j) {
        c += U128(m) * p_[j] + t[j];
        t[j - 1] = static_cast<std::uint64_t>(c);
        c >>= 64;
      }
      c += t[N];
      t[N - 1] = static_cast<std::uint64_t>(c);
      t[N] = t[N + 1] + static_cast<std::uint64_t>(c >> 64);
    }
    Limbs<N> low, diff;
    for (std::size_t k = 0; k < N; ++k) low[k] = t[k];
    const std::uint64_t borrow = SubtractP(low, diff);
    const std::uint64_t keep_low = (1 - t[N]) & borrow;
    Select(diff, low, 0 - keep_low);
    return diff;
  }

  Limbs<N> Square(const Limbs<N>& a) const { return Mul(a, a); }
  Limbs<N> ToMontgomery(const Limbs<N>& a) const { return Mul(a, r2_); }
  Limbs<N> FromMontgomery(const Limbs<N>& a) const {
    Limbs<N> one{};
    one[0] = 1;
    return Mul(a, one);
  }

  // a^(p-2): the inverse (0 for 0). The exponent is public, so the sequence
  // of operations is the same for every a.
  Limbs<N> Invert(const Limbs<N>& a) const {
    Limbs<N> e = p_;
    e[0] -= 2;  // p is odd and far above 2
    Limbs<N> r = one_;
    for (std::size_t bit = 64 * N; bit-- > 0;) {
      r = Square(r);
      if ((e[bit / 64] >> (bit % 64)) & 1) r = Mul(r, a);
    }
    return r;
  }

 private:
  // out = a - p; returns the borrow.
  std::uint64_t SubtractP(const Limbs<N>& a, Limbs<N>& out) const {
    std::uint64_t borrow = 0;
    for (std::size_t k = 0; k < N; ++k) {
      const U128 t = U128(a[k]) - p_[k] - borrow;
      out[k] = static_cast<std::uint64_t>(t);
      borrow = static_cast<std::uint64_t>(t >> 64) & 1;
    }
    return borrow;
  }

  Limbs<N> p_;
  std::uint64_t p_inv_;
  Limbs<N> one_;
  Limbs<N> r2_;
};

// A point in projective coordinates (X : Y : Z), Montgomery form; the point
// at infinity is (0 : 1 : 0).
template <std::size_t N>
struct Point {
  Limbs<N> x, y, z;
};

template <std::size_t N>
struct Curve {
  Field<N> field;
  Limbs<N> b;  // Montgomery form
  Limbs<N> n;  // the group order
  Field<N> order;  // arithmetic modulo n, for signing
  Point<N> g;  // Montgomery form, Z = 1
  std::size_t bytes;

  Curve(const char* p_hex, const char* b_hex, const char* n_hex, const char* gx_hex, const char* gy_hex)
      : field(Hex(p_hex)), b(field.ToMontgomery(Hex(b_hex))), n(Hex(n_hex)), order(n), bytes(8 * N) {
    g = {field.ToMontgomery(Hex(gx_hex)), field.ToMontgomery(Hex(gy_hex)), field.One()};
  }

  static Limbs<N> Hex(const char* hex) {
    std::uint8_t bytes[8 * N];
    for (std::size_t k = 0; k < 8 * N; ++k) {
      auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
      bytes[k] = static_cast<std::uint8_t>(nibble(hex[2 * k]) << 4 | nibble(hex[2 * k + 1]));
    }
    return FromBytes<N>(bytes);
  }

  Point<N> Infinity() const { return {Limbs<N>{}, field.One(), Limbs<N>{}}; }

  // Complete addition for a = -3 (Renes, Costello and Batina, 2016,
  // algorithm 4): correct for every pair of inputs, doubling and the point
  // at infinity included, with no branch on the values.
  Point<N> Add(const Point<N>& p, const Point<N>& q) const {
    const Field<N>& f = field;
    Limbs<N> t0 = f.Mul(p.x, q.x);
    Limbs<N> t1 = f.Mul(p.y, q.y);
    Limbs<N> t2 = f.Mul(p.z, q.z);
    Limbs<N> t3 = f.Add(p.x, p.y);
    Limbs<N> t4 = f.Add(q.x, q.y);
    t3 = f.Mul(t3, t4);
    t4 = f.Add(t0, t1);
    t3 = f.Sub(t3, t4);
    t4 = f.Add(p.y, p.z);
    Limbs<N> x3 = f.Add(q.y, q.z);
    t4 = f.Mul(t4, x3);
    x3 = f.Add(t1, t2);
    t4 = f.Sub(t4, x3);
    x3 = f.Add(p.x, p.z);
    Limbs<N> y3 = f.Add(q.x, q.z);
    x3 = f.Mul(x3, y3);
    y3 = f.Add(t0, t2);
    y3 = f.Sub(x3, y3);
    Limbs<N> z3 = f.Mul(b, t2);
    x3 = f.Sub(y3, z3);
    z3 = f.Add(x3, x3);
    x3 = f.Add(x3, z3);
    z3 = f.Sub(t1, x3);
    x3 = f.Add(t1, x3);
    y3 = f.Mul(b, y3);
    t1 = f.Add(t2, t2);
    t2 = f.Add(t1, t2);
    y3 = f.Sub(y3, t2);
    y3 = f.Sub(y3, t0);
    t1 = f.Add(y3, y3);
    y3 = f.Add(t1, y3);
    t1 = f.Add(t0, t0);
    t0 = f.Add(t1, t0);
    t0 = f.Sub(t0, t2);
    t1 = f.Mul(t4, y3);
    t2 = f.Mul(t0, y3);
    y3 = f.Mul(x3, z3);
    y3 = f.Add(y3, t2);
    x3 = f.Mul(t3, x3);
    x3 = f.Sub(x3, t1);
    z3 = f.Mul(t4, z3);
    t1 = f.Mul(t3, t0);
    z3 = f.Add(z3, t1);
    return {x3, y3, z3};
  }

  // Complete doubling for a = -3 (the same paper, algorithm 6).
  Point<N> Double(const Point<N>& p) const {
    const Field<N>& f = field;
    Limbs<N> t0 = f.Square(p.x);
    Limbs<N> t1 = f.Square(p.y);
    Limbs<N> t2 = f.Square(p.z);
    Limbs<N> t3 = f.Mul(p.x, p.y);
    t3 = f.Add(t3, t3);
    Limbs<N> z3 = f.Mul(p.x, p.z);
    z3 = f.Add(z3, z3);
    Limbs<N> y3 = f.Mul(b, t2);
    y3 = f.Sub(y3, z3);
    Limbs<N> x3 = f.Add(y3, y3);
    y3 = f.Add(x3, y3);
    x3 = f.Sub(t1, y3);
    y3 = f.Add(t1, y3);
    y3 = f.Mul(x3, y3);
    x3 = f.Mul(x3, t3);
    t3 = f.Add(t2, t2);
    t2 = f.Add(t2, t3);
    z3 = f.Mul(b, z3);
    z3 = f.Sub(z3, t2);
    z3 = f.Sub(z3, t0);
    t3 = f.Add(z3, z3);
    z3 = f.Add(z3, t3);
    t3 = f.Add(t0, t0);
    t0 = f.Add(t3, t0);
    t0 = f.Sub(t0, t2);
    t0 = f.Mul(t0, z3);
    y3 = f.Add(y3, t0);
    t0 = f.Mul(p.y, p.z);
    t0 = f.Add(t0, t0);
    z3 = f.Mul(t0, z3);
    x3 = f.Sub(x3, z3);
    z3 = f.Mul(t0, t1);
    z3 = f.Add(z3, z3);
    z3 = f.Add(z3, z3);
    return {x3, y3, z3};
  }

  // scalar * p with a 4-bit fixed window; every table entry is read for
  // every window, so neither timing nor memory access follows the scalar.
  Point<N> Multiply(const Point<N>& p, const Limbs<N>& scalar) const {
    Point<N> table[16];
    table[0] = Infinity();
    table[1] = p;
    for (int k = 2; k < 16; ++k) table[k] = (k % 2 == 0) ? Double(table[k / 2]) : Add(table[k - 1], p);
    Point<N> r = Infinity();
    for (std::size_t window = 16 * N; window-- > 0;) {
      if (window != 16 * N - 1) {
        for (int d = 0; d < 4; ++d) r = Double(r);
      }
      const std::uint64_t digit = (scalar[window / 16] >> (4 * (window % 16))) & 15;
      Point<N> chosen = Infinity();
      for (std::uint64_t k = 0; k < 16; ++k) {
        const std::uint64_t mask = IsZeroMask(Limbs<1>{k ^ digit});
        Select(chosen.x, table[k].x, mask);
        Select(chosen.y, table[k].y, mask);
        Select(chosen.z, table[k].z, mask);
      }
      r = Add(r, chosen);
    }
    SecureWipe(table, sizeof(table));
    return r;
  }

  // a * p + b * q for public scalars (signature checks): one run of
  // doublings shared by both, and the table entries picked directly.
  Point<N> MultiplyTwoPublic(const Point<N>& p, const Limbs<N>& a, const Point<N>& q, const Limbs<N>& b) const {
    Point<N> table_p[16], table_q[16];
    table_p[0] = table_q[0] = Infinity();
    table_p[1] = p;
    table_q[1] = q;
    for (int k = 2; k < 16; ++k) {
      table_p[k] = (k % 2 == 0) ? Double(table_p[k / 2]) : Add(table_p[k - 1], p);
      table_q[k] = (k % 2 == 0) ? Double(table_q[k / 2]) : Add(table_q[k - 1], q);
    }
    Point<N> r = Infinity();
    for (std::size_t window = 16 * N; window-- > 0;) {
      if (window != 16 * N - 1) {
        for (int d = 0; d < 4; ++d) r = Double(r);
      }
      const std::size_t shift = 4 * (window % 16);
      r = Add(r, table_p[(a[window / 16] >> shift) & 15]);
      r = Add(r, table_q[(b[window / 16] >> shift) & 15]);
    }
    return r;
  }

  bool IsInfinity(const Point<N>& p) const { return IsZeroMask(p.z) != 0; }

  // Affine coordinates as plain integers; the point must not be infinity.
  void ToAffine(const Point<N>& p, Limbs<N>* x, Limbs<N>* y) const {
    const Limbs<N> z_inv = field.Invert(p.z);
    *x = field.FromMontgomery(field.Mul(p.x, z_inv));
    if (y != nullptr) *y = field.FromMontgomery(field.Mul(p.y, z_inv));
  }

  // y^2 = x^3 - 3x + b for plain (not Montgomery) coordinates below p.
  bool OnCurve(const Limbs<N>& x_plain, const Limbs<N>& y_plain) const {
    const Limbs<N> x = field.ToMontgomery(x_plain);
    const Limbs<N> y = field.ToMontgomery(y_plain);
    const Limbs<N> x3 = field.Mul(field.Square(x), x);
    const Limbs<N> three_x = field.Add(field.Add(x, x), x);
    const Limbs<N> rhs = field.Add(field.Sub(x3, three_x), b);
    return field.Square(y) == rhs;
  }

  // Parses and checks an uncompressed peer point into Montgomery form.
  std::optional<Point<N>> Decode(std::span<const std::uint8_t> encoded) const {
    if (encoded.size() != 1 + 2 * bytes || encoded[0] != 0x04) return std::nullopt;
    const Limbs<N> x = FromBytes<N>(encoded.data() + 1);
    const Limbs<N> y = FromBytes<N>(encoded.data() + 1 + bytes);
    if (!Less(x, field.p()) || !Less(y, field.p())) return std::nullopt;
    if (!OnCurve(x, y)) return std::nullopt;
    return Point<N>{field.ToMontgomery(x), field.ToMontgomery(y), field.One()};
  }

  std::vector<std::uint8_t> Encode(const Point<N>& p) const {
    Limbs<N> x, y;
    ToAffine(p, &x, &y);
    std::vector<std::uint8_t> out(1 + 2 * bytes);
    out[0] = 0x04;
    ToBytes(x, out.data() + 1);
    ToBytes(y, out.data() + 1 + bytes);
    return out;
  }

  // A private key or signature value in [1, n - 1]. The comparison runs in
  // the same time for every key; only whether it is valid shows.
  std::optional<Limbs<N>> ScalarFromBytes(std::span<const std::uint8_t> value) const {
    if (value.size() != bytes) return std::nullopt;
    const Limbs<N> k = FromBytes<N>(value.data());
    if ((IsZeroMask(k) | ~LessMask(k, n)) != 0) return std::nullopt;
    return k;
  }
};

const Curve<4>& P256() {
  static const Curve<4> curve(
      "ffffffff00000001000000000000000000000000ffffffffffffffffffffffff",
      "5ac635d8aa3a93e7b3ebbd55769886bc651d06b0cc53b0f63bce3c3e27d2604b",
      "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551",
      "6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c296",
      "4fe342e2fe1a7f9b8ee7eb4a7c0f9e162bce33576b315ececbb6406837bf51f5");
  return curve;
}

const Curve<6>& P384() {
  static const Curve<6> curve(
      "fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffeffffffff0000000000000000ffffffff",
      "b3312fa7e23ee7e4988e056be3f82d19181d9c6efe8141120314088f5013875ac656398d8a2ed19d2a85c8edd3ec2aef",
      "ffffffffffffffffffffffffffffffffffffffffffffffffc7634d81f4372ddf581a0db248b0a77aecec196accc52973",
      "aa87ca22be8b05378eb1c71ef320ad746e1d3b628ba79b9859f741e082542a385502f25dbf55296c3a545e3872760ab7",
      "3617de4a96262c6f5d9e98bf9292dc29f8f41dbd289a147ce9da3113b5f0b8c00a60b1ce1d7e819d7a431d7c90ea0e5f");
  return curve;
}

// Runs `body` with the curve object of `curve`.
template <typename Body>
auto WithCurve(NamedCurve curve, Body body) {
  if (curve == NamedCurve::kP256) return body(P256());
  if (curve == NamedCurve::kP384) return body(P384());
  throw std::invalid_argument("Unknown curve");
}

template <std::size_t N>
std::optional<std::vector<std::uint8_t>> SharedSecret(const Curve<N>& c, std::span<const std::uint8_t> private_key,
                                                      std::span<const std::uint8_t> peer_point) {
  const auto peer = c.Decode(peer_point);
  auto k = c.ScalarFromBytes(private_key);
  if (!peer || !k) return std::nullopt;
  Point<N> product = c.Multiply(*peer, *k);
  SecureWipe(k->data(), sizeof(*k));
  // A valid peer point has prime order n and k is in [1, n - 1], so this
  // cannot be infinity; checked all the same rather than trusted.
  if (c.IsInfinity(product)) return std::nullopt;
  Limbs<N> x;
  c.ToAffine(product, &x, nullptr);
  std::vector<std::uint8_t> secret(c.bytes);
  ToBytes(x, secret.data());
  SecureWipe(&product, sizeof(product));
  SecureWipe(x.data(), sizeof(x));
  return secret;
}

template <std::size_t N>
bool Verify(const Curve<N>& c, std::span<const std::uint8_t> public_point, std::span<const std::uint8_t> digest,
            std::span<const std::uint8_t> r_bytes, std::span<const std::uint8_t> s_bytes) {
  const auto q = c.Decode(public_point);
  if (!q) return false;
  // Values longer than the order (after leading zeros) are out of range; they
  // are refused before they reach BigNumber, whatever their length.
  auto significant = [](std::span<const std::uint8_t> v) {
    while (!v.empty() && v[0] == 0) v = v.subspan(1);
    return v;
  };
  r_bytes = significant(r_bytes);
  s_bytes = significant(s_bytes);
  if (r_bytes.size() > c.bytes || s_bytes.size() > c.bytes) return false;
  std::uint8_t n_bytes[8 * N];
  ToBytes(c.n, n_bytes);
  const BigNumber n = BigNumber::FromBytes(n_bytes);
  const BigNumber r = BigNumber::FromBytes(r_bytes);
  const BigNumber s = BigNumber::FromBytes(s_bytes);
  if (r.IsZero() || s.IsZero() || BigNumber::Compare(r, n) >= 0 || BigNumber::Compare(s, n) >= 0) return false;

  // e: the leftmost bits of the digest, as many as n has.
  const std::size_t n_bits = n.BitLength();
  digest = digest.first(std::min(digest.size(), (n_bits + 7) / 8));
  BigNumber e = BigNumber::FromBytes(digest);
  if (8 * digest.size() > n_bits) e = e.ShiftedRight(8 * digest.size() - n_bits);

  const BigNumber w = BigNumber::ModInverse(s, n);
  const BigNumber u1 = BigNumber::ModMultiply(BigNumber::Mod(e, n), w, n);
  const BigNumber u2 = BigNumber::ModMultiply(r, w, n);
  const auto u1_bytes = u1.ToBytes(c.bytes);
  const auto u2_bytes = u2.ToBytes(c.bytes);
  const Point<N> sum = c.MultiplyTwoPublic(c.g, FromBytes<N>(u1_bytes.data()), *q, FromBytes<N>(u2_bytes.data()));
  if (c.IsInfinity(sum)) return false;
  Limbs<N> x;
  c.ToAffine(sum, &x, nullptr);
  std::uint8_t x_bytes[8 * N];
  ToBytes(x, x_bytes);
  const BigNumber v = BigNumber::Mod(BigNumber::FromBytes(x_bytes), n);
  return v == r;
}

// The leftmost 64N bits of `value` as an integer (bits2int of RFC 6979; both
// orders are a whole number of bytes long), left-padded when shorter.
template <std::size_t N>
Limbs<N> LeftmostBits(std::span<const std::uint8_t> value) {
  std::uint8_t bytes[8 * N] = {};
  if (value.size() >= 8 * N) {
    std::memcpy(bytes, value.data(), 8 * N);
  } else {
    std::memcpy(bytes + 8 * N - value.size(), value.data(), value.size());
  }
  return FromBytes<N>(bytes);
}

// The nonces of RFC 6979, section 3.2: HMAC_DRBG keyed with the private key
// and the reduced digest. Candidates come out in order; the caller skips
// those outside [1, n - 1].
template <typename Hash, std::size_t N>
class NonceGenerator {
 public:
  using Digest = typename Hash::Digest;

  NonceGenerator(const std::uint8_t* private_key, const std::uint8_t* reduced_digest) {
    v_.fill(0x01);
    k_.fill(0x00);
    for (const std::uint8_t separator : {std::uint8_t{0x00}, std::uint8_t{0x01}}) {
      Hmac<Hash> mac(k_);
      mac.Update(v_);
      mac.Update(&separator, 1);
      mac.Update(private_key, 8 * N);
      mac.Update(reduced_digest, 8 * N);
      k_ = mac.Final();
      v_ = Hmac<Hash>::Compute(k_, v_);
    }
  }
  ~NonceGenerator() {
    SecureWipe(k_.data(), k_.size());
    SecureWipe(v_.data(), v_.size());
  }
  NonceGenerator(const NonceGenerator&) = delete;
  NonceGenerator& operator=(const NonceGenerator&) = delete;

  Limbs<N> Next() {
    if (!first_) {
      Hmac<Hash> mac(k_);
      mac.Update(v_);
      const std::uint8_t zero = 0;
      mac.Update(&zero, 1);
      k_ = mac.Final();
      v_ = Hmac<Hash>::Compute(k_, v_);
    }
    first_ = false;
    std::uint8_t t[8 * N + Hash::kDigestSize];
    std::size_t filled = 0;
    while (filled < 8 * N) {
      v_ = Hmac<Hash>::Compute(k_, v_);
      std::memcpy(t + filled, v_.data(), v_.size());
      filled += v_.size();
    }
    const Limbs<N> candidate = LeftmostBits<N>({t, 8 * N});
    SecureWipe(t, sizeof(t));
    return candidate;
  }

 private:
  Digest k_;
  Digest v_;
  bool first_ = true;
};

void PutDerInteger(std::vector<std::uint8_t>& out, const std::uint8_t* bytes, std::size_t length) {
  std::size_t skip = 0;
  while (skip + 1 < length && bytes[skip] == 0) ++skip;
  const bool pad = (bytes[skip] & 0x80) != 0;  // keep it positive
  out.push_back(0x02);
  out.push_back(static_cast<std::uint8_t>(length - skip + (pad ? 1 : 0)));
  if (pad) out.push_back(0);
  out.insert(out.end(), bytes + skip, bytes + length);
}

// s = k^-1 (e + r d) mod n with R = k G and r = x(R) mod n. The secrets (d,
// k and everything made from them) only meet Montgomery products, fixed-
// exponent inversion and the fixed-window multiplication.
template <typename Hash, std::size_t N>
std::vector<std::uint8_t> Sign(const Curve<N>& c, std::span<const std::uint8_t> private_key,
                               std::span<const std::uint8_t> digest) {
  auto d = c.ScalarFromBytes(private_key);
  if (!d) throw std::invalid_argument("Invalid private key");
  const Field<N>& f = c.order;
  const Limbs<N> zero{};
  // Both orders are above 2^(64N - 1), so one subtraction reduces any value.
  const Limbs<N> e = f.Add(LeftmostBits<N>(digest), zero);
  std::uint8_t e_bytes[8 * N];
  ToBytes(e, e_bytes);
  NonceGenerator<Hash, N> nonces(private_key.data(), e_bytes);
  Limbs<N> d_m = f.ToMontgomery(*d);
  SecureWipe(d->data(), sizeof(*d));
  const Limbs<N> e_m = f.ToMontgomery(e);
  std::vector<std::uint8_t> out;
  for (;;) {
    Limbs<N> k = nonces.Next();
    // Only whether a candidate is usable shows, and almost every one is.
    if ((IsZeroMask(k) | ~LessMask(k, c.n)) != 0) continue;
    Point<N> big_r = c.Multiply(c.g, k);
    Limbs<N> x;
    c.ToAffine(big_r, &x, nullptr);
    const Limbs<N> r = f.Add(x, zero);
    Limbs<N> k_inv = f.Invert(f.ToMontgomery(k));
    Limbs<N> s_m = f.Mul(k_inv, f.Add(e_m, f.Mul(f.ToMontgomery(r), d_m)));
    const Limbs<N> s = f.FromMontgomery(s_m);
    SecureWipe(k.data(), sizeof(k));
    SecureWipe(k_inv.data(), sizeof(k_inv));
    SecureWipe(s_m.data(), sizeof(s_m));
    SecureWipe(&big_r, sizeof(big_r));
    SecureWipe(x.data(), sizeof(x));
    if (IsZeroMask(r) != 0 || IsZeroMask(s) != 0) continue;
    std::uint8_t r_bytes[8 * N], s_bytes[8 * N];
    ToBytes(r, r_bytes);
    ToBytes(s, s_bytes);
    std::vector<std::uint8_t> body;
    PutDerInteger(body, r_bytes, sizeof(r_bytes));
    PutDerInteger(body, s_bytes, sizeof(s_bytes));
    out = {0x30, static_cast<std::uint8_t>(body.size())};
    out.insert(out.end(), body.begin(), body.end());
    break;
  }
  SecureWipe(d_m.data(), sizeof(d_m));
  return out;
}

// A DER length in short form (every ECDSA signature of these curves fits in
// 127 bytes, so a long form is never minimal); advances `pos`.
std::optional<std::size_t> ReadLength(std::span<const std::uint8_t> der, std::size_t& pos) {
  if (pos >= der.size() || der[pos] >= 0x80) return std::nullopt;
  return der[pos++];
}

std::optional<std::vector<std::uint8_t>> ReadInteger(std::span<const std::uint8_t> der, std::size_t& pos) {
  if (pos >= der.size() || der[pos++] != 0x02) return std::nullopt;
  const auto length = ReadLength(der, pos);
  if (!length || *length == 0 || *length > der.size() - pos) return std::nullopt;
  const std::uint8_t* p = der.data() + pos;
  if (p[0] & 0x80) return std::nullopt;                                  // negative
  if (*length > 1 && p[0] == 0 && !(p[1] & 0x80)) return std::nullopt;  // not minimal
  pos += *length;
  return std::vector<std::uint8_t>(p, p + *length);
}

}  // namespace

std::size_t EcFieldSize(NamedCurve curve) {
  return WithCurve(curve, [](const auto& c) { return c.bytes; });
}

std::size_t EcPointSize(NamedCurve curve) { return 1 + 2 * EcFieldSize(curve); }

bool EcIsValidPrivateKey(NamedCurve curve, std::span<const std::uint8_t> private_key) {
  return WithCurve(curve, [&](const auto& c) { return c.ScalarFromBytes(private_key).has_value(); });
}

std::vector<std::uint8_t> EcGeneratePrivateKey(NamedCurve curve, RandomGenerator& random) {
  std::vector<std::uint8_t> key(EcFieldSize(curve));
  do {
    for (auto& b : key) b = random.NextByte();
  } while (!EcIsValidPrivateKey(curve, key));
  return key;
}

std::vector<std::uint8_t> EcPublicKey(NamedCurve curve, std::span<const std::uint8_t> private_key) {
  return WithCurve(curve, [&](const auto& c) {
    auto k = c.ScalarFromBytes(private_key);
    if (!k) throw std::invalid_argument("Invalid private key");
    auto point = c.Multiply(c.g, *k);
    SecureWipe(k->data(), sizeof(*k));
    return c.Encode(point);
  });
}

bool EcIsValidPoint(NamedCurve curve, std::span<const std::uint8_t> point) {
  return WithCurve(curve, [&](const auto& c) { return c.Decode(point).has_value(); });
}

std::optional<std::vector<std::uint8_t>> EcdhSharedSecret(NamedCurve curve, std::span<const std::uint8_t> private_key,
                                                          std::span<const std::uint8_t> peer_point) {
  return WithCurve(curve, [&](const auto& c) { return SharedSecret(c, private_key, peer_point); });
}

bool EcdsaVerifyRaw(NamedCurve curve, std::span<const std::uint8_t> public_point, std::span<const std::uint8_t> digest,
                    std::span<const std::uint8_t> r, std::span<const std::uint8_t> s) {
  return WithCurve(curve, [&](const auto& c) { return Verify(c, public_point, digest, r, s); });
}

std::vector<std::uint8_t> EcdsaSign(NamedCurve curve, std::span<const std::uint8_t> private_key,
                                    std::span<const std::uint8_t> digest, DigestKind nonce_hash) {
  return WithCurve(curve, [&](const auto& c) {
    if (nonce_hash == DigestKind::kSha256) return Sign<Sha256>(c, private_key, digest);
    if (nonce_hash == DigestKind::kSha384) return Sign<Sha384>(c, private_key, digest);
    throw std::invalid_argument("Unsupported nonce hash");
  });
}

std::optional<EcdsaSignature> ParseDerEcdsaSignature(std::span<const std::uint8_t> der) {
  std::size_t pos = 0;
  if (der.empty() || der[pos++] != 0x30) return std::nullopt;
  const auto length = ReadLength(der, pos);
  if (!length || *length != der.size() - pos) return std::nullopt;
  auto r = ReadInteger(der, pos);
  if (!r) return std::nullopt;
  auto s = ReadInteger(der, pos);
  if (!s || pos != der.size()) return std::nullopt;
  return EcdsaSignature{std::move(*r), std::move(*s)};
}

bool EcdsaVerify(NamedCurve curve, std::span<const std::uint8_t> public_point, std::span<const std::uint8_t> digest,
                 std::span<const std::uint8_t> der_signature) {
  const auto signature = ParseDerEcdsaSignature(der_signature);
  if (!signature) return false;
  return EcdsaVerifyRaw(curve, public_point, digest, signature->r, signature->s);
}

}  // namespace security
