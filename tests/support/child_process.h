#pragma once
// Real processes for end-to-end tests: started with the test's environment,
// waited for with a time limit, and never left behind.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support {

class ChildProcess {
 public:
  // Starts program with args; stdout and stderr go to files in a temporary folder
  // (read them with Output() / Errors()). Throws when it cannot start.
  ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& args);
  ~ChildProcess();  // kills (SIGKILL) and reaps a child still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool Running();
  // The exit status, or nullopt when it did not end in time. A signal death is
  // reported as 128 + signal number.
  std::optional<int> Wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  void Signal(int signal_number);
  std::string Output() const;
  std::string Errors() const;

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  std::filesystem::path out_path_;
  std::filesystem::path err_path_;
};

// Runs to the end (or the time limit) and returns {status, stdout}.
struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};
RunResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                     std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Polls condition every 20 ms until it holds or the time is up.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace testing_support

#include <thread>
template <typename Condition>
bool testing_support::WaitUntil(Condition condition, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
