#pragma once
// The local HTTP receiver of tests/peers/http_receiver.py for tests: started on a
// free port of 25000-25999 in a fresh folder, stopped with the object. Requests
// it got and the answers it gives are files in that folder.

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/test_environment.h"

namespace testing_support {

// A loopback port where nobody listens, held bound (not listening) for the
// object's life so that no receiver of a test running beside this one takes it:
// a connection to it is refused.
class RefusingPort {
 public:
  RefusingPort() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("no loopback port to hold");
    port_ = ntohs(address.sin_port);
  }
  ~RefusingPort() { ::close(fd_); }
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  int port() const { return port_; }

 private:
  int fd_;
  int port_ = 0;
};

class HttpReceiver {
 public:
  // https when cert and key are given.
  explicit HttpReceiver(const std::filesystem::path& cert = {}, const std::filesystem::path& key = {}) {
    dir_ = std::filesystem::temp_directory_path() /
           ("http-receiver-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::vector<std::string> args = {(SourceDir() / "tests/peers/http_receiver.py").string(), dir_.string(), "25000",
                                     "25999"};
    if (!cert.empty()) {
      args.push_back(cert.string());
      args.push_back(key.string());
    }
    process_ = std::make_unique<ChildProcess>("/usr/bin/python3", args);
    bool up = WaitUntil([&] { return process_->Output().find('\n') != std::string::npos || !process_->Running(); });
    std::string out = process_->Output();
    if (!up || out.rfind("ready ", 0) != 0) throw std::runtime_error("http receiver did not start: " + process_->Errors());
    port_ = std::stoi(out.substr(6));
  }
  ~HttpReceiver() {
    process_.reset();
    std::filesystem::remove_all(dir_);
  }
  HttpReceiver(const HttpReceiver&) = delete;
  HttpReceiver& operator=(const HttpReceiver&) = delete;

  int port() const { return port_; }
  std::string Url(const std::string& scheme = "http", const std::string& path = "/private-bin/em_send.php") const {
    return scheme + "://" + (scheme == "https" ? "localhost" : "127.0.0.1") + ":" + std::to_string(port_) + path;
  }

  // The answer to every request ("200\n0"), or to request `number` only.
  // status_line: "STATUS", "STATUS DELAY_MS" or "drop".
  void SetReply(const std::string& status_line, const std::string& body, int number = 0) const {
    WriteFileBytes(dir_ / (number ? "reply-" + std::to_string(number) : std::string("reply")), status_line + "\n" + body);
  }

  int RequestCount() const {
    int n = 0;
    while (std::filesystem::exists(dir_ / ("request-" + std::to_string(n + 1) + ".head"))) ++n;
    return n;
  }
  // Request line and header lines of request `number` (from 1).
  std::string Head(int number) const { return ReadFileBytes(dir_ / ("request-" + std::to_string(number) + ".head")); }
  std::string Body(int number) const { return ReadFileBytes(dir_ / ("request-" + std::to_string(number) + ".body")); }

 private:
  static inline int counter_ = 0;
  std::filesystem::path dir_;
  std::unique_ptr<ChildProcess> process_;
  int port_ = 0;
};

}  // namespace testing_support
