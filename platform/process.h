#pragma once
// Starting other programs without waiting for them.

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

// This process's id and the calling thread's id (as the log prints it).
unsigned long CurrentProcessId();
unsigned long CurrentThreadId();

}  // namespace platform
