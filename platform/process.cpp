#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

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
