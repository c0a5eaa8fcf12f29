// TLS engine against OpenSSL and GnuTLS on this machine, in one run:
//  - handshake time (TLS 1.0, AES128-SHA, RSA 2048) of our engine and of
//    OpenSSL's client (`openssl s_time -new -tls1`, handshakes in one
//    process, as ours are) against the same `openssl s_server -tls1`;
//  - bulk throughput of a 50 MB download with AES128-SHA from that server
//    (`-WWW`), ours against `openssl s_client`;
//  - bulk throughput of 50 MB echoed through `gnutls-serv --echo` with
//    RC4-SHA (OpenSSL has no RC4 any more), ours against `gnutls-cli`;
//  - TLS 1.2: handshakes per second of ECDHE-RSA (RSA 2048) and ECDHE-ECDSA
//    (P-256) with the server held to X25519 and to P-256 (`-groups`), ours
//    against `openssl s_time -new -tls1_2` on the same `openssl s_server
//    -tls1_2`; and the download with AES-128-GCM and ChaCha20-Poly1305, ours
//    against `openssl s_client`.
// Prints each figure and its ratio: ours / theirs for times and for rates of
// handshakes, theirs / ours for throughput, so that a ratio above 1 always
// reads "ours is slower" except for handshakes per second, where above 1
// means ours is faster. Target: handshake within 1.5x.
//
// usage: tls_bench [MEGABYTES [PORT]]   (default 50; the servers listen on
// PORT up to PORT + 7, by default on ports chosen from the process id)

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <string>
#include <vector>

#include "security/tls/tls_engine.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

fs::path SourceDir() { return fs::path(__FILE__).parent_path().parent_path(); }

// Runs a shell command to its end; its stdout.
std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// A server process, stopped by its pid.
class Server {
 public:
  explicit Server(const std::string& command) {
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      execl("/bin/sh", "sh", "-c", (command + " </dev/null >/dev/null 2>&1").c_str(), nullptr);
      _exit(127);
    }
  }
  ~Server() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_;
};

int Connect(int port) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
      const int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
      return fd;
    }
    close(fd);
    usleep(20000);
  }
  return -1;
}

// The engine over one blocking socket, reading through a 16 KB buffer.
class Client {
 public:
  explicit Client(int port) : fd_(Connect(port)) {
    engine_.SetVersionMask(security::kProtocolTls1);
    security::TlsCallbacks c;
    c.onReceive = [this](security::TlsEngine&, std::uint8_t* d, std::size_t max, std::size_t* count) {
      if (begin_ == end_) {
        const ssize_t n = recv(fd_, buffer_, sizeof(buffer_), 0);
        if (n <= 0) {
          dead_ = true;
          return -1;
        }
        begin_ = 0;
        end_ = static_cast<std::size_t>(n);
      }
      *count = std::min(max, end_ - begin_);
      std::memcpy(d, buffer_ + begin_, *count);
      begin_ += *count;
      return 0;
    };
    c.onSend = [this](security::TlsEngine&, const std::uint8_t* b, std::size_t n) {
      while (n > 0) {
        const ssize_t w = send(fd_, b, n, MSG_NOSIGNAL);
        if (w <= 0) {
          dead_ = true;
          return;
        }
        b += w;
        n -= static_cast<std::size_t>(w);
      }
    };
    c.onData = [this](security::TlsEngine&, const std::uint8_t*, std::size_t n) { received += n; };
    engine_.SetCallbacks(c);
  }
  ~Client() { close(fd_); }
  bool Handshake() {
    engine_.Start();
    while (!engine_.IsEstablished() && engine_.IsSessionOpen() && !dead_) engine_.Pump();
    return engine_.IsEstablished();
  }
  void PumpUntil(std::size_t bytes) {
    while (received < bytes && engine_.IsSessionOpen() && !dead_) engine_.Pump();
  }
  bool Write(const std::string& text) {
    return engine_.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  }
  void Close() { engine_.Close(); }
  std::size_t received = 0;

 private:
  int fd_;
  security::TlsEngine engine_{&security::TlsBufferSet::ProcessWide()};
  std::uint8_t buffer_[16384];
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool dead_ = false;
};

void Row(const std::string& what, double ours, double theirs, const char* unit, bool time) {
  std::printf("%-48s ours %9.3f %-5s theirs %9.3f %-5s ratio %.2f%s\n", what.c_str(), ours, unit, theirs, unit,
              time ? ours / theirs : theirs / ours, time ? " (ours/theirs time)" : " (their speed/ours)");
}

void RateRow(const std::string& what, double ours, double theirs) {
  std::printf("%-48s ours %9.1f /s    theirs %9.1f /s    ratio %.2f (ours/theirs rate)\n", what.c_str(), ours, theirs,
              theirs > 0 ? ours / theirs : 0.0);
}

// Handshakes per second, ours (one connection each, in this process) and
// openssl s_time's (in its own), against the server on `port`.
void CompareHandshakeRates(const std::string& what, int port, const std::string& cipher, int rounds, int* status) {
  {
    Client warm(port);
    if (!warm.Handshake()) {
      std::fprintf(stderr, "no handshake for %s\n", what.c_str());
      *status = 1;
      return;
    }
  }
  auto start = Clock::now();
  for (int k = 0; k < rounds; ++k) {
    Client client(port);
    if (!client.Handshake()) *status = 1;
  }
  const double ours = rounds / Seconds(start);
  start = Clock::now();
  const std::string s_time = Shell("openssl s_time -connect 127.0.0.1:" + std::to_string(port) +
                                   " -new -tls1_2 -cipher '" + cipher + "' -time 3 2>/dev/null");
  const double seconds = Seconds(start);
  std::smatch m;
  double theirs = 0;
  if (std::regex_search(s_time, m, std::regex("(\\d+) connections in [0-9.]+s"))) theirs = std::stod(m[1]) / seconds;
  RateRow(what, ours, theirs);
}

// The download of big.bin from the -WWW server on `port`: ours, then
// openssl s_client's, in MB/s.
void CompareDownloads(const std::string& what, int port, const std::string& version, const std::string& cipher,
                      std::size_t bytes, int* status) {
  double ours = 0;
  {
    Client client(port);
    client.Handshake();
    const auto start = Clock::now();
    client.Write("GET /big.bin HTTP/1.0\r\n\r\n");
    client.PumpUntil(bytes);
    ours = static_cast<double>(client.received) / Seconds(start) / 1e6;
    if (client.received < bytes) *status = 1;
    client.Close();
  }
  const auto start = Clock::now();
  const std::string got = Shell("printf 'GET /big.bin HTTP/1.0\\r\\n\\r\\n' | openssl s_client -connect 127.0.0.1:" +
                                std::to_string(port) + " " + version + " -cipher '" + cipher +
                                "' -quiet -ign_eof 2>/dev/null | wc -c");
  const double theirs = std::stod(got.empty() ? "0" : got) / Seconds(start) / 1e6;
  Row(what, ours, theirs, "MB/s", false);
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
  const std::size_t bytes = megabytes * 1024 * 1024;
  const fs::path work = fs::temp_directory_path() / ("tls_bench." + std::to_string(getpid()));
  fs::create_directories(work / "www");
  const std::string keys = (work / "keys").string();
  if (std::system((SourceDir() / "tests/peers/tls_certs.sh").string().append(" ").append(keys).c_str()) != 0) {
    std::cerr << "cannot make keys\n";
    return 1;
  }
  {
    std::ofstream big(work / "www" / "big.bin", std::ios::binary);
    std::string chunk(1 << 20, 'x');
    for (std::size_t k = 0; k < megabytes; ++k) big << chunk;
  }
  const bool ports_given = argc > 2;
  const int openssl_port = ports_given ? std::atoi(argv[2]) : 20700 + getpid() % 100;
  const int gnutls_port = ports_given ? openssl_port + 1 : openssl_port + 100;
  const int tls12_port = ports_given ? openssl_port + 2 : openssl_port + 200;
  const std::string aes = "AES128-SHA:@SECLEVEL=0";
  const std::string rc4 = "NONE:+VERS-TLS1.0:+ARCFOUR-128:+SHA1:+RSA:+COMP-NULL:+SIGN-ALL:+CTYPE-X509:+GROUP-ALL";

  int status = 0;
  {
    Server openssl("cd " + (work / "www").string() + " && exec openssl s_server -accept 127.0.0.1:" +
                   std::to_string(openssl_port) + " -tls1 -cipher '" + aes + "' -cert " + keys + "/rsa.crt -key " +
                   keys + "/rsa.key -WWW -quiet");
    {
      Client warm(openssl_port);
      if (!warm.Handshake()) {
        std::cerr << "no handshake with openssl s_server\n";
        return 1;
      }
    }

    // Handshakes: ours in this process, OpenSSL's in s_time's.
    const int rounds = 200;
    std::vector<double> times;
    auto start = Clock::now();
    for (int k = 0; k < rounds; ++k) {
      const auto one = Clock::now();
      Client client(openssl_port);
      if (!client.Handshake()) status = 1;
      // No close_notify, as s_time does not send one either: s_server
      // lingers up to half a second over a connection closed with one.
      times.push_back(Seconds(one) * 1000);
    }
    const double ours_handshake = Seconds(start) / rounds * 1000;
    std::sort(times.begin(), times.end());
    std::printf("our handshakes: min %.3f ms, median %.3f ms, max %.3f ms\n", times.front(), times[times.size() / 2],
                times.back());
    start = Clock::now();
    const std::string s_time = Shell("openssl s_time -connect 127.0.0.1:" + std::to_string(openssl_port) +
                                     " -new -tls1 -cipher '" + aes + "' -time 4 2>/dev/null");
    const double s_time_seconds = Seconds(start);
    std::smatch m;
    double theirs_handshake = 0;
    if (std::regex_search(s_time, m, std::regex("(\\d+) connections in [0-9.]+s"))) {
      theirs_handshake = s_time_seconds / std::stod(m[1]) * 1000;
    }
    Row("handshake TLS 1.0 AES128-SHA RSA 2048 (ms)", ours_handshake, theirs_handshake, "ms", true);

    // 50 MB download (s_server serves one connection at a time: ours ends first).
    CompareDownloads(std::to_string(megabytes) + " MB download AES128-SHA, openssl s_client (MB/s)", openssl_port,
                     "-tls1", aes, bytes, &status);
  }
  {
    // gnutls-serv has no option to listen on 127.0.0.1 alone; it runs only
    // for these transfers.
    Server gnutls("exec gnutls-serv --port " + std::to_string(gnutls_port) + " --x509certfile " + keys +
                  "/rsa.crt --x509keyfile " + keys + "/rsa.key --priority '" + rc4 + "' --echo -q");
    Client client(gnutls_port);
    if (!client.Handshake()) {
      std::cerr << "no handshake with gnutls-serv\n";
      return 1;
    }
    // gnutls-serv echoes line by line.
    std::string chunk;
    for (int k = 0; k < 16; ++k) chunk += std::string(1023, 'e') + "\n";
    auto start = Clock::now();
    std::size_t sent = 0;
    while (sent < bytes) {
      client.Write(chunk);
      sent += chunk.size();
      if (sent > 262144) client.PumpUntil(sent - 262144);
    }
    client.PumpUntil(sent);
    const double ours_echo = 2.0 * static_cast<double>(client.received) / Seconds(start) / 1e6;
    client.Close();
    // gnutls-cli echoes through its terminal loop, slowly and not to the end;
    // it gets a smaller share and its delivered bytes count.
    const std::size_t their_bytes = std::min<std::size_t>(bytes, 4u << 20);
    {
      std::ofstream text(work / "echo.txt");
      std::string line(1023, 'e');
      for (std::size_t k = 0; k < their_bytes / 1024; ++k) text << line << '\n';
    }
    start = Clock::now();
    const std::string echoed = Shell("gnutls-cli --priority '" + rc4 + "' --insecure -p " + std::to_string(gnutls_port) +
                                     " 127.0.0.1 < " + (work / "echo.txt").string() + " 2>/dev/null | wc -c");
    const double theirs_echo = 2.0 * std::stod(echoed.empty() ? "0" : echoed) / Seconds(start) / 1e6;
    Row(std::to_string(megabytes) + " MB echo RC4-SHA, gnutls-cli (MB/s both ways)", ours_echo, theirs_echo, "MB/s",
        false);
  }
  {
    // TLS 1.2: an ECDSA P-256 certificate beside the RSA one.
    const std::string make_ec = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout " +
                                keys + "/ec256.key -out " + keys + "/ec256.crt -days 30 -subj /CN=localhost " +
                                ">/dev/null 2>&1";
    if (std::system(make_ec.c_str()) != 0) {
      std::cerr << "cannot make the ECDSA key\n";
      return 1;
    }
    struct Handshakes {
      const char* name;
      const char* key;
      const char* cipher;
      const char* groups;
    } handshakes[] = {
        {"TLS 1.2 ECDHE-RSA X25519 handshakes", "rsa", "ECDHE-RSA-AES128-GCM-SHA256", "X25519"},
        {"TLS 1.2 ECDHE-RSA P-256 handshakes", "rsa", "ECDHE-RSA-AES128-GCM-SHA256", "P-256"},
        {"TLS 1.2 ECDHE-ECDSA X25519 handshakes", "ec256", "ECDHE-ECDSA-AES128-GCM-SHA256", "X25519"},
        {"TLS 1.2 ECDHE-ECDSA P-256 handshakes", "ec256", "ECDHE-ECDSA-AES128-GCM-SHA256", "P-256"},
    };
    int port = tls12_port;
    for (const auto& h : handshakes) {
      Server server("exec openssl s_server -accept 127.0.0.1:" + std::to_string(port) + " -tls1_2 -cipher " +
                    h.cipher + " -groups " + h.groups + " -cert " + keys + "/" + h.key + ".crt -key " + keys + "/" +
                    h.key + ".key -quiet");
      CompareHandshakeRates(h.name, port, h.cipher, 100, &status);
      ++port;
    }
    for (const char* cipher : {"ECDHE-RSA-AES128-GCM-SHA256", "ECDHE-RSA-CHACHA20-POLY1305"}) {
      Server server("cd " + (work / "www").string() + " && exec openssl s_server -accept 127.0.0.1:" +
                    std::to_string(port) + " -tls1_2 -cipher " + cipher + " -groups X25519 -cert " + keys +
                    "/rsa.crt -key " + keys + "/rsa.key -WWW -quiet");
      {
        Client warm(port);
        if (!warm.Handshake()) {
          std::cerr << "no TLS 1.2 handshake for " << cipher << "\n";
          return 1;
        }
      }
      CompareDownloads(std::to_string(megabytes) + " MB download TLS 1.2 " + cipher + " (MB/s)", port, "-tls1_2",
                       cipher, bytes, &status);
      ++port;
    }
  }
  fs::remove_all(work);
  return status;
}
