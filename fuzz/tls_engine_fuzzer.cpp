// Arbitrary server bytes against the TLS engine, in every reader state.
//
// Input: byte 0 picks the version mask (and so the first reader state: (2,0),
// (2,30), (2,31), (3,0), (3,1) or (3,11)), byte 1 the largest piece the
// transport hands over at a time; the rest is what the server sends. The seed
// corpus holds real server flights captured from openssl, gnutls and the JDK.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "security/certs/certificate.h"
#include "security/crypto/random_generator.h"
#include "security/tls/tls_engine.h"

namespace {

constexpr int kMasks[] = {1, 2, 3, 4, 6, 7};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int mask = kMasks[data[0] % 6];
  const std::size_t piece = 1 + data[1] % 64 * 97;
  const std::uint8_t* server = data + 2;
  std::size_t left = size - 2;

  security::TlsEngine engine;
  engine.Random().SeedForTesting(1);
  engine.SetVersionMask(mask);
  if (data[0] & 0x80) engine.ApplyStrongOnlyFilter(true);
  security::TlsCallbacks callbacks;
  callbacks.onReceive = [&](security::TlsEngine&, std::uint8_t* destination, std::size_t maximum, std::size_t* count) {
    const std::size_t n = std::min({maximum, piece, left});
    std::memcpy(destination, server, n);
    server += n;
    left -= n;
    *count = n;
    return n == 0 ? -1 : 0;
  };
  // Accept every chain, answer every certificate request with nothing: the
  // engine goes as deep into the handshake as the bytes allow.
  callbacks.onPeerCertificate = [](security::TlsEngine&, const security::Certificate&, int* accept) { *accept = 1; };
  engine.SetCallbacks(callbacks);
  try {
    engine.Start();
    while (engine.IsSessionOpen() && left > 0) engine.Pump();
    if (engine.IsEstablished()) {
      const std::uint8_t text[] = "QUIT\r\n";
      (void)engine.Write(text, sizeof(text) - 1);
    }
    engine.Close();
  } catch (const security::TlsException&) {
  }
  return 0;
}
