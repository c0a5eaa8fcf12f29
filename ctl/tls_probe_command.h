#pragma once
// dictaloctl tls-probe HOST PORT [--versions MASK] [--strong] [--trust FILE]
//     [--trace] [--client-cert FILE --client-key FILE] [--round-trip BYTES]
//     [--line TEXT] [--timeout SECONDS] [--starttls smtp|pop3]
//
// Connects to HOST:PORT, runs the TLS handshake with the settings a mail
// session uses (MASK: 1 SSL 2.0, 2 SSL 3.0, 4 TLS 1.0, default 7; --strong
// offers only suites of 128 bits and more) and prints:
//   protocol: TLS 1.0
//   suite: 0x002F AES128-SHA
//   subject: CN=localhost
//   certificate: accepted | certificate: refused: <reason>
// The verdict is the mail client's acceptance check against the user's ROOT
// store, or against the certificates of FILE alone with --trust.
// Then it sends one line (--line, default "dictaloctl tls-probe") and prints
// "echo: ok" when the server sends it back, "reply: <line>" for another
// answer, "no reply" when none came. With --round-trip it sends BYTES bytes as
// text lines instead and checks that they come back, as they are or each
// line reversed (openssl s_server -rev): "round trip: N bytes echoed|reversed".
// --trace prints every trace event and every alert as it happens.
// With --starttls the probe first speaks SMTP or POP3 (starttls_probe.h).
// Exit codes: 0 handshake completed (and the round trip, when asked, matched),
// 1 handshake or transfer failed, 2 usage error.

#include <ostream>
#include <string>
#include <vector>

namespace ctl {

int RunTlsProbeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ctl
