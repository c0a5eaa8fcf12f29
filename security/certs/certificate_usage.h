#pragma once
// What a certificate's extensions allow it to be used for: serving as a TLS
// server, exchanging keys in a given way, and whether it carries a critical
// extension this code does not act on (such a certificate must be refused).

#include <string_view>

#include "security/certs/certificate.h"

namespace security {

// How the handshake uses the server certificate's key.
enum class KeyExchangeKind {
  kRsa,                  // the client encrypts the pre-master secret to the key
  kSignedDiffieHellman,  // the key signs the server's ephemeral parameters
  kStaticDiffieHellman,  // the key is itself the server's DH share
};

// True when the certificate has no keyUsage, or its keyUsage names the bit the
// exchange needs: keyEncipherment, digitalSignature or keyAgreement.
bool KeyUsageAllowsKeyExchange(const Certificate& certificate, KeyExchangeKind kind);

// True when the certificate has no extendedKeyUsage, or it lists serverAuth
// or anyExtendedKeyUsage. Applies to every certificate of a server's path.
bool AllowsServerAuthentication(const Certificate& certificate);

// The first critical extension whose meaning the verifier does not enforce,
// or nothing.
const CertificateExtension* UnknownCriticalExtension(const Certificate& certificate);

}  // namespace security
