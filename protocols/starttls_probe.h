#pragma once
// The plain-text part of an explicit-TLS connection, for diagnostics
// (`dictaloctl tls-probe --starttls smtp|pop3`): the client connects and
// speaks its protocol up to and through the TLS handshake, exactly as a mail
// session would, writing every line to its log sink. Before calling, set on
// the client what the probe wants: SetProtocolVersions, SetStrongCiphersOnly,
// SetCertificateAcceptance (the handshake fails when the server's
// certificate is refused), SetLogSink. The socket layer must be started.
// Afterwards the client holds the open TLS connection: tls_engine() tells
// what was negotiated and received_certificates() what the server sent.

#include <cstdint>
#include <string>

#include "protocols/pop3_client.h"
#include "protocols/smtp_client.h"

namespace protocols {

// Greeting, EHLO (HELO when EHLO fails), STARTTLS with the handshake, EHLO
// again. Returns the first failure (kSmtpNoStartTls when the server does not
// announce STARTTLS).
[[nodiscard]] MailResult StartTlsThroughSmtp(SmtpClient& client, const std::string& host, std::uint16_t port);

// Greeting and CAPA, then STLS with the handshake. kPop3NotSupported when
// STLS is refused or, after a CAPA, not announced.
[[nodiscard]] MailResult StartTlsThroughPop3(Pop3Client& client, const std::string& host, std::uint16_t port);

}  // namespace protocols
