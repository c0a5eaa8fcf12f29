#include "ctl/starttls_probe.h"

#include <cstring>
#include <string>
#include <vector>

#include "protocols/pop3_client.h"
#include "protocols/socket_layer.h"
#include "protocols/smtp_client.h"
#include "protocols/starttls_probe.h"

namespace ctl {
namespace {

// Settings common to both protocols; the verdict is printed, never enforced.
void Configure(protocols::MailClient& client, const TlsProbeOptions& options, std::ostream& out,
               const std::vector<std::uint8_t>& certificate, const std::vector<std::uint8_t>& key_blob) {
  client.SetTimeout(static_cast<std::uint16_t>(options.timeout_seconds));
  client.SetProtocolVersions(static_cast<security::ProtocolMask>(options.mask));
  client.SetHighestTlsVersion(options.highest_tls);
  client.SetStrongCiphersOnly(options.strong);
  client.SetCertificateAcceptance([](protocols::MailClient&, security::CertificateStore&) { return true; });
  if (!certificate.empty()) {
    client.SetClientCertificateProvider([certificate, key_blob](protocols::ClientCertificate* filled) {
      filled->der = certificate;
      filled->key_blob = key_blob;
      return true;
    });
  }
  if (options.trace) {
    client.SetTlsNotification([&out](int event, int argument) {
      out << "trace: " << event << ' ' << TlsTraceName(event);
      if (event >= 12) out << " (" << argument << ')';
      out << '\n';
    });
  }
}

protocols::ProtocolLogSink Printer(std::ostream& out) {
  return [&out](protocols::LogDirection direction, std::string_view line) {
    switch (direction) {
      case protocols::LogDirection::kSent: out << "S "; break;
      case protocols::LogDirection::kReceived: out << "R "; break;
      case protocols::LogDirection::kNote: break;
    }
    out << line << '\n';
  };
}

int ReportFailure(protocols::MailClient& client, protocols::MailResult result, const std::string& last_response,
                  std::ostream& out) {
  if (protocols::Family(result) == 0xC5) {
    const int alert = static_cast<int>(result & 0xFFFF);
    out << "handshake failed: " << HexCode(result, 8);
    if (result == protocols::kTlsPlaintextAtSwitch) {
      out << " (plaintext after the go-ahead)";
    } else if (result == protocols::kTlsNoRandomSource) {
      out << " (no random source)";
    } else if (alert < 256) {
      out << " (" << TlsAlertName(alert) << ')';
    }
    out << '\n';
  } else {
    out << "failed: " << HexCode(result, 8);
    if (!last_response.empty()) out << ' ' << last_response;
    out << '\n';
  }
  client.Close();
  return 1;
}

// Walks `client` to the handshake with `start_tls`, then reports the session.
template <typename Client, typename StartTls>
int ProbeWith(const TlsProbeOptions& options, std::ostream& out, const std::vector<std::uint8_t>& certificate,
              const std::vector<std::uint8_t>& key_blob, StartTls start_tls) {
  Client client;
  Configure(client, options, out, certificate, key_blob);
  client.SetLogSink(Printer(out));
  const protocols::MailResult result =
      start_tls(client, options.host, static_cast<std::uint16_t>(std::stoi(options.port)));
  if (protocols::Failed(result)) return ReportFailure(client, result, client.last_response(), out);
  const std::string verdict = CertificateVerdict(options.host, options.trust_file, client.received_certificates());
  PrintTlsSession(client.tls_engine(), client.received_certificates(), verdict, out);
  (void)client.Quit();  // the handshake is what was asked; a refused QUIT changes nothing
  return 0;
}

}  // namespace

int RunStartTlsProbe(const TlsProbeOptions& options, std::ostream& out, std::ostream& err) {
  std::vector<std::uint8_t> certificate;
  std::vector<std::uint8_t> key_blob;
  if (!LoadClientCredentials(options, &certificate, &key_blob, err)) return 2;
  protocols::ScopedSocketLayer layer;
  if (!layer.started()) {
    err << "dictaloctl: the socket layer cannot start\n";
    return 1;
  }
  if (options.starttls == "smtp") {
    return ProbeWith<protocols::SmtpClient>(options, out, certificate, key_blob, protocols::StartTlsThroughSmtp);
  }
  return ProbeWith<protocols::Pop3Client>(options, out, certificate, key_blob, protocols::StartTlsThroughPop3);
}

}  // namespace ctl
