#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>

extern char** environ;

namespace platform {
namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The PATH search is done here, before forking: execvp may allocate, which a
// child of a threaded process must not do.
std::string Resolve(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  const char* path = std::getenv("PATH");
  std::string_view dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    std::size_t colon = dirs.find(':');
    std::string_view dir = dirs.substr(0, colon);
    std::string candidate = (dir.empty() ? std::string(".") : std::string(dir)) + "/" + program;
    if (IsExecutableFile(candidate)) return candidate;
    if (colon == std::string_view::npos) return {};
    dirs.remove_prefix(colon + 1);
  }
}

ssize_t ReadRetrying(int fd, void* buf, std::size_t size) {
  ssize_t n;
  do n = ::read(fd, buf, size);
  while (n < 0 && errno == EINTR);
  return n;
}

// In the grandchild: only async-signal-safe calls from here on.
[[noreturn]] void ExecGrandchild(const char* path, char* const argv[], char* const envp[], int report_fd) {
  ::setsid();  // not part of the caller's terminal job
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &dfl, nullptr);  // ignored signals stay ignored across exec otherwise
  ::execve(path, argv, envp);
  int err = errno;
  ssize_t ignored = ::write(report_fd, &err, sizeof err);
  (void)ignored;
  ::_exit(127);
}

}  // namespace

bool StartProcess(const std::string& program, const std::vector<std::string>& args) {
  std::string path = Resolve(program);
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  std::vector<std::string> strings;
  strings.reserve(args.size() + 1);
  strings.push_back(program);
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  char** envp = environ;

  // The grandchild writes its exec errno here; a successful exec closes the
  // pipe (close-on-exec) without a word.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  pid_t child = ::fork();
  if (child < 0) {
    int err = errno;
    ::close(report[0]);
    ::close(report[1]);
    errno = err;
    return false;
  }
  if (child == 0) {
    ::close(report[0]);
    pid_t grandchild = ::fork();
    if (grandchild == 0) ExecGrandchild(path.c_str(), argv.data(), envp, report[1]);
    if (grandchild < 0) {
      int err = errno;
      ssize_t ignored = ::write(report[1], &err, sizeof err);
      (void)ignored;
    }
    // The grandchild is left to init, so nobody has to wait for it.
    ::_exit(grandchild < 0 ? 1 : 0);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int exec_error = 0;
  ssize_t n = ReadRetrying(report[0], &exec_error, sizeof exec_error);
  ::close(report[0]);
  if (n == static_cast<ssize_t>(sizeof exec_error)) {
    errno = exec_error;
    return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool OpenWithDefaultViewer(const std::string& target) {
  const char* command = std::getenv("DICTALO_OPEN_COMMAND");
  return StartProcess(command && *command ? command : "xdg-open", {target});
}

unsigned long CurrentProcessId() { return static_cast<unsigned long>(::getpid()); }

unsigned long CurrentThreadId() { return static_cast<unsigned long>(::gettid()); }

}  // namespace platform

extern char** environ;

namespace platform {

std::optional<ProcessResult> RunProcess(const std::string& program, const std::vector<std::string>& args,
                                        std::chrono::milliseconds timeout, std::size_t max_output) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);

  std::vector<std::string> storage{program};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : storage) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(pipe_fds[1]);
  if (rc != 0) {
    ::close(pipe_fds[0]);
    errno = rc;
    return std::nullopt;
  }

  ProcessResult result;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  bool timed_out = false;
  char buffer[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    pollfd pfd{pipe_fds[0], POLLIN, 0};
    int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    std::size_t keep = std::min<std::size_t>(static_cast<std::size_t>(n), max_output - std::min(max_output, result.output.size()));
    result.output.append(buffer, keep);
  }
  ::close(pipe_fds[0]);
  int status = 0;
  if (timed_out) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return std::nullopt;
  }
  // The output is closed; the program may still be finishing.
  for (;;) {
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return std::nullopt;
    }
    ::usleep(5000);
  }
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
  return result;
}

}  // namespace platform
