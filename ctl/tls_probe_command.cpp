#include "ctl/tls_probe_command.h"

#include "ctl/starttls_probe.h"
#include "ctl/tls_probe_common.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "protocols/mail_client.h"
#include "protocols/socket_layer.h"
#include "security/certs/certificate.h"
#include "security/certs/certificate_loader.h"
#include "security/certs/certificate_store.h"
#include "security/certs/day_number.h"
#include "security/certs/server_certificate_acceptance.h"
#include "security/certs/system_certificate_store.h"
#include "security/tls/tls_client_credentials.h"
#include "security/tls/tls_engine.h"

namespace ctl {
namespace {

constexpr const char* kUsage =
    "usage: dictaloctl tls-probe HOST PORT [--versions MASK|NAME,...] [--strong] [--trust FILE] [--trace]\n"
    "       [--client-cert FILE --client-key FILE] [--round-trip BYTES] [--line TEXT] [--timeout SECONDS]\n"
    "       [--starttls smtp|pop3]";


bool ParseNumber(const std::string& text, long long low, long long high, long long* value) {
  try {
    std::size_t used = 0;
    *value = std::stoll(text, &used, 0);
    return used == text.size() && *value >= low && *value <= high;
  } catch (const std::exception&) {
    return false;
  }
}

std::optional<TlsProbeOptions> ParseTlsProbeOptions(const std::vector<std::string>& args, std::ostream& err) {
  TlsProbeOptions options;
  std::vector<std::string> positional;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    auto value = [&](std::string* out) {
      if (k + 1 >= args.size()) return false;
      *out = args[++k];
      return true;
    };
    std::string v;
    long long n = 0;
    if (a == "--strong") {
      options.strong = true;
    } else if (a == "--trace") {
      options.trace = true;
    } else if (a == "--versions") {
      if (!value(&v) || !ParseVersionChoice(v, &options.mask, &options.highest_tls)) return std::nullopt;
    } else if (a == "--trust") {
      if (!value(&options.trust_file)) return std::nullopt;
    } else if (a == "--client-cert") {
      if (!value(&options.client_cert_file)) return std::nullopt;
    } else if (a == "--client-key") {
      if (!value(&options.client_key_file)) return std::nullopt;
    } else if (a == "--round-trip") {
      if (!value(&v) || !ParseNumber(v, 1, 1LL << 34, &n)) return std::nullopt;
      options.round_trip = static_cast<std::size_t>(n);
    } else if (a == "--line") {
      if (!value(&options.line)) return std::nullopt;
    } else if (a == "--starttls") {
      if (!value(&options.starttls) || (options.starttls != "smtp" && options.starttls != "pop3")) return std::nullopt;
    } else if (a == "--timeout") {
      if (!value(&v) || !ParseNumber(v, 1, 3600, &n)) return std::nullopt;
      options.timeout_seconds = static_cast<int>(n);
    } else if (a.rfind("--", 0) == 0) {
      err << "dictaloctl: unknown option " << a << '\n';
      return std::nullopt;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) return std::nullopt;
  options.host = positional[0];
  options.port = positional[1];
  long long port = 0;
  if (!ParseNumber(options.port, 1, 65535, &port)) return std::nullopt;
  // Through STARTTLS the probe speaks the mail protocol, not test lines.
  if (!options.starttls.empty() && (options.round_trip > 0 || options.line != TlsProbeOptions{}.line)) {
    err << "dictaloctl: --starttls takes neither --round-trip nor --line\n";
    return std::nullopt;
  }
  return options;
}

// The mail client with a note of every wait that ran out.
class ProbeClient : public protocols::MailClient {
 public:
  bool KeepWaiting() override {
    timed_out_ = true;
    return false;
  }
  bool timed_out() const { return timed_out_; }
  void ClearTimedOut() { timed_out_ = false; }

 private:
  bool timed_out_ = false;
};

// Connects in clear through the mail client, then switches TLS on, so that a
// connection that cannot be made is told apart from a failed handshake.
class Probe {
 public:
  Probe(const TlsProbeOptions& options, std::ostream& out, std::ostream& err) : options_(options), out_(out), err_(err) {}

  int Run() {
    if (!LoadClientCredentials(options_, &client_certificate_, &client_key_, err_)) return 2;
    protocols::ScopedSocketLayer layer;
    if (!layer.started()) {
      err_ << "dictaloctl: the socket layer cannot start\n";
      return 1;
    }
    Configure();
    const protocols::MailResult connected =
        client_.Connect(options_.host, static_cast<std::uint16_t>(std::stoi(options_.port)));
    if (protocols::Failed(connected)) {
      err_ << "dictaloctl: cannot connect to " << options_.host << ':' << options_.port << ": "
           << HexCode(connected, 8) << '\n';
      return 1;
    }
    const protocols::MailResult handshake = client_.SetPlain(false);
    if (protocols::Failed(handshake)) {
      const int alert = static_cast<int>(handshake & 0xFFFF);
      out_ << "handshake failed: " << HexCode(handshake, 8);
      if (alert < 256) out_ << " (" << TlsAlertName(alert) << ')';
      if (client_.timed_out()) out_ << " (time-out)";
      out_ << '\n';
      return 1;
    }
    const std::string verdict = CertificateVerdict(options_.host, options_.trust_file, client_.received_certificates());
    PrintTlsSession(client_.tls_engine(), client_.received_certificates(), verdict, out_);
    const int status = options_.round_trip > 0 ? RoundTrip() : EchoLine();
    client_.Close();
    return status;
  }

 private:
  // The verdict is printed, never enforced: the probe is there to show it.
  void Configure() {
    client_.SetTimeout(static_cast<std::uint16_t>(options_.timeout_seconds));
    client_.SetProtocolVersions(static_cast<security::ProtocolMask>(options_.mask));
    client_.SetHighestTlsVersion(options_.highest_tls);
    client_.SetStrongCiphersOnly(options_.strong);
    client_.SetCertificateAcceptance([](protocols::MailClient&, security::CertificateStore&) { return true; });
    if (!client_certificate_.empty()) {
      client_.SetClientCertificateProvider([this](protocols::ClientCertificate* filled) {
        filled->der = client_certificate_;
        filled->key_blob = client_key_;
        return true;
      });
    }
    if (!options_.trace) return;
    client_.SetTlsNotification([this](int event, int argument) {
      out_ << "trace: " << event << ' ' << TlsTraceName(event);
      if (event >= 12) out_ << " (" << argument << ')';
      out_ << '\n';
    });
    client_.SetTlsAlertObserver([this](int code) { out_ << "alert: " << code << ' ' << TlsAlertName(code) << '\n'; });
    client_.SetTlsClosedObserver([this](bool orderly) { out_ << "closed: " << (orderly ? "orderly" : "failure") << '\n'; });
  }

  // Reads until `done` holds, the session ends or a wait runs out.
  template <typename Done>
  void ReadUntil(Done done) {
    client_.ClearTimedOut();
    std::uint8_t chunk[protocols::MailClient::kReceiveChunk];
    while (!done() && client_.connected()) {
      std::size_t n = 0;
      if (protocols::Failed(client_.ReadSome(chunk, &n))) return;
      inbox_.append(reinterpret_cast<const char*>(chunk), n);
    }
  }

  bool Send(const std::string& text) {
    return !protocols::Failed(
        client_.SendAll({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}));
  }

  int EchoLine() {
    if (!Send(options_.line + "\r\n")) {
      out_ << "transfer failed: write refused\n";
      return 1;
    }
    client_.SetTimeout(static_cast<std::uint16_t>(std::min(options_.timeout_seconds, 3)));
    ReadUntil([&] { return inbox_.find('\n') != std::string::npos; });
    const auto end = inbox_.find('\n');
    if (end == std::string::npos) {
      out_ << "no reply\n";
      return 0;
    }
    std::string line = inbox_.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == options_.line) {
      out_ << "echo: ok\n";
    } else {
      out_ << "reply: " << line << '\n';
    }
    return 0;
  }

  int RoundTrip() {
    // Lines of 63 letters and a newline, from a fixed pattern.
    std::string data;
    data.reserve(options_.round_trip);
    std::uint32_t x = 12345;
    while (data.size() < options_.round_trip) {
      if (data.size() % 64 == 63 || data.size() + 1 == options_.round_trip) {
        data.push_back('\n');
      } else {
        x = x * 1103515245u + 12345u;
        data.push_back(static_cast<char>('a' + (x >> 16) % 26));
      }
    }
    constexpr std::size_t kChunk = 16384;
    constexpr std::size_t kWindow = 65536;  // keep the echo flowing so neither side blocks
    for (std::size_t at = 0; at < data.size(); at += kChunk) {
      const std::size_t n = std::min(kChunk, data.size() - at);
      if (!Send(data.substr(at, n))) {
        out_ << "transfer failed: write refused after " << at << " bytes\n";
        return 1;
      }
      const std::size_t sent = at + n;
      if (sent > kWindow) ReadUntil([&] { return inbox_.size() + kWindow >= sent; });
    }
    ReadUntil([&] { return inbox_.size() >= data.size(); });
    if (inbox_.size() < data.size()) {
      out_ << "round trip: " << inbox_.size() << " of " << data.size() << " bytes came back\n";
      return 1;
    }
    const std::string back = inbox_.substr(0, data.size());
    if (back == data) {
      out_ << "round trip: " << data.size() << " bytes echoed\n";
      return 0;
    }
    // openssl s_server -rev sends each line back reversed.
    std::string reversed;
    reversed.reserve(data.size());
    std::size_t start = 0;
    while (start < data.size()) {
      std::size_t end = data.find('\n', start);
      if (end == std::string::npos) end = data.size();
      reversed.append(data.rbegin() + static_cast<std::ptrdiff_t>(data.size() - end),
                      data.rbegin() + static_cast<std::ptrdiff_t>(data.size() - start));
      if (end < data.size()) reversed.push_back('\n');
      start = end + 1;
    }
    if (back == reversed) {
      out_ << "round trip: " << data.size() << " bytes reversed\n";
      return 0;
    }
    out_ << "round trip: " << data.size() << " bytes came back changed\n";
    return 1;
  }

  const TlsProbeOptions& options_;
  std::ostream& out_;
  std::ostream& err_;
  ProbeClient client_;
  std::vector<std::uint8_t> client_certificate_;
  std::vector<std::uint8_t> client_key_;
  std::string inbox_;
};

}  // namespace

int RunTlsProbeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const auto options = ParseTlsProbeOptions(args, err);
  if (!options) {
    err << kUsage << '\n';
    return 2;
  }
  if (!options->starttls.empty()) return RunStartTlsProbe(*options, out, err);
  Probe probe(*options, out, err);
  return probe.Run();
}

}  // namespace ctl
