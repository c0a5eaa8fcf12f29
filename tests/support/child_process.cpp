#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include "tests/support/test_environment.h"

extern char** environ;

namespace testing_support {
namespace {

std::atomic<int> g_counter{0};

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

ChildProcess::ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& args) {
  auto dir = std::filesystem::temp_directory_path();
  std::string stem = "child-" + std::to_string(getpid()) + "-" + std::to_string(g_counter++);
  out_path_ = dir / (stem + ".out");
  err_path_ = dir / (stem + ".err");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);

  std::vector<std::string> argv_storage;
  argv_storage.push_back(program.string());
  argv_storage.insert(argv_storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_storage) argv.push_back(a.data());
  argv.push_back(nullptr);
  int rc = posix_spawn(&pid_, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) throw std::runtime_error("cannot start " + program.string());
}

ChildProcess::~ChildProcess() {
  if (!status_ && pid_ > 0) {
    kill(pid_, SIGKILL);
    int status;
    waitpid(pid_, &status, 0);
  }
  std::error_code ec;
  std::filesystem::remove(out_path_, ec);
  std::filesystem::remove(err_path_, ec);
}

bool ChildProcess::Running() {
  if (status_) return false;
  int status;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    status_ = DecodeStatus(status);
    return false;
  }
  return true;
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
  WaitUntil([this] { return !Running(); }, timeout);
  return status_;
}

void ChildProcess::Signal(int signal_number) {
  if (!status_) kill(pid_, signal_number);
}

std::string ChildProcess::Output() const { return ReadFileBytes(out_path_); }
std::string ChildProcess::Errors() const { return ReadFileBytes(err_path_); }

RunResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                     std::chrono::milliseconds timeout) {
  ChildProcess child(program, args);
  RunResult result;
  auto status = child.Wait(timeout);
  result.status = status.value_or(-1);
  result.out = child.Output();
  result.err = child.Errors();
  return result;
}

}  // namespace testing_support
