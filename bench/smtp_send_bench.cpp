// Sends one message file through an SMTP server the way a mail session does:
// greeting, EHLO, STARTTLS at TLS 1.0, EHLO, AUTH, MAIL FROM with SIZE, RCPT,
// DATA streamed from the file, QUIT. Prints the time the whole exchange took,
// the negotiated suite and the process's peak resident memory (VmHWM).
// bench/smtp_send_bench.sh runs it against exim beside curl on the same file.
//
//   smtp_send_bench HOST PORT MESSAGE_FILE USER PASSWORD TRUSTED_CERTIFICATE RECIPIENT
//
// Output lines: "seconds: S", "suite: NAME", "peak_rss_kb: N"; exit 0 when the
// server took the message, 1 otherwise (with the reply on stderr).

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "mime/byte_stream.h"
#include "protocols/smtp_client.h"
#include "protocols/socket_layer.h"
#include "security/certs/certificate_loader.h"
#include "security/certs/day_number.h"
#include "security/certs/server_certificate_acceptance.h"
#include "security/tls/tls_suites.h"

namespace {

long PeakResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

int Fail(const char* step, protocols::MailResult r, const protocols::SmtpClient& client) {
  std::fprintf(stderr, "%s failed: 0x%08X %s\n", step, r, client.last_response().c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 8) {
    std::fprintf(stderr, "usage: %s HOST PORT MESSAGE_FILE USER PASSWORD TRUSTED_CERTIFICATE RECIPIENT\n", argv[0]);
    return 2;
  }
  const std::string host = argv[1];
  const auto port = static_cast<std::uint16_t>(std::stoi(argv[2]));
  const std::string user = argv[4], password = argv[5], trusted_file = argv[6], recipient = argv[7];
  std::shared_ptr<const mime::FileSource> message;
  if (mime::FileSource::Open(argv[3], &message) != mime::kMimeOk) {
    std::fprintf(stderr, "cannot open %s\n", argv[3]);
    return 2;
  }

  protocols::ScopedSocketLayer layer;
  protocols::SmtpClient client;
  client.SetProtocolVersions(security::kProtocolTls1);
  client.SetCertificateAcceptance([&](protocols::MailClient& c, security::CertificateStore& received) {
    security::MemoryCertificateStore trusted;
    for (const auto& anchor : security::LoadCertificateFile(trusted_file)) trusted.Add(anchor);
    return security::CheckServerCertificate(c.host(), received, trusted, security::CurrentDayNumber()).accepted;
  });

  const auto start = std::chrono::steady_clock::now();
  using protocols::Failed;
  if (auto r = client.ConnectAndGreet(host, port); Failed(r)) return Fail("connect", r, client);
  client.SetHeloDomain(client.LocalHostName());
  if (auto r = client.Ehlo(); Failed(r)) return Fail("EHLO", r, client);
  if (auto r = client.StartTls(); Failed(r)) return Fail("STARTTLS", r, client);
  if (auto r = client.Ehlo(); Failed(r)) return Fail("EHLO", r, client);
  if (auto r = client.Authenticate(user, password); Failed(r)) return Fail("AUTH", r, client);
  if (auto r = client.MailFrom("bench@example.org", message->Size()); Failed(r)) return Fail("MAIL", r, client);
  if (auto r = client.RcptTo(recipient); Failed(r)) return Fail("RCPT", r, client);
  if (auto r = client.Data(*message, 0); Failed(r)) return Fail("DATA", r, client);
  const auto* suite = client.tls_engine().NegotiatedSuite();
  const std::string suite_name = suite ? std::string(security::SuiteCatalogueEntry(suite->catalogue).name) : "?";
  if (auto r = client.Quit(); Failed(r)) return Fail("QUIT", r, client);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

  std::printf("seconds: %.3f\n", took.count());
  std::printf("suite: %s\n", suite_name.c_str());
  std::printf("peak_rss_kb: %ld\n", PeakResidentKb());
  return 0;
}
