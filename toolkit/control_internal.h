#pragma once
// Shared by the control window procedures (controls.cpp, edit_control.cpp,
// combo_box.cpp, ...): where a control keeps its state, how it tells its parent,
// how it copies texts out, and the user input a renderer posts. Not for use
// outside the toolkit's controls and renderers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/window_system.h"
#include "toolkit/common_controls.h"

namespace toolkit::control_internal {

using platform::LRESULT;

// The first slot after the two dialog slots every window has; a control's class
// reserves kStateBytes there for a pointer to its state object.
inline constexpr int kStateSlot = 2 * static_cast<int>(sizeof(std::intptr_t));
inline constexpr int kStateBytes = static_cast<int>(sizeof(std::intptr_t));

template <typename State>
State* StateOf(HWND hwnd) {
  return reinterpret_cast<State*>(platform::GetWindowLongPtr(hwnd, kStateSlot));
}

// Made at WM_CREATE, freed at WM_DESTROY.
template <typename State>
State* MakeState(HWND hwnd) {
  delete StateOf<State>(hwnd);
  auto* state = new State;
  platform::SetWindowLongPtr(hwnd, kStateSlot, reinterpret_cast<std::intptr_t>(state));
  return state;
}

template <typename State>
void FreeState(HWND hwnd) {
  delete reinterpret_cast<State*>(platform::SetWindowLongPtr(hwnd, kStateSlot, 0));
}

// Registers a control class with room for the state pointer.
void RegisterControl(std::u16string_view name, platform::WNDPROC proc);

DWORD StyleOf(HWND hwnd);

// WM_COMMAND(MAKEWPARAM(id, code), control) to the control's parent.
void SendCommand(HWND control, UINT code);
// WM_NOTIFY to the control's parent with hdr's sender fields filled in; the
// parent's answer (a dialog's DWLP_MSGRESULT).
LRESULT SendNotify(HWND control, NMHDR& hdr);

// Copies text into a caller's buffer of size characters (terminator included),
// truncated to fit; returns the characters copied without the terminator. A null
// buffer or a size below 1 copies nothing.
std::size_t CopyOut(std::u16string_view text, char16_t* buffer, std::size_t size);
// The zero-terminated text at p ("" for null).
std::u16string TextAt(const char16_t* p);
inline std::u16string TextAt(LPARAM lparam) { return TextAt(reinterpret_cast<const char16_t*>(lparam)); }

// Case-insensitive order of item texts (sorted lists, exact finds).
int CompareItemText(std::u16string_view a, std::u16string_view b);

// Whether the user can act on the control now: it and every window above it are
// enabled (a modal dialog disables its owner, and with it the owner's controls).
bool AcceptsUserInput(HWND control);

// TKM_USER_FOCUS: the control takes the focus as a click would give it, through
// its dialog when it sits in one so the dialog remembers it.
void TakeUserFocus(HWND control);

// The text of a TKM_USER_TEXT: PostUserText keeps each posted text in a table
// until the control takes it, so a control only ever reads texts that were made
// for it and a control destroyed with texts still queued frees them.
LPARAM KeepUserText(HWND control, std::u16string text);
std::optional<std::u16string> TakeUserText(HWND control, LPARAM token);
void DropUserTexts(HWND control);

// Each control's file registers its class (RegisterCommonControlClasses calls them).
void RegisterEditClass();
void RegisterComboBoxClass();
void RegisterListBoxClass();
void RegisterTrackbarClass();
void RegisterListViewClass();
void RegisterTreeViewClass();
void RegisterTabControlClass();

}  // namespace toolkit::control_internal
