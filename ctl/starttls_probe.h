#pragma once
// dictaloctl tls-probe HOST PORT --starttls smtp|pop3 [--versions MASK]
//     [--strong] [--trust FILE] [--trace] [--client-cert FILE --client-key FILE]
//     [--timeout SECONDS]
//
// The handshake of an explicit-TLS mail server, reached as a mail session
// reaches it: SMTP greeting, EHLO, STARTTLS, EHLO again; or POP3 greeting,
// CAPA, STLS. Every line goes to standard output as the activity log sees it
// ("S " sent, "R " received), then the session (protocol:, suite:, subject:,
// certificate:) and the QUIT exchange. On failure: "failed: 0xCODE" and the
// server's last reply, or "handshake failed: 0xCODE (alert)".
// Exit codes: 0 the handshake completed, 1 it did not.

#include <ostream>

#include "ctl/tls_probe_common.h"

namespace ctl {

int RunStartTlsProbe(const TlsProbeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace ctl
