#include "security/tls/tls_key_derivation.h"

#include <algorithm>
#include <string>

#include "security/crypto/md5.h"
#include "security/crypto/sha1.h"
#include "security/crypto/sha256.h"
#include "security/crypto/sha512.h"
#include "security/tls/tls_prf.h"

namespace security {
namespace {

std::vector<std::uint8_t> Concat(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  std::vector<std::uint8_t> out(a.begin(), a.end());
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

// Cuts MAC secrets, keys and IVs off the key block, in that order.
TlsKeys CutKeyBlock(std::span<const std::uint8_t> block, const SuiteParams& suite) {
  TlsKeys keys;
  std::size_t at = 0;
  auto take = [&](std::size_t n) {
    std::vector<std::uint8_t> part(block.begin() + static_cast<std::ptrdiff_t>(at),
                                   block.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
    return part;
  };
  keys.client_mac = take(suite.mac_size);
  keys.server_mac = take(suite.mac_size);
  keys.client_key = take(suite.key_size);
  keys.server_key = take(suite.key_size);
  keys.client_iv = take(suite.iv_size);
  keys.server_iv = take(suite.iv_size);
  return keys;
}

std::size_t KeyBlockLength(const SuiteParams& suite) { return 2 * (suite.mac_size + suite.key_size + suite.iv_size); }

// Export keys are widened to 16 bytes; DES keeps the first 8.
std::size_t FinalExportKeySize(const SuiteParams& suite) { return suite.cipher == CipherKind::kDesCbc ? 8 : 16; }

}  // namespace

std::vector<std::uint8_t> Ssl3Expand(std::span<const std::uint8_t> secret, std::span<const std::uint8_t> r1,
                                     std::span<const std::uint8_t> r2, std::size_t length) {
  std::vector<std::uint8_t> out;
  out.reserve(length + Md5::kDigestSize);
  for (std::size_t round = 1; out.size() < length; ++round) {
    const std::string salt(round, static_cast<char>('A' + round - 1));
    Sha1 sha;
    sha.Update(salt.data(), salt.size());
    sha.Update(secret);
    sha.Update(r1);
    sha.Update(r2);
    const auto inner = sha.Final();
    Md5 md5;
    md5.Update(secret);
    md5.Update(inner.data(), inner.size());
    const auto part = md5.Final();
    out.insert(out.end(), part.begin(), part.end());
  }
  out.resize(length);
  return out;
}

MasterSecret Ssl3MasterSecret(std::span<const std::uint8_t> pre_master, std::span<const std::uint8_t> client_random,
                              std::span<const std::uint8_t> server_random) {
  const auto bytes = Ssl3Expand(pre_master, client_random, server_random, 48);
  MasterSecret master;
  std::copy(bytes.begin(), bytes.end(), master.begin());
  return master;
}

TlsKeys Ssl3KeyBlock(const MasterSecret& master, std::span<const std::uint8_t> client_random,
                     std::span<const std::uint8_t> server_random, const SuiteParams& suite) {
  const auto block = Ssl3Expand(master, server_random, client_random, KeyBlockLength(suite));
  TlsKeys keys = CutKeyBlock(block, suite);
  if (suite.exportable) {
    const std::size_t size = FinalExportKeySize(suite);
    auto widen = [&](const std::vector<std::uint8_t>& key, std::span<const std::uint8_t> a,
                     std::span<const std::uint8_t> b) {
      Md5 md5;
      md5.Update(key);
      md5.Update(a);
      md5.Update(b);
      const auto digest = md5.Final();
      return std::vector<std::uint8_t>(digest.begin(), digest.begin() + static_cast<std::ptrdiff_t>(size));
    };
    keys.client_key = widen(keys.client_key, client_random, server_random);
    keys.server_key = widen(keys.server_key, server_random, client_random);
    if (suite.iv_size != 0) {
      const auto civ = Md5::Hash(Concat(client_random, server_random));
      const auto siv = Md5::Hash(Concat(server_random, client_random));
      keys.client_iv.assign(civ.begin(), civ.begin() + static_cast<std::ptrdiff_t>(suite.iv_size));
      keys.server_iv.assign(siv.begin(), siv.begin() + static_cast<std::ptrdiff_t>(suite.iv_size));
    }
  }
  return keys;
}

MasterSecret TlsMasterSecret(std::span<const std::uint8_t> pre_master, std::span<const std::uint8_t> client_random,
                             std::span<const std::uint8_t> server_random) {
  MasterSecret master;
  Prf(pre_master, "master secret", Concat(client_random, server_random), master);
  return master;
}

TlsKeys TlsKeyBlock(const MasterSecret& master, std::span<const std::uint8_t> client_random,
                    std::span<const std::uint8_t> server_random, const SuiteParams& suite) {
  const auto block = Prf(master, "key expansion", Concat(server_random, client_random), KeyBlockLength(suite));
  TlsKeys keys = CutKeyBlock(block, suite);
  if (suite.exportable) {
    const std::size_t size = FinalExportKeySize(suite);
    const auto randoms = Concat(client_random, server_random);
    keys.client_key = Prf(keys.client_key, "client write key", randoms, size);
    keys.server_key = Prf(keys.server_key, "server write key", randoms, size);
    if (suite.iv_size != 0) {
      const auto ivs = Prf({}, "IV block", randoms, 2 * suite.iv_size);
      keys.client_iv.assign(ivs.begin(), ivs.begin() + static_cast<std::ptrdiff_t>(suite.iv_size));
      keys.server_iv.assign(ivs.begin() + static_cast<std::ptrdiff_t>(suite.iv_size), ivs.end());
    }
  }
  return keys;
}

std::array<std::uint8_t, 36> Ssl3HandshakeHash(std::span<const std::uint8_t> transcript, std::string_view sender,
                                               const MasterSecret& master) {
  std::uint8_t pad1[48];
  std::uint8_t pad2[48];
  std::fill(std::begin(pad1), std::end(pad1), 0x36);
  std::fill(std::begin(pad2), std::end(pad2), 0x5c);
  std::array<std::uint8_t, 36> out;

  Md5 md5;
  md5.Update(transcript);
  md5.Update(sender.data(), sender.size());
  md5.Update(master.data(), master.size());
  md5.Update(pad1, 48);
  const auto md5_inner = md5.Final();
  md5.Init();
  md5.Update(master.data(), master.size());
  md5.Update(pad2, 48);
  md5.Update(md5_inner.data(), md5_inner.size());
  const auto md5_outer = md5.Final();

  Sha1 sha;
  sha.Update(transcript);
  sha.Update(sender.data(), sender.size());
  sha.Update(master.data(), master.size());
  sha.Update(pad1, 40);
  const auto sha_inner = sha.Final();
  sha.Init();
  sha.Update(master.data(), master.size());
  sha.Update(pad2, 40);
  sha.Update(sha_inner.data(), sha_inner.size());
  const auto sha_outer = sha.Final();

  std::copy(md5_outer.begin(), md5_outer.end(), out.begin());
  std::copy(sha_outer.begin(), sha_outer.end(), out.begin() + 16);
  return out;
}

std::array<std::uint8_t, 36> TlsHandshakeHash(std::span<const std::uint8_t> transcript) {
  std::array<std::uint8_t, 36> out;
  const auto md5 = Md5::Hash(transcript);
  const auto sha = Sha1::Hash(transcript);
  std::copy(md5.begin(), md5.end(), out.begin());
  std::copy(sha.begin(), sha.end(), out.begin() + 16);
  return out;
}

std::array<std::uint8_t, 12> TlsFinished(const MasterSecret& master, std::string_view label,
                                         std::span<const std::uint8_t> transcript) {
  const auto hashes = TlsHandshakeHash(transcript);
  std::array<std::uint8_t, 12> out;
  Prf(master, label, hashes, out);
  return out;
}

MasterSecret DeriveMasterSecret(PrfKind prf, std::span<const std::uint8_t> pre_master,
                                std::span<const std::uint8_t> client_random, std::span<const std::uint8_t> server_random) {
  MasterSecret master;
  PrfOf(prf, pre_master, "master secret", Concat(client_random, server_random), master);
  return master;
}

MasterSecret DeriveExtendedMasterSecret(PrfKind prf, std::span<const std::uint8_t> pre_master,
                                        std::span<const std::uint8_t> session_hash) {
  MasterSecret master;
  PrfOf(prf, pre_master, "extended master secret", session_hash, master);
  return master;
}

TlsKeys DeriveKeyBlock(PrfKind prf, const MasterSecret& master, std::span<const std::uint8_t> client_random,
                       std::span<const std::uint8_t> server_random, const SuiteParams& suite) {
  if (prf == PrfKind::kTls10) return TlsKeyBlock(master, client_random, server_random, suite);
  // No export suites exist in TLS 1.2, so the block is cut as it stands.
  const auto block = PrfOf(prf, master, "key expansion", Concat(server_random, client_random), KeyBlockLength(suite));
  return CutKeyBlock(block, suite);
}

std::vector<std::uint8_t> HandshakeHashOf(PrfKind prf, std::span<const std::uint8_t> transcript) {
  switch (prf) {
    case PrfKind::kTls10: {
      const auto both = TlsHandshakeHash(transcript);
      return {both.begin(), both.end()};
    }
    case PrfKind::kSha256: {
      const auto digest = Sha256::Hash(transcript);
      return {digest.begin(), digest.end()};
    }
    case PrfKind::kSha384: {
      const auto digest = Sha384::Hash(transcript);
      return {digest.begin(), digest.end()};
    }
  }
  return {};
}

std::array<std::uint8_t, 12> FinishedOf(PrfKind prf, const MasterSecret& master, std::string_view label,
                                        std::span<const std::uint8_t> transcript) {
  const auto hash = HandshakeHashOf(prf, transcript);
  std::array<std::uint8_t, 12> out;
  PrfOf(prf, master, label, hash, out);
  return out;
}

Ssl2SessionKeys Ssl2KeyMaterial(std::span<const std::uint8_t> master_key, std::span<const std::uint8_t> challenge,
                                std::span<const std::uint8_t> connection_id, CipherKind cipher) {
  auto material = [&](char digit) {
    Md5 md5;
    md5.Update(master_key);
    md5.Update(&digit, 1);
    md5.Update(challenge);
    md5.Update(connection_id);
    return md5.Final();
  };
  Ssl2SessionKeys keys;
  if (cipher == CipherKind::kDesCbc) {
    const auto km0 = material('0');
    keys.client_read_key.assign(km0.begin(), km0.begin() + 8);
    keys.client_write_key.assign(km0.begin() + 8, km0.end());
  } else if (cipher == CipherKind::kTripleDesCbc) {
    std::vector<std::uint8_t> all;
    for (char digit : {'0', '1', '2'}) {
      const auto km = material(digit);
      all.insert(all.end(), km.begin(), km.end());
    }
    keys.client_read_key.assign(all.begin(), all.begin() + 24);
    keys.client_write_key.assign(all.begin() + 24, all.end());
  } else {
    const auto km0 = material('0');
    const auto km1 = material('1');
    keys.client_read_key.assign(km0.begin(), km0.end());
    keys.client_write_key.assign(km1.begin(), km1.end());
  }
  return keys;
}

std::array<std::uint8_t, 16> Ssl2Mac(std::span<const std::uint8_t> secret, std::span<const std::uint8_t> data,
                                     std::uint32_t sequence) {
  const std::uint8_t seq[4] = {static_cast<std::uint8_t>(sequence >> 24), static_cast<std::uint8_t>(sequence >> 16),
                               static_cast<std::uint8_t>(sequence >> 8), static_cast<std::uint8_t>(sequence)};
  Md5 md5;
  md5.Update(secret);
  md5.Update(data);
  md5.Update(seq, 4);
  return md5.Final();
}

}  // namespace security
