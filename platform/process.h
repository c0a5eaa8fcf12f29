#pragma once
// Starting other programs without waiting for them.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Starts program (looked up on PATH when it has no "/") with args; does not wait
// and leaves no zombie behind. The program gets its own session, default signal
// handling and this process's environment. False, with errno set, when the
// program could not be started (missing, not executable, exec failed).
bool StartProcess(const std::string& program, const std::vector<std::string>& args);

// Opens a file or address with the desktop's default viewer: the program in
// $DICTALO_OPEN_COMMAND when set, else "xdg-open", given target as its only
// argument. A place inside a page ("#Main_Contents") needs a file:// URL.
bool OpenWithDefaultViewer(const std::string& target);

// Runs program with args and waits for it, collecting its standard output (at
// most max_output bytes are kept). Standard input is /dev/null and standard error
// is passed through. nullopt when it could not be started or did not end within
// timeout (it is then killed).
struct ProcessResult {
  int exit_status = -1;  // 128 + signal number after a signal
  std::string output;
};
std::optional<ProcessResult> RunProcess(const std::string& program, const std::vector<std::string>& args,
                                        std::chrono::milliseconds timeout = std::chrono::seconds(10),
                                        std::size_t max_output = 1 << 20);

// This process's id and the calling thread's id (as the log prints it).
unsigned long CurrentProcessId();
unsigned long CurrentThreadId();

}  // namespace platform
