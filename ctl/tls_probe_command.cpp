#include "ctl/tls_probe_command.h"

#include "ctl/starttls_probe.h"
#include "ctl/tls_probe_common.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

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
    "usage: dictaloctl tls-probe HOST PORT [--versions MASK] [--strong] [--trust FILE] [--trace]\n"
    "       [--client-cert FILE --client-key FILE] [--round-trip BYTES] [--line TEXT] [--timeout SECONDS]\n"
    "       [--starttls smtp|pop3]";


// The probe's own blocking pump: one TCP connection, reads with a time-out
// through a small buffer. The mail client has its own; this one only serves
// the diagnostic command.
class ProbeSocket {
 public:
  ~ProbeSocket() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Connect(const std::string& host, const std::string& port, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (rc != 0) {
      *error = gai_strerror(rc);
      return false;
    }
    for (addrinfo* a = found; a != nullptr && fd_ < 0; a = a->ai_next) {
      const int fd = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
      if (fd < 0) continue;
      if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
        fd_ = fd;
      } else {
        *error = std::strerror(errno);
        ::close(fd);
      }
    }
    freeaddrinfo(found);
    if (fd_ >= 0) {
      const int one = 1;
      setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    }
    return fd_ >= 0;
  }
  void SetTimeout(int milliseconds) { timeout_ms_ = milliseconds; }
  // At most `maximum` bytes; false when the peer closed, the read failed or
  // the time-out ran out.
  bool Receive(std::uint8_t* destination, std::size_t maximum, std::size_t* count) {
    *count = 0;
    if (begin_ == end_) {
      if (ended_) return false;
      pollfd p{fd_, POLLIN, 0};
      const int ready = ::poll(&p, 1, timeout_ms_);
      if (ready <= 0) {
        timed_out_ = ready == 0;
        ended_ = ready < 0;
        return false;
      }
      const ssize_t n = ::recv(fd_, buffer_, sizeof(buffer_), 0);
      if (n <= 0) {
        ended_ = true;
        return false;
      }
      begin_ = 0;
      end_ = static_cast<std::size_t>(n);
    }
    *count = std::min(maximum, end_ - begin_);
    std::memcpy(destination, buffer_ + begin_, *count);
    begin_ += *count;
    return true;
  }
  bool SendAll(const std::uint8_t* bytes, std::size_t length) {
    while (length > 0) {
      const ssize_t n = ::send(fd_, bytes, length, MSG_NOSIGNAL);
      if (n <= 0) {
        ended_ = true;
        return false;
      }
      bytes += n;
      length -= static_cast<std::size_t>(n);
    }
    return true;
  }
  bool Ended() const { return ended_; }
  bool TimedOut() const { return timed_out_; }
  void ClearTimedOut() { timed_out_ = false; }

 private:
  int fd_ = -1;
  int timeout_ms_ = 10000;
  bool ended_ = false;
  bool timed_out_ = false;
  std::uint8_t buffer_[16384];
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

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
      if (!value(&v) || !ParseNumber(v, 1, 7, &n)) return std::nullopt;
      options.mask = static_cast<int>(n);
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

class Probe {
 public:
  Probe(const TlsProbeOptions& options, std::ostream& out, std::ostream& err) : options_(options), out_(out), err_(err) {}

  int Run() {
    if (!LoadClientCredentials(options_, &client_certificate_, &client_key_, err_)) return 2;
    std::string error;
    if (!socket_.Connect(options_.host, options_.port, &error)) {
      err_ << "dictaloctl: cannot connect to " << options_.host << ':' << options_.port << ": " << error << '\n';
      return 1;
    }
    socket_.SetTimeout(options_.timeout_seconds * 1000);
    engine_ = security::TlsEngine::Create(&security::TlsBufferSet::ProcessWide());
    engine_->SetVersionMask(options_.mask);
    engine_->ApplyStrongOnlyFilter(options_.strong);
    engine_->SetCallbacks(Callbacks());
    try {
      engine_->Start();
      while (!engine_->IsEstablished() && engine_->IsSessionOpen() && !socket_.Ended() && !socket_.TimedOut()) {
        engine_->Pump();
      }
    } catch (const security::TlsException& e) {
      out_ << "handshake failed: " << e.what() << '\n';
      return 1;
    }
    if (!engine_->IsEstablished()) {
      const std::uint32_t code = last_code_ >= 0 ? security::TlsErrorFromAlert(last_code_)
                                                 : security::kTlsHandshakeFailed;
      out_ << "handshake failed: " << HexCode(code, 8);
      if (last_code_ >= 0) out_ << " (" << TlsAlertName(last_code_) << ')';
      if (socket_.TimedOut()) out_ << " (time-out)";
      out_ << '\n';
      return 1;
    }
    PrintTlsSession(*engine_, received_, verdict_, out_);
    int status = 0;
    try {
      status = options_.round_trip > 0 ? RoundTrip() : EchoLine();
    } catch (const security::TlsException& e) {
      out_ << "transfer failed: " << e.what() << '\n';
      status = 1;
    }
    engine_->Close();
    return status;
  }

 private:
  security::TlsCallbacks Callbacks() {
    security::TlsCallbacks c;
    c.onData = [this](security::TlsEngine&, const std::uint8_t* bytes, std::size_t length) {
      inbox_.append(reinterpret_cast<const char*>(bytes), length);
    };
    c.onReceive = [this](security::TlsEngine&, std::uint8_t* destination, std::size_t maximum, std::size_t* count) {
      return socket_.Receive(destination, maximum, count) ? 0 : -1;
    };
    c.onSend = [this](security::TlsEngine&, const std::uint8_t* bytes, std::size_t length) {
      socket_.SendAll(bytes, length);
    };
    c.onClosed = [this](security::TlsEngine&, int flag) {
      if (options_.trace) out_ << "closed: " << (flag ? "orderly" : "failure") << '\n';
    };
    c.onEstablished = [this](security::TlsEngine&) { verdict_ = CertificateVerdict(options_.host, options_.trust_file, received_); };
    c.onPeerCertificate = [this](security::TlsEngine&, const security::Certificate& certificate, int*) {
      received_.Add(certificate);
    };
    c.onClientCertificate = [this](security::TlsEngine&, std::uint8_t* certificate, std::size_t* certificate_length,
                                   std::uint8_t* key, std::size_t* key_length, int) {
      if (client_certificate_.empty() || client_certificate_.size() > *certificate_length ||
          client_key_.size() > *key_length) {
        *certificate_length = 0;
        *key_length = 0;
        return;
      }
      std::memcpy(certificate, client_certificate_.data(), client_certificate_.size());
      std::memcpy(key, client_key_.data(), client_key_.size());
      *certificate_length = client_certificate_.size();
      *key_length = client_key_.size();
    };
    c.onError = [this](security::TlsEngine&, int code) {
      last_code_ = code;
      if (options_.trace) out_ << "alert: " << code << ' ' << TlsAlertName(code) << '\n';
    };
    c.onTrace = [this](security::TlsEngine&, int event, int argument) {
      if (!options_.trace) return;
      out_ << "trace: " << event << ' ' << TlsTraceName(event);
      if (event >= 12) out_ << " (" << argument << ')';
      out_ << '\n';
    };
    return c;
  }

  // Pumps until `done` holds, the session ends or the socket times out.
  template <typename Done>
  void PumpUntil(Done done) {
    socket_.ClearTimedOut();
    while (!done() && engine_->IsSessionOpen() && !socket_.Ended() && !socket_.TimedOut()) engine_->Pump();
  }

  bool Send(const std::string& text) {
    return engine_->Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  }

  int EchoLine() {
    if (!Send(options_.line + "\r\n")) {
      out_ << "transfer failed: write refused\n";
      return 1;
    }
    socket_.SetTimeout(std::min(options_.timeout_seconds, 3) * 1000);
    PumpUntil([&] { return inbox_.find('\n') != std::string::npos; });
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
      if (sent > kWindow) PumpUntil([&] { return inbox_.size() + kWindow >= sent; });
    }
    PumpUntil([&] { return inbox_.size() >= data.size(); });
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
  ProbeSocket socket_;
  std::unique_ptr<security::TlsEngine> engine_;
  security::MemoryCertificateStore received_;
  std::vector<std::uint8_t> client_certificate_;
  std::vector<std::uint8_t> client_key_;
  std::string inbox_;
  std::string verdict_ = "not checked";
  int last_code_ = -1;
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
