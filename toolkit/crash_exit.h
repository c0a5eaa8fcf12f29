#pragma once
// The program's crash exit: the end of the road after a fault that cannot be
// recovered (an exception escaping a window's message handler).

namespace toolkit {

inline constexpr int kCrashExitCode = 3;

// Flushes the standard streams and ends the process at once with kCrashExitCode,
// running no destructors or exit handlers: after a fault they may do harm.
[[noreturn]] void CrashExit();

}  // namespace toolkit
