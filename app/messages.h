#pragma once
// The main window's private messages. Their numbers are part of the protocol with
// the record launcher and other instances, so they never change.

#include <cstdint>

#include "platform/window_system.h"

namespace app {

inline constexpr platform::UINT UM_START_RECORDING = 5361;    // 0x14F1
inline constexpr platform::UINT UM_STOP_RECORDING = 5362;     // 0x14F2, wParam 0 send, 1 save, 2 cancel
inline constexpr platform::UINT UM_SESSION_DONE = 5363;       // 0x14F3
inline constexpr platform::UINT UM_NOTES_CHANGED = 5364;      // 0x14F4, to the options screen
inline constexpr platform::UINT UM_HOTKEY_TOGGLE = 5365;      // 0x14F5
inline constexpr platform::UINT UM_QUERY_RECORD_ONLY = 5367;  // 0x14F7
inline constexpr platform::UINT UM_RECORD_PROGRESS = 3594;    // 0x0E0A, wParam bytes, lParam seconds
inline constexpr platform::UINT UM_ENCODE_PROGRESS = 3595;    // 0x0E0B, wParam done, lParam total
inline constexpr platform::UINT UM_INVOKE = 2334;             // 0x091E, wParam: InvokeRecord*

inline constexpr platform::WPARAM kStopAndSend = 0;
inline constexpr platform::WPARAM kStopAndSave = 1;
inline constexpr platform::WPARAM kStopCancel = 2;

// The main window's class as other programs find it (the toolkit prefixes "CeWnd:").
inline constexpr char16_t kMainWindowClass[] = u"CorvaneEMMainWnd";

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
