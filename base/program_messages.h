#pragma once
// The main window's private messages and class name. Their numbers are part of
// the protocol between the record launcher, the resident recorder and a second
// instance of the program, so they never change.

#include <cstdint>

#include "platform/window_system.h"

namespace base {

inline constexpr platform::UINT UM_START_RECORDING = 5361;    // 0x14F1
inline constexpr platform::UINT UM_STOP_RECORDING = 5362;     // 0x14F2, wParam 0 send, 1 save, 2 cancel
inline constexpr platform::UINT UM_SESSION_DONE = 5363;       // 0x14F3
inline constexpr platform::UINT UM_NOTES_CHANGED = 5364;      // 0x14F4, to the options screen
inline constexpr platform::UINT UM_HOTKEY_TOGGLE = 5365;      // 0x14F5
inline constexpr platform::UINT UM_QUERY_RECORD_ONLY = 5367;  // 0x14F7
inline constexpr platform::UINT UM_RECORD_PROGRESS = 3594;    // 0x0E0A, wParam bytes, lParam seconds
inline constexpr platform::UINT UM_ENCODE_PROGRESS = 3595;    // 0x0E0B, wParam done, lParam total

inline constexpr platform::WPARAM kStopAndSend = 0;
inline constexpr platform::WPARAM kStopAndSave = 1;
inline constexpr platform::WPARAM kStopCancel = 2;

// The main window's class, and the name other programs find it by (the toolkit
// registers its classes as "CeWnd:" + name).
inline constexpr char16_t kMainWindowClass[] = u"CorvaneEMMainWnd";
inline constexpr char16_t kMainWindowRegisteredClass[] = u"CeWnd:CorvaneEMMainWnd";

// What other processes may send the main window: the launcher's handshake and
// the two requests of a later start. Everything else (above all UM_INVOKE, which
// carries a pointer) stays within the process.
inline constexpr platform::UINT kMainWindowCrossProcessMessages[] = {platform::WM_COPYDATA, UM_HOTKEY_TOGGLE,
                                                                      UM_QUERY_RECORD_ONLY};

// WM_COPYDATA kind of the launcher's offer: its command line, UTF-16 with a
// terminating zero.
inline constexpr std::uintptr_t kCopyDataCommandLine = 1;

}  // namespace base
