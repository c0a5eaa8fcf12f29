#pragma once
// The main window's messages: the shared ones, and the call that runs a function
// on the UI thread.

#include <cstdint>

#include "base/program_messages.h"
#include "platform/window_system.h"

namespace app {

using base::kMainWindowClass;
using base::kStopAndSave;
using base::kStopAndSend;
using base::kStopCancel;
using base::UM_ENCODE_PROGRESS;
using base::UM_HOTKEY_TOGGLE;
using base::UM_NOTES_CHANGED;
using base::UM_QUERY_RECORD_ONLY;
using base::UM_RECORD_PROGRESS;
using base::UM_SESSION_DONE;
using base::UM_START_RECORDING;
using base::UM_STOP_RECORDING;

// Only within this process: it carries a pointer.
inline constexpr platform::UINT UM_INVOKE = 2334;  // 0x091E, wParam: InvokeRecord*

// A call to run on the UI thread: sent with UM_INVOKE, run only when the thread
// handling it is owner_thread.
struct InvokeRecord {
  unsigned long owner_thread = 0;
  void* target = nullptr;
  void (*function)(void* target, std::uintptr_t arg1, std::uintptr_t arg2) = nullptr;
  std::uintptr_t arg1 = 0;
  std::uintptr_t arg2 = 0;
};

}  // namespace app
